#include "engines/DailySums.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

namespace corvanta {

namespace {

quint32 hashOf(std::string_view id, std::string_view usercode, std::string_view ptypename, qint64 day, int vchType)
{
    std::size_t h = std::hash<std::string_view>()(id);
    h = h * 31 + std::hash<std::string_view>()(usercode);
    h = h * 31 + std::hash<std::string_view>()(ptypename);
    h = h * 31 + std::size_t(day) * 8 + std::size_t(vchType);
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return quint32(h) | 1u;  // never 0, so a used slot is never 0
}

// The most fraction digits of a group's sum after adding value: a division only when value has
// digits beyond those seen so far.
quint8 widerScale(quint8 scale, qint64 value)
{
    static constexpr qint64 kUnit[7] = {1000000, 100000, 10000, 1000, 100, 10, 1};
    if (scale >= 6 || value % kUnit[scale] == 0)
        return scale;
    return quint8(scaleOfMillionths(value));
}

}  // namespace

int scaleOfMillionths(qint64 value)
{
    int fraction = int(value < 0 ? -(value % 1000000) : value % 1000000);
    if (fraction == 0)
        return 0;
    int scale = 6;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --scale;
    }
    return scale;
}

void DailySums::grow()
{
    std::vector<quint64> table(std::max<std::size_t>(1024, m_slots.size() * 2), 0);
    const std::size_t mask = table.size() - 1;
    for (const quint64 s : m_slots) {
        if (s == 0)
            continue;
        std::size_t at = std::size_t(s >> 32) & mask;
        while (table[at] != 0)
            at = (at + 1) & mask;
        table[at] = s;
    }
    m_slots.swap(table);
}

DailySums::Group& DailySums::groupOf(quint32 hash, qint64 day, int vchType, std::string_view id,
                                     std::string_view usercode, std::string_view ptypename,
                                     const std::array<char, 10>& date)
{
    if ((m_groups.size() + 1) * 2 > m_slots.size())
        grow();
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const quint64 s = m_slots[at];
        if (s == 0)
            break;
        if (quint32(s >> 32) != hash)
            continue;
        Group& c = m_groups[std::size_t(quint32(s)) - 1];
        if (c.day == day && c.vchType == vchType && this->id(c) == id && this->usercode(c) == usercode &&
            this->ptypename(c) == ptypename)
            return c;
    }
    Group n;
    n.day = day;
    n.vchType = vchType;
    n.date = date;
    n.keyAt = quint32(m_keys.size());
    n.idLen = quint32(id.size());
    n.usercodeLen = quint32(usercode.size());
    n.ptypenameLen = quint32(ptypename.size());
    m_keys.append(id).append(usercode).append(ptypename);
    m_groups.push_back(n);
    m_slots[at] = (quint64(hash) << 32) | quint64(m_groups.size());
    return m_groups.back();
}

void DailySums::accumulate(Group& g, qint64 qty, qint64 total, qint64 cost, bool withScales)
{
    g.qty += qty;
    g.total += total;
    g.cost += cost;
    if (withScales) {
        g.qtyScale = widerScale(g.qtyScale, qty);
        g.totalScale = widerScale(g.totalScale, total);
        g.costScale = widerScale(g.costScale, cost);
    }
}

// The cache lines a waiting line will need, one step further at each age: its slot, then its
// group (the slot is there by now), then the group's texts.
void DailySums::prefetch(const Waiting& w, std::size_t age) const
{
    const std::size_t mask = m_slots.size() - 1;
    if (age == 0) {
        __builtin_prefetch(&m_slots[w.hash & mask]);
        return;
    }
    const quint64 s = m_slots[w.hash & mask];
    if (s == 0 || quint32(s >> 32) != w.hash)
        return;
    const Group& g = m_groups[std::size_t(quint32(s)) - 1];
    if (age == kAhead / 3)
        __builtin_prefetch(&g);
    else
        __builtin_prefetch(m_keys.data() + g.keyAt);
}

