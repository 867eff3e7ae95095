#pragma once
// The import procedures over the data module. Every call has the outcome of the six steps of the
// stored-procedure call on ADOSProc; the intake pays for the steps only once per procedure: the
// first line of a kind goes through all six, which refresh the parameter list, and the lines
// after it reuse that list and go to the engine directly (text parameters need no conversion;
// any other declared type takes the six steps every time): as UTF-8 through Engine::bulkCallText
// when the engine has that form, else through Engine::call. The intake is one bulk run on the
// engine (the embedded engine keeps it in one transaction); each line gets its own call and result.
#include "import/ImportRun.h"

#include <QByteArray>
#include <QVariant>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanta {

class TDMData;

class DataImportProcedures : public ImportProcedures {
public:
    explicit DataImportProcedures(TDMData& dm);

    void deleSales() override;
    int insertSales(const IntakeLine& line) override;
    int insertStock(const IntakeLine& line) override;
    int addSales() override;
    int addStock() override;
    void beginIntake() override;
    void endIntake() override;

private:
    // A procedure's parameters as the refresh gave them, mapped to field positions.
    struct Prepared {
        bool ready = false;
        bool allText = false;
        bool utf8Form = true;  // until the engine declines Engine::bulkCallText
        std::vector<std::pair<QString, QVariant>> values;  // input parameters in declared order
        std::vector<int> fieldOf;                          // field position of each, -1 none
    };
    int insert(const QString& proc, Prepared& prepared, const IntakeLine& line);

    TDMData& m_dm;
    std::vector<std::pair<QString, QVariant>> m_values;
    std::vector<std::string_view> m_views;
    Prepared m_sales;
    Prepared m_stock;
    bool m_bulk = false;
};

}  // namespace corvanta
