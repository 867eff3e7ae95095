#pragma once
// The import procedures over the data module. Every call has the outcome of the six steps of the
// stored-procedure call on ADOSProc. The intake is an intake session of the engine
// (Engine::beginIntake) when the engine has one and the account set's intake procedure has the
// parameters of engines/Intake.h, all text: the first line of a kind refreshes the procedure's
// parameter list (steps one to five, as its call would), then every line goes to the session as
// UTF-8 values. Otherwise, and for every line of a procedure with other parameters, the line is
// a call of the procedure through the six steps. The consolidation is the session's when it holds
// the lines, else the procedure's call.
#include "import/ImportRun.h"

#include <QVariant>
#include <array>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanta {

class TDMData;

class DataImportProcedures : public ImportProcedures {
public:
    explicit DataImportProcedures(TDMData& dm);
    ~DataImportProcedures() override;

    void deleSales() override;
    int insertSales(const IntakeLine& line) override;
    int insertStock(const IntakeLine& line) override;
    int addSales() override;
    int addStock() override;
    int consolidate(bool sales, bool stock) override;
    void beginIntake() override;
    void endIntake() override;
    void abandonIntake() override;
    std::vector<QString> outletKeys() override;

private:
    enum class Form { Unknown, Session, Call };
    int insert(IntakeKind kind, const IntakeLine& line);
    // Steps one to five of the call of proc: its parameter list, refreshed.
    void refresh(const QString& proc);
    Form sessionForm(IntakeKind kind, const QString& proc);
    void endSession();

    TDMData& m_dm;
    std::unique_ptr<IntakeSession> m_session;
    std::array<Form, 2> m_form{Form::Unknown, Form::Unknown};  // per kind, during the intake
    std::array<std::string_view, kSalesParams> m_values{};
    std::vector<std::pair<QString, QVariant>> m_callValues;
};

}  // namespace corvanta
