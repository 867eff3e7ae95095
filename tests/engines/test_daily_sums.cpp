// The intake's daily sums against a plain map of the same lines, with enough groups that lines
// wait in the prefetch queue and the table grows while they wait.
#include "engines/DailySums.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <tuple>

namespace corvanta::test {
namespace {

struct Expected {
    __int128 qty = 0, total = 0, cost = 0;
    int qtyScale = 0, totalScale = 0, costScale = 0;
};
using Key = std::tuple<qint64, std::string, std::string, std::string, int>;

TEST(DailySums, EqualToAPlainGroupingWhateverTheTableSize)
{
    std::mt19937_64 rng(11);
    const qint64 fractions[] = {0, 500000, 120000, 1, 999999, 10};
    std::vector<std::string> ids, codes, names;
    for (int i = 0; i < 13; ++i)
        ids.push_back(std::to_string(i + 1));
    ids.push_back(std::string());  // an empty text is a key of its own
    for (int i = 0; i < 400; ++i) {
        codes.push_back("69" + std::to_string(1000 + i));
        names.push_back("商品" + std::string(size_t(i % 7), 'x'));
    }
    for (const std::size_t lines : {std::size_t(300), std::size_t(400000)}) {
        DailySums sums;
        std::map<Key, Expected> want;
        for (std::size_t n = 0; n < lines; ++n) {
            SalesRow row;
            row.id = ids[rng() % ids.size()];
            const std::size_t p = rng() % codes.size();
            row.usercode = codes[p];
            // Two names under one code and the same name under two codes are different groups.
            row.ptypename = names[(p + rng() % 2) % names.size()];
            row.day.julian = 2460311 + qint64(rng() % 40);
            row.day.text = {'2', '0', '2', '4', '-', '0', '1', '-', '0', char('0' + row.day.julian % 10)};
            row.vchType = rng() % 2 ? 11 : 45;
            row.qty = qint64(rng() % 50) * 1000000 + fractions[rng() % 6] * (rng() % 9 == 0);
            row.total = (qint64(rng() % 100000) - 20000) * 1000000 + fractions[rng() % 6];
            row.cost = qint64(rng() % 999999999999) * 1000000 + fractions[rng() % 6];
            sums.add(row, true);
            Expected& e = want[Key{row.day.julian, std::string(row.id), std::string(row.usercode),
                                   std::string(row.ptypename), row.vchType}];
            e.qty += row.qty;
            e.total += row.total;
            e.cost += row.cost;
            e.qtyScale = std::max(e.qtyScale, scaleOfMillionths(row.qty));
            e.totalScale = std::max(e.totalScale, scaleOfMillionths(row.total));
            e.costScale = std::max(e.costScale, scaleOfMillionths(row.cost));
        }
        ASSERT_EQ(sums.size(), want.size());
        const std::vector<const DailySums::Group*> groups = sums.sorted();
        ASSERT_EQ(groups.size(), want.size());
        auto it = want.begin();
        for (const DailySums::Group* g : groups) {  // the key order, each group once
            const Key key{g->day, std::string(sums.id(*g)), std::string(sums.usercode(*g)),
                          std::string(sums.ptypename(*g)), g->vchType};
            ASSERT_EQ(key, it->first);
            const Expected& e = it->second;
            EXPECT_TRUE(g->qty == e.qty && g->total == e.total && g->cost == e.cost);
            EXPECT_EQ(std::tuple(int(g->qtyScale), int(g->totalScale), int(g->costScale)),
                      std::tuple(e.qtyScale, e.totalScale, e.costScale));
            ++it;
        }
        sums.clear();
        EXPECT_TRUE(sums.empty());
        EXPECT_TRUE(sums.sorted().empty());
    }
}

}  // namespace
}  // namespace corvanta::test