void DailySums::add(const SalesRow& line, bool withScales)
{
    if (m_groups.size() < kDirect) {
        settle();
        Group& g = groupOf(hashOf(line.id, line.usercode, line.ptypename, line.day.julian, line.vchType), line.day.julian,
                           line.vchType, line.id, line.usercode, line.ptypename, line.day.text);
        accumulate(g, line.qty, line.total, line.cost, withScales);
        return;
    }
    if (m_count == kAhead)  // the oldest line's group is in the cache by now
        sumOldest();
    if ((m_groups.size() + 1) * 2 > m_slots.size())
        grow();  // before the slots are prefetched
    Waiting& w = m_ring[(m_head + m_count) % kAhead];
    ++m_count;
    w.hash = hashOf(line.id, line.usercode, line.ptypename, line.day.julian, line.vchType);
    w.day = line.day.julian;
    w.vchType = line.vchType;
    w.date = line.day.text;
    w.qty = line.qty;
    w.total = line.total;
    w.cost = line.cost;
    w.withScales = withScales;
    w.idLen = quint32(line.id.size());
    w.usercodeLen = quint32(line.usercode.size());
    w.keys.assign(line.id).append(line.usercode).append(line.ptypename);
    prefetch(w, 0);
    if (m_count > kAhead / 3)
        prefetch(m_ring[(m_head + m_count - 1 - kAhead / 3) % kAhead], kAhead / 3);
    if (m_count > 2 * kAhead / 3)
        prefetch(m_ring[(m_head + m_count - 1 - 2 * kAhead / 3) % kAhead], 2 * kAhead / 3);
}

void DailySums::sumOldest()
{
    const Waiting& w = m_ring[m_head];
    const std::string_view keys(w.keys);
    Group& g = groupOf(w.hash, w.day, w.vchType, keys.substr(0, w.idLen), keys.substr(w.idLen, w.usercodeLen),
                       keys.substr(w.idLen + w.usercodeLen), w.date);
    accumulate(g, w.qty, w.total, w.cost, w.withScales);
    m_head = (m_head + 1) % kAhead;
    --m_count;
}

// Sums the lines still waiting, oldest first.
void DailySums::settle()
{
    while (m_count > 0)
        sumOldest();
}

std::vector<const DailySums::Group*> DailySums::sorted()
{
    settle();
    // Day by day (few, and each day's groups then sort in the cache), then by the texts.
    std::map<qint64, std::vector<const Group*>> days;
    for (const Group& g : m_groups)
        days[g.day].push_back(&g);
    std::vector<std::vector<const Group*>*> each;
    for (auto& entry : days)
        each.push_back(&entry.second);
    auto sortDays = [this, &each](std::size_t from, std::size_t to) {
        for (std::size_t d = from; d < to; ++d) {
            std::sort(each[d]->begin(), each[d]->end(), [this](const Group* a, const Group* b) {
                if (const int c = id(*a).compare(id(*b)))
                    return c < 0;
                if (const int c = usercode(*a).compare(usercode(*b)))
                    return c < 0;
                if (const int c = ptypename(*a).compare(ptypename(*b)))
                    return c < 0;
                return a->vchType < b->vchType;
            });
        }
    };
    // Two threads for a large summary: the consolidation waits for this.
    const std::size_t half = each.size() / 2;
    if (m_groups.size() >= 65536 && half > 0) {
        std::thread other(sortDays, 0, half);
        sortDays(half, each.size());
        other.join();
    } else {
        sortDays(0, each.size());
    }
    std::vector<const Group*> out;
    out.reserve(m_groups.size());
    for (const auto* groups : each)
        out.insert(out.end(), groups->begin(), groups->end());
    return out;
}

void DailySums::clear()
{
    m_count = 0;
    m_groups.clear();
    m_keys.clear();
    std::fill(m_slots.begin(), m_slots.end(), 0);
}

}  // namespace corvanta
