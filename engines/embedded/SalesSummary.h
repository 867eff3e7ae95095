#pragma once
// The daily sales summary of the embedded engine: one row per outlet day (main.sales_daysum)
// whose groups are packed in a blob (PackedSums.h), products numbered in main.sales_prod. Written
// by the consolidation in the transaction of the lines it sums. lines and total (the outlet day's
// line count and amount) answer the deliveries without unpacking the groups.
#include "engines/DailySums.h"
#include "engines/embedded/Sqlite.h"

#include <QtGlobal>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvanta::embedded {

constexpr const char* kSalesSummarySql =
    "CREATE TABLE main.sales_prod(pid INTEGER PRIMARY KEY, USERCODE TEXT NOT NULL, PTYPENAME TEXT NOT NULL, "
    "UNIQUE(USERCODE, PTYPENAME));"
    "CREATE TABLE main.sales_daysum(day INTEGER NOT NULL, ID TEXT NOT NULL, DATE TEXT NOT NULL, lines INTEGER NOT NULL, "
    "total INTEGER NOT NULL, sums BLOB NOT NULL, UNIQUE(day, ID));"
    // The deliveries read the counts from this index alone, never the rows with their blobs.
    "CREATE INDEX main.sales_daysum_count ON sales_daysum(day, ID, lines, total);";

// One product and document type of an outlet day.
struct SummaryEntry {
    qint64 product = 0;
    int vchType = 0;
    Wide qty = 0, total = 0, cost = 0;
    qint64 lines = 0;  // the lines summed into it (not stored per group)
};

struct EntryKey {
    qint64 product;
    int vchType;
    bool operator==(const EntryKey&) const = default;
};
struct EntryKeyHash {
    std::size_t operator()(const EntryKey& k) const { return std::hash<qint64>()(k.product * 131 + k.vchType); }
};

// One outlet day's groups, summed as lines or earlier sums come.
struct OutletDaySums {
    std::string date;
    std::vector<SummaryEntry> entries;
    std::unordered_map<EntryKey, std::size_t, EntryKeyHash> at;
    void add(qint64 product, int vch, Wide qty, Wide total, Wide cost)
    {
        const auto [it, fresh] = at.try_emplace(EntryKey{product, vch}, entries.size());
        if (fresh)
            entries.push_back({product, vch, 0, 0, 0});
        SummaryEntry& e = entries[it->second];
        e.qty += qty;
        e.total += total;
        e.cost += cost;
        ++e.lines;
    }
};

// Writes outlet days of the summary; products are numbered as they come.
class SummaryWriter {
public:
    using Entry = SummaryEntry;
    explicit SummaryWriter(sqlite::Db& db);
    qint64 product(std::string_view usercode, std::string_view ptypename);
    // Replaces the outlet day's sums, or adds to them (merge). A sum outside 64 bits is refused
    // with SumOutOfRangeText().
    void put(qint64 day, std::string_view id, std::string_view date, std::vector<Entry>& entries, bool merge);
    void drop(qint64 day, std::string_view id);
    // The outlet days of the lines in a seq range (of one outlet when id is given), summed from
    // the lines; their rows must be gone.
    void fromLines(qint64 fromSeq, qint64 toSeq, const std::string* id = nullptr);

private:
    void loadProducts();
    sqlite::Db& m_db;
    sqlite::Query m_put, m_get, m_drop, m_addProduct;
    bool m_loaded = false;
    // length of the code (4 bytes), code, name -> product
    std::unordered_map<std::string, qint64> m_products;
    std::string m_key, m_blob;
};

// Whether the account set has the summary, and building it from the lines for an account set
// made without it or with the row-per-group table of earlier versions (sales_sum, dropped), once,
// in one savepoint; a no-op when it is there.
bool hasSalesSummary(sqlite::Db& db);
void buildSalesSummary(sqlite::Db& db);

// The summary's groups, unpacked (for tests and checks).
struct SummaryRow {
    qint64 day = 0;
    std::string id, usercode, ptypename, date;
    qint64 vchType = 0, qty = 0, total = 0, cost = 0;
};
std::vector<SummaryRow> readSalesSummary(sqlite::Db& db);
// An unreadable blob of the summary.
[[noreturn]] void summaryDamaged(qint64 day, std::string_view id);

}  // namespace corvanta::embedded
