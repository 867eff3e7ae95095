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
    void add(const SalesRow& row, bool withScales);
    std::size_t size() const { return m_groups.size(); }
    bool empty() const { return m_groups.empty(); }
    bool full() const { return m_groups.size() >= m_limit; }
    void setLimit(std::size_t groups) { m_limit = groups; }  // for tests of the writing in parts
    // The groups in the order of the summary's key: day, outlet, code, name (bytewise), type.
    std::vector<const Group*> sorted() const;
    const std::vector<Group>& groups() const { return m_groups; }  // in the order first met
    std::string_view id(const Group& g) const { return {m_keys.data() + g.keyAt, g.idLen}; }
    std::string_view usercode(const Group& g) const { return {m_keys.data() + g.keyAt + g.idLen, g.usercodeLen}; }
    std::string_view ptypename(const Group& g) const
    {
        return {m_keys.data() + g.keyAt + g.idLen + g.usercodeLen, g.ptypenameLen};
    }
    void clear();

private:
    void grow();

    std::size_t m_limit = kMaxGroups;
    std::vector<Group> m_groups;
    std::string m_keys;  // the groups' texts back to back
    // Open addressing: hash in the high half, group index + 1 in the low half, 0 when free.
    std::vector<quint64> m_slots;
};

// The number of fraction digits a value in millionths shows once trailing zeros are gone.
int scaleOfMillionths(qint64 value);

}  // namespace corvanta
