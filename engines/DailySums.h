#pragma once
// The daily sales summary's rows for the lines an intake writes, summed while the lines pass:
// one group per day, outlet, product (code and name) and document type. The consolidation then
// writes these groups instead of grouping the lines again in SQL, which would sort them all.
//
// Sums are kept in 128 bits: a file's amounts cannot leave that range, and each engine decides
// what it can store (the embedded engine refuses a sum outside 64 bits, PostgreSQL stores it).
#include "engines/IntakeCheck.h"

#include <QtGlobal>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

using Wide = __int128;

class DailySums {
public:
    // Above this many groups the caller stops holding them, which bounds the memory (about 160
    // bytes a group): the embedded writer writes what it has and starts afresh, the PostgreSQL
    // intake leaves the summing to the server. A million-line file of a dozen outlets over three months
    // has about 240,000.
    static constexpr std::size_t kMaxGroups = std::size_t(1) << 18;

    struct Group {
        Wide qty = 0, total = 0, cost = 0;
        qint64 day = 0;
        quint32 keyAt = 0, idLen = 0, usercodeLen = 0, ptypenameLen = 0;
        int vchType = 0;
        std::array<char, 10> date{};
        // The most fraction digits any summed value had (what SQL's sum() of numerics keeps).
        quint8 qtyScale = 0, totalScale = 0, costScale = 0;
    };

    // withScales: keep the most fraction digits of each sum (for an engine whose numbers keep it).
    // Once there are many groups a line waits a little before it is summed (see Waiting below).
    void add(const SalesRow& row, bool withScales);
    std::size_t size()
    {
        settle();
        return m_groups.size();
    }
    bool empty() const { return m_groups.empty() && m_count == 0; }
    // By the groups summed so far: the few lines still waiting may add some.
    bool full() const { return m_groups.size() >= m_limit; }
    void setLimit(std::size_t groups) { m_limit = groups; }  // for tests of the writing in parts
    // The groups in the order of the summary's key: day, outlet, code, name (bytewise), type.
    std::vector<const Group*> sorted();
    std::string_view id(const Group& g) const { return {m_keys.data() + g.keyAt, g.idLen}; }
    std::string_view usercode(const Group& g) const { return {m_keys.data() + g.keyAt + g.idLen, g.usercodeLen}; }
    std::string_view ptypename(const Group& g) const
    {
        return {m_keys.data() + g.keyAt + g.idLen + g.usercodeLen, g.ptypenameLen};
    }
    void clear();

private:
    // A line whose group is being fetched into the cache. With a few hundred thousand groups
    // nearly every line misses the cache on its slot, its group and the group's texts; lines wait
    // in a short queue while those are prefetched one after the other, so the misses overlap.
    struct Waiting {
        quint32 hash = 0;
        qint64 day = 0;
        int vchType = 0;
        std::array<char, 10> date{};
        qint64 qty = 0, total = 0, cost = 0;
        bool withScales = false;
        quint32 idLen = 0, usercodeLen = 0;
        std::string keys;  // id, code, name back to back
    };
    static constexpr std::size_t kAhead = 24;  // lines waiting once the table is large
    static constexpr std::size_t kDirect = 16384;  // groups that stay in the cache anyway

    void grow();
    void settle();
    void sumOldest();
    void prefetch(const Waiting& w, std::size_t age) const;
    Group& groupOf(quint32 hash, qint64 day, int vchType, std::string_view id, std::string_view usercode,
                   std::string_view ptypename, const std::array<char, 10>& date);
    static void accumulate(Group& g, qint64 qty, qint64 total, qint64 cost, bool withScales);

    std::size_t m_limit = kMaxGroups;
    std::vector<Group> m_groups;
    std::string m_keys;  // the groups' texts back to back
    // Open addressing: hash in the high half, group index + 1 in the low half, 0 when free.
    std::vector<quint64> m_slots;
    std::vector<Waiting> m_ring = std::vector<Waiting>(kAhead);  // the queue's storage
    std::size_t m_head = 0, m_count = 0;  // the oldest waiting line, how many wait
};

// The number of fraction digits a value in millionths shows once trailing zeros are gone.
int scaleOfMillionths(qint64 value);

}  // namespace corvanta
