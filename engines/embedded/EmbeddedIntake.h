#pragma once
// The import intake of the embedded engine: the writer that puts lines checked by IntakeChecker
// into the sales and stock tables (keyed as SalesSeq.h says) and keeps the daily summary
// (SalesSummary.h) of the lines it writes.
#include "engines/DailySums.h"
#include "engines/IntakeCheck.h"
#include "engines/embedded/SalesSeq.h"
#include "engines/embedded/Sqlite.h"

#include <QString>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta::embedded {

class SummaryWriter;

// Checked lines held for one INSERT ... SELECT: their texts back to back in one buffer.
struct Batch {
    static constexpr int kTexts = 7;  // ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA
    struct Row {
        std::array<quint32, kTexts> at{}, len{};
        qint64 seq = 0, qty = 0, total = 0, cost = 0, day = 0;
        int vchType = 0;
        std::array<char, 10> date{};
    };
    std::vector<Row> rows;
    std::vector<quint32> order;  // rows in the order they are inserted
    std::string texts;
    std::string_view text(const Row& r, int i) const { return std::string_view(texts).substr(r.at[size_t(i)], r.len[size_t(i)]); }
    void clear() { rows.clear(); order.clear(); texts.clear(); }
};

// Writes checked lines into main.sales / main.stock inside the caller's write transaction and
// remembers what they replace. Nothing of it is final until the caller commits: replace() then
// removes the stored lines that the new ones replace, unstage() takes the new ones out again and
// puts them into the connection's staging tables (as if they had been staged line by line).
// Lines are written in batches (bounded memory) through one INSERT ... SELECT each, sales sorted
// by seq so that SQLite walks from one row to the next instead of searching the table.
//
// With background set, a full batch is written by a thread of the writer's own while the caller
// checks the next lines; the caller must call sync() before it uses the connection itself (the
// other members do). A failure of that thread is thrown by the next addSales/addStock or sync().
class IntakeWriter {
public:
    explicit IntakeWriter(sqlite::Db& db, bool background = false);
    ~IntakeWriter();

    void addSales(const SalesRow& row);
    void addStock(const StockRow& row);
    // Waits for the batch being written.
    void sync();
    void flush();
    bool hasSales() { return !m_dayIds.empty(); }
    // The summary is written in parts of at most this many groups (tests use small parts).
    void setSumsLimit(std::size_t groups) { m_sums.setLimit(groups); }
    bool hasStock() { sync(); return !m_stockIds.empty() || !m_stock.rows.empty(); }

    // Sales: the stored lines of the same outlet and day. Stock: all stored lines of the outlet.
    void replaceSales();
    void replaceStock();
    void unstageSales();
    void unstageStock();

private:
    struct DayState {
        qint64 start = 0;  // the last seq stored before this intake (or the day's first - 1)
        qint64 next = 0;
    };
    void flushSales();
    void flushStock();
    void handOver(bool sales);
    void writeSales(Batch& batch);
    void writeStock(Batch& batch);
    static void sortByDay(Batch& batch);
    void clearDays();
    void runBatch(sqlite::Query& insert, Batch** slot, Batch& batch);
    void work();
    void writeSums();
    void restoreSums();
    SummaryWriter& summaryWriter();

    sqlite::Db& m_db;
    Batch m_sales;
    Batch m_stock;
    Batch** m_salesSlot;  // what intake_sales_batch reads (owned by the connection)
    Batch** m_stockSlot;
    sqlite::Query m_insertSales;
    sqlite::Query m_insertStock;
    sqlite::Query m_lastOfDay;
    std::map<qint64, DayState> m_days;  // the writer's
    // The outlets written per day, kept by the caller's thread (the writer has the heavier part).
    std::map<qint64, std::set<std::string, std::less<>>> m_dayIds;
    qint64 m_lastDay = -1;
    std::string m_lastDayId;
    qint64 m_stockStart = 0;
    std::set<std::string, std::less<>> m_stockIds;

    // The daily summary of the lines written (the writer's): when the account set has one.
    bool m_summary = false;
    DailySums m_sums;
    std::unique_ptr<SummaryWriter> m_summaryWriter;
    // Outlet days whose earlier summary rows are gone; sums written for them are added up.
    std::set<std::pair<qint64, std::string>, std::less<>> m_sumsCleared;

    // The background writer: batches in the order they were filled.
    struct Job {
        bool sales;
        Batch batch;
    };
    std::deque<Job> m_queue;
    std::vector<Batch> m_free;  // written batches, for reuse
    bool m_busy = false;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    std::exception_ptr m_error;
};

// Outlet numbers (idkey) of the account set, for a run that holds the write lock.
class OutletSet {
public:
    explicit OutletSet(sqlite::Db& db);
    bool contains(std::string_view key) const { return m_keys.find(key) != m_keys.end(); }

private:
    KeySet m_keys;
};

// An intake written straight into the tables: the outlets read once, the checks, the writer.
struct DirectIntake {
    explicit DirectIntake(sqlite::Db& db)
        : outlets(db), checker([this](std::string_view key) { return outlets.contains(key); }), writer(db, true)
    {
    }
    OutletSet outlets;
    IntakeChecker checker;
    IntakeWriter writer;
    SalesRow salesRow;
    StockRow stockRow;
};

}  // namespace corvanta::embedded
