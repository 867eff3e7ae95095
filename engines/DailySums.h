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
#include <utility>
#include <vector>

namespace corvanta {

using Wide = __int128;

class DailySums {
public:
    // Above this many groups the caller stops holding them, which bounds the memory (about 160
    // bytes a group, with the lookup table): the engine writes what it has and starts afresh. A
    // million-line file of a dozen outlets over three months has about 240,000 groups; one of
    // outlets' daily files about a million (a line per product sold). Parts cost little (sorted
    // runs the engine merges again), so they are kept small enough for an import to stay within
    // 100 MiB.
    static constexpr std::size_t kMaxGroups = std::size_t(1) << 17;

    struct Group {
        Wide qty = 0, total = 0, cost = 0;
        qint64 day = 0;
        quint32 outlet = 0, product = 0;  // numbered in the order first met
        quint32 lines = 0;  // how many lines were summed into it
        int vchType = 0;
        std::array<char, 10> date{};
        // The most fraction digits any summed value had (what SQL's sum() of numerics keeps).
        quint8 qtyScale = 0, totalScale = 0, costScale = 0;
    };

    // withScales: keep the most fraction digits of each sum (for an engine whose numbers keep it).
    // A line's group is looked up while the next line comes (its memory fetched meanwhile):
    // size() and full() count the line in flight as a group.
    void add(const SalesRow& row, bool withScales);
    std::size_t size() const { return m_groups.size() + (m_inFlight ? 1 : 0); }
    bool empty() const { return m_groups.empty() && !m_inFlight && !m_update; }
    bool full() const { return size() >= m_limit; }
    void setLimit(std::size_t groups) { m_limit = groups; }  // for tests of the writing in parts
    // The groups in the order of the summary's key: day, outlet, code, name (bytewise), type.
    std::vector<const Group*> sorted();
    const std::vector<Group>& groups()  // in the order first met
    {
        settle();
        return m_groups;
    }
    std::string_view id(const Group& g) const { return m_outlets.first(g.outlet); }
    std::string_view usercode(const Group& g) const { return m_products.first(g.product); }
    std::string_view ptypename(const Group& g) const { return m_products.second(g.product); }
    void clear();

private:
    // Texts (one or two) numbered in the order first met: a line's outlet and product are found
    // in these small tables, which stay in the cache, instead of being compared in the groups'.
    class Names {
    public:
        quint32 find(std::string_view a, std::string_view b);
        std::string_view first(quint32 n) const { return {m_texts.data() + m_at[n], m_len[n].first}; }
        std::string_view second(quint32 n) const { return {m_texts.data() + m_at[n] + m_len[n].first, m_len[n].second}; }
        void clear();

    private:
        std::vector<std::size_t> m_at;
        std::vector<std::pair<quint32, quint32>> m_len;
        std::string m_texts;
        std::vector<quint64> m_slots;  // hash in the high half, number + 1 in the low half
    };

    // A group's key and index + 1 (0: a free slot), so that a lookup reads the slot only.
    struct Slot {
        qint64 day = 0;
        quint32 outlet = 0, product = 0;
        int vchType = 0;
        quint32 group = 0;
    };
    struct Sums {
        qint64 qty = 0, total = 0, cost = 0;
        quint8 qtyScale = 0, totalScale = 0, costScale = 0;
    };
    struct Line {  // a line whose slot is being fetched
        Slot key;
        std::size_t hash = 0;
        std::array<char, 10> date{};
        Sums sums;
    };
    struct Update {  // a line whose group is being fetched
        quint32 group = 0;
        Sums sums;
    };
    void grow();
    quint32 lookUp(const Line& line);
    void apply(const Update& u);
    void settle();

    std::size_t m_limit = kMaxGroups;
    std::vector<Group> m_groups;
    Names m_outlets, m_products;
    // The last line's outlet: a file's lines mostly come outlet by outlet.
    std::string m_lastOutletText;
    quint32 m_lastOutlet = 0;
    bool m_hasLastOutlet = false;
    std::vector<Slot> m_slots;  // open addressing, a power of two
    bool m_inFlight = false, m_update = false;
    Line m_line;
    Update m_pending;
};

// The number of fraction digits a value in millionths shows once trailing zeros are gone.
int scaleOfMillionths(qint64 value);

}  // namespace corvanta
