#pragma once
// The import procedures over the data module: every call takes the six steps of the
// stored-procedure call on ADOSProc. The intake is bracketed as one bulk run on the engine (the
// embedded engine keeps it in one transaction); each line still gets its own call and result.
#include "import/ImportRun.h"

#include <QVariant>
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
    int insert(const QString& proc, const IntakeLine& line);

    TDMData& m_dm;
    std::vector<std::pair<QString, QVariant>> m_values;
    bool m_bulk = false;
};

}  // namespace corvanta
