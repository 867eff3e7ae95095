// The runs of sums an intake writes aside when it holds too many groups, merged back: against a
// plain map of the same lines, in any order of the lines, however many runs.
#include "engines/Engine.h"
#include "engines/postgresql/SumRuns.h"

#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <tuple>

namespace corvanta::test {
namespace {

struct Expected {
    __int128 qty = 0, total = 0, cost = 0;
    quint64 lines = 0;
    int qtyScale = 0, totalScale = 0, costScale = 0;
};
using Key = std::tuple<qint64, std::string, std::string, std::string, int>;

TEST(SumRuns, MergedRunsEqualAPlainGroupingInKeyOrder)
{
    std::mt19937_64 rng(7);
    const qint64 fractions[] = {0, 500000, 120000, 1, 999999};
    std::vector<std::string> ids{"1", "10", "2", "", "0007"}, codes, names;
    for (int i = 0; i < 60; ++i) {
        codes.push_back("69" + std::to_string(1000 + i));
        names.push_back("商品" + std::string(size_t(i % 5), 'x'));
    }
    // Unordered lines, groups repeated far apart (in different runs); one run, many runs, none.
    for (const std::size_t limit : {std::size_t(1) << 20, std::size_t(97), std::size_t(1)}) {
        SCOPED_TRACE(limit);
        DailySums sums;
        sums.setLimit(limit);
        SumRuns runs;
        std::map<Key, Expected> want;
        for (int n = 0; n < 20000; ++n) {
            SalesRow row;
            row.id = ids[rng() % ids.size()];
            const std::size_t p = rng() % codes.size();
            row.usercode = codes[p];
            row.ptypename = names[(p + rng() % 2) % names.size()];
            row.day.julian = 2460311 + qint64(rng() % 9);
            row.vchType = rng() % 2 ? 11 : 45;
            row.qty = qint64(rng() % 50) * 1000000 + fractions[rng() % 5] * (rng() % 7 == 0);
            row.total = (qint64(rng() % 100000) - 20000) * 1000000 + fractions[rng() % 5];
            row.cost = qint64(rng() % 999999999999) * 1000000 + fractions[rng() % 5];
            sums.add(row, true);
            if (sums.full())
                runs.write(sums);
            Expected& e = want[Key{row.day.julian, std::string(row.id), std::string(row.usercode),
                                   std::string(row.ptypename), row.vchType}];
            e.qty += row.qty;
            e.total += row.total;
            e.cost += row.cost;
            ++e.lines;
            e.qtyScale = std::max(e.qtyScale, scaleOfMillionths(row.qty));
            e.totalScale = std::max(e.totalScale, scaleOfMillionths(row.total));
            e.costScale = std::max(e.costScale, scaleOfMillionths(row.cost));
        }
        EXPECT_EQ(runs.empty(), limit > 20000);
        auto it = want.begin();
        std::size_t seen = 0;
        runs.merge(sums, [&](const SumView& g) {
            ASSERT_NE(it, want.end());
            const Key key{g.day, std::string(g.id), std::string(g.usercode), std::string(g.ptypename), g.vchType};
            ASSERT_EQ(key, it->first);  // each group once, in the key order
            const Expected& e = it->second;
            EXPECT_TRUE(g.qty == e.qty && g.total == e.total && g.cost == e.cost);
            EXPECT_EQ(g.lines, e.lines);
            EXPECT_EQ(std::tuple(int(g.qtyScale), int(g.totalScale), int(g.costScale)),
                      std::tuple(e.qtyScale, e.totalScale, e.costScale));
            ++it;
            ++seen;
        });
        EXPECT_EQ(seen, want.size());
        EXPECT_TRUE(runs.empty());
        EXPECT_TRUE(sums.empty());
        bool none = true;  // merged once: nothing is left for a second merge
        runs.merge(sums, [&](const SumView&) { none = false; });
        EXPECT_TRUE(none);
    }
}

TEST(SumRuns, AFullDiskFailsTheIntake)
{
    // A file-size limit stands for the full disk: the write is cut short, as there.
    rlimit was{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    DailySums sums;
    std::vector<std::string> codes;
    for (int i = 0; i < 5000; ++i)
        codes.push_back(std::to_string(100000 + i));
    for (const std::string& code : codes) {
        SalesRow row;
        row.id = "1";
        row.usercode = code;
        row.day.julian = 2460311;
        sums.add(row, true);
    }
    SumRuns runs;
    rlimit small = was;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        runs.write(sums);
    } catch (const DbError& e) {
        failed = true;
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QStringLiteral("could not be written")), -1) << e.what();
    }
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed) << "a cut run was taken as written";
    EXPECT_TRUE(runs.empty());
}

}  // namespace
}  // namespace corvanta::test
