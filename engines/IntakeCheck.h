#pragma once
// The checks of hz_InsertSales / hz_InsertStock on values as UTF-8 bytes, shared by the engines'
// import intakes; the values are read by the UTF-8 forms of the value module (base/Values.h).
#include "base/Values.h"
#include "engines/Intake.h"

#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace corvanta {

using SalesValues = std::array<std::string_view, kSalesParams>;
using StockValues = std::array<std::string_view, kStockParams>;

// A checked sales line; views into the caller's values or scratch buffers.
struct SalesRow {
    std::string_view id, usercode, ptypename, standard, type, unit, area;
    Day day;
    qint64 qty = 0, total = 0, cost = 0;
    int vchType = 0;
};
struct StockRow {
    std::string_view id, usercode, ptypename, standard, type, unit, area;
    qint64 qty = 0, total = 0;
};

// The checks of the intake procedures. 0 taken (row filled), -2 the outlet is not in the outlet
// list, -1 another value refused.
class IntakeChecker {
public:
    using OutletExists = std::function<bool(std::string_view)>;
    explicit IntakeChecker(OutletExists outletExists) : m_outletExists(std::move(outletExists)) {}
    int sales(const SalesValues& v, SalesRow& row);
    int stock(const StockValues& v, StockRow& row);

private:
    OutletExists m_outletExists;
    std::string m_id, m_code, m_vch, m_date, m_num;
};

// A set of keys (outlet numbers) that looks up string_views without making a string.
struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
using KeySet = std::unordered_set<std::string, KeyHash, std::equal_to<>>;

}  // namespace corvanta
