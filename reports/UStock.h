#pragma once
// The stock query window "销售库存查询统计": the stock lines of the account set, narrowed by
// filters, in a configurable, sortable, printable grid.
#include "reports/ReportWidgets.h"

namespace corvanta {

class TfrmStock : public TReportPairWindow {
    Q_OBJECT
public:
    TfrmStock(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);
    ~TfrmStock() override;

    QToolButton* TBLook;
    QCheckBox* CheckBox5;
    QLineEdit* Edit5;

    void RunQuery();
    void TBLookClick();

protected:
    void FormShow() override;
    TitleField printTitle() const override { return StockTitle(); }
    QString printTemplate() const override { return kStockTemplate; }
    const std::vector<TotalsColumn>& totalsColumns() const override { return StockTotals(); }
};

// "库存统计" of the main window: creates the window, shows it modally and frees it.
void ShowStockQuery(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);

}  // namespace corvanta
