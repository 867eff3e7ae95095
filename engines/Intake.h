#pragma once
// An import's intake on an engine: the lines of an outlet file handed over one by one and then
// consolidated, with the outcome of calling the intake procedure (hz_InsertSales / hz_InsertStock)
// for every line and the consolidation procedure (hz_AddSales / hz_AddStock) after them; the
// engine may take the lines its own faster way. The import run drives it (import/ImportRun.h,
// import/DataImportProcedures.h); the stored procedures stay callable one by one as well.
//
// The fields of a line, the parameters of the intake procedures, are defined here and nowhere
// else: the import maps the file's columns onto them (kSalesFieldParam in import/ImportRun.h),
// the engines' checks (IntakeCheck.h) and procedure bodies read them by these positions.
#include <QtGlobal>
#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace corvanta {

enum class IntakeKind { Sales, Stock };

// Fields of a sales line, in the order of hz_InsertSales' parameters.
enum SalesParam { SpUserCode, SpPtypeName, SpStandard, SpType, SpUnit, SpArea, SpDate, SpQty, SpTotal, SpCostTotal,
                  SpVchType, SpId, kSalesParams };
// Fields of a stock line, in the order of hz_InsertStock's parameters.
enum StockParam { KpUserCode, KpPtypeName, KpStandard, KpType, KpUnit, KpArea, KpKcQty, KpKcTotal, KpId, kStockParams };

// The parameter names ("@USERCODE", ...) of those fields.
extern const std::array<const char*, kSalesParams> kInsertSalesParamNames;
extern const std::array<const char*, kStockParams> kInsertStockParamNames;

inline int intakeFieldCount(IntakeKind kind) { return kind == IntakeKind::Sales ? int(kSalesParams) : int(kStockParams); }
inline std::span<const char* const> intakeParamNames(IntakeKind kind)
{
    return kind == IntakeKind::Sales ? std::span<const char* const>(kInsertSalesParamNames)
                                     : std::span<const char* const>(kInsertStockParamNames);
}

// One intake, begun by Engine::beginIntake. Lines of both kinds may come (a file may mix them);
// the kinds asked for are consolidated at the end, together. Errors of the database are thrown (DbError). Any other use
// of the engine while the session is open first puts the lines taken so far where line-by-line
// calls would have put them (the staging), so every outcome stays that of the procedures.
class IntakeSession {
public:
    virtual ~IntakeSession() = default;

    // One line: values as UTF-8 in the order of SalesParam / StockParam. Returns the intake
    // procedure's value: 0 taken, -2 the outlet is not in the outlet list, -1 another value refused.
    // A refused line leaves no trace; the lines taken before it stay taken.
    virtual int add(IntakeKind kind, std::span<const std::string_view> values) = 0;
    // All lines are in: what is still on its way is delivered (its errors are thrown here).
    virtual void complete() = 0;
    // The consolidation after complete() of sales, of stock or of both in one transaction (all of
    // it or none of it): 0 done, else the first failing value, when the session holds the lines in
    // a form of its own; nullopt when they are in the staging, where the consolidation procedures
    // find them (the caller then calls them). Lines of a kind not asked for stay staged.
    virtual std::optional<int> consolidate(bool sales, bool stock) = 0;
    // The intake ends without a consolidation: the lines taken stay staged, as line-by-line calls
    // would have left them. Never throws; the destructor does it when nothing else ended the session.
    virtual void abandon() noexcept = 0;
};

}  // namespace corvanta
