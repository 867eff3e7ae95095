#pragma once
// What the procedure bodies of the embedded engine share (EmbeddedProcedures.cpp,
// EmbeddedQueries.cpp): results, rowsets, the account-set check, and the query bodies that the
// procedure list names.
#include "engines/embedded/EmbeddedProcedures.h"
#include "engines/embedded/Sqlite.h"

#include <QStringList>
#include <QVariant>
#include <array>
#include <string_view>
#include <vector>

namespace corvanta::embedded {

CallResult ret(qlonglong v);

enum class Col { Text, Int, Dec };
// Reads every row of q into a rowset; Dec columns are scaled integers delivered as decimal text.
Rowset readRows(sqlite::Query& q, const QStringList& fields, const std::vector<Col>& kinds);
// The same in text form (Rowset::text), values as UTF-8 bytes: for long results. expectedRows:
// how many rows q gives, when known (its columns are then sized once, after the first rows).
Rowset readText(sqlite::Query& q, const QStringList& fields, const std::vector<Col>& kinds,
                std::size_t expectedRows = 0);
CallResult rows(Rowset rs, qlonglong rv = 0);
// The integer value of an outlet number for ordering and the @ID filter; NULL for another form.
QVariant outletNumber(const QString& key);
// The current database when it is an account set; throws in master.
sqlite::Db& accountDb(EmbeddedEngine& e);

// A scaled integer as its minimal decimal text, into out.
std::string_view scaledText(qint64 value, std::array<char, 32>& out);

// One read snapshot for the statements of a query (a deferred transaction unless the caller
// has one open): an import committed in between is seen by all of them or by none.
class ReadSnapshot {
public:
    explicit ReadSnapshot(sqlite::Db& db);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

private:
    sqlite::Db& m_db;
    bool m_own;
};

// The page cache of an account set's connection: the writes of an intake reuse its pages.
constexpr int kAccountCacheKiB = 16384;

// A query that reads each page once runs with a small page cache: filling the large one only
// cost memory and page faults (a tenth of a 100,000-line sales query). Not inside a
// transaction, whose changed pages the cache holds.
class ScanCache {
public:
    explicit ScanCache(sqlite::Db& db);
    ~ScanCache();
    ScanCache(const ScanCache&) = delete;
    ScanCache& operator=(const ScanCache&) = delete;

private:
    sqlite::Db& m_db;
    bool m_own;
};

// The longest range of days the deliveries cover.
constexpr qint64 kMaxDeliveryDays = 366;

CallResult hz_GetSales(EmbeddedEngine& e, const ProcArgs& a);
CallResult hz_GetDeliveries(EmbeddedEngine& e, const ProcArgs& a);
CallResult hz_GetStock(EmbeddedEngine& e, const ProcArgs& a);
CallResult hz_AllStat(EmbeddedEngine& e, const ProcArgs& a);
CallResult hz_GetSalesName(EmbeddedEngine& e, const ProcArgs& a);
CallResult hz_GetSPName(EmbeddedEngine& e, const ProcArgs& a);
CallResult CW_r_GetColConfig(EmbeddedEngine& e, const ProcArgs& a);

}  // namespace corvanta::embedded
