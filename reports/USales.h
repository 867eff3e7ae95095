#pragma once
// The sales query window "销售情况查询统计": the sales lines of a date range, narrowed by filters,
// in a grid whose columns the user configures, sorts and prints. Opens the statistics window.
#include "reports/ReportWidgets.h"

#include <functional>
#include <optional>

class QDateEdit;
class QLabel;

namespace corvanta {

class TfrmStart;

class TfrmSales : public TReportPairWindow {
    Q_OBJECT
public:
    // tables: the main window's dBASE tables for printing (a private one is used when null).
    TfrmSales(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);
    ~TfrmSales() override;

    QToolButton* TBStat;
    QToolButton* TBLook;
    QLabel* Label1;
    QDateEdit* DateTimePicker1;
    QLabel* Label2;
    QDateEdit* DateTimePicker2;
    QCheckBox* CheckBox5;
    QLineEdit* Edit5;
    QCheckBox* CheckBox6;
    QComboBox* ComboBox1;

    // Test seam: the statistics window before it shows.
    std::function<void(TfrmStart&)> onStatOpen;

    void RunQuery();
    void TBLookClick();
    void TBStatClick();

protected:
    void FormShow() override;
    TitleField printTitle() const override;
    QString printTemplate() const override { return kSalesTemplate; }
    const std::vector<TotalsColumn>& totalsColumns() const override { return SalesTotals(); }

private:
    std::optional<TitleField> m_shownTitle;  // of the run whose rows the grid shows
};

// "销售统计" of the main window: creates the window, shows it modally and frees it.
void ShowSalesQuery(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);

}  // namespace corvanta
