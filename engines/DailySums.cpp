#include "engines/DailySums.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

namespace corvanta {

namespace {

quint32 mix(std::size_t h)
{
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return quint32(h) | 1u;  // never 0, so a used slot is never 0
}

// Doubles an open-addressing table of (hash << 32 | index + 1) slots.
void growSlots(std::vector<quint64>& used, std::size_t least)
{
    std::vector<quint64> table(std::max<std::size_t>(least, used.size() * 2), 0);
    const std::size_t mask = table.size() - 1;
    for (const quint64 s : used) {
        if (s == 0)
            continue;
        std::size_t at = std::size_t(s >> 32) & mask;
        while (table[at] != 0)
            at = (at + 1) & mask;
        table[at] = s;
    }
    used.swap(table);
}

}  // namespace

quint32 DailySums::Names::find(std::string_view a, std::string_view b)
{
    if ((m_at.size() + 1) * 2 > m_slots.size())
        growSlots(m_slots, 256);
    const quint32 hash = mix(std::hash<std::string_view>()(a) * 31 + std::hash<std::string_view>()(b));
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const quint64 s = m_slots[at];
        if (s == 0)
            break;
        const quint32 n = quint32(s) - 1;
        if (quint32(s >> 32) == hash && first(n) == a && second(n) == b)
            return n;
    }
    const quint32 n = quint32(m_at.size());
    m_at.push_back(m_texts.size());
    m_len.emplace_back(quint32(a.size()), quint32(b.size()));
    m_texts.append(a).append(b);
    m_slots[at] = (quint64(hash) << 32) | quint64(n + 1);
    return n;
}

void DailySums::Names::clear()
{
    m_at.clear();
    m_len.clear();
    m_texts.clear();
    std::fill(m_slots.begin(), m_slots.end(), 0);
}

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

namespace {

std::size_t slotHash(qint64 day, quint32 outlet, quint32 product, int vchType)
{
    std::size_t h = ((std::size_t(day) * 0x9e3779b97f4a7c15ull + outlet) * 0x9e3779b97f4a7c15ull + product) *
                        0x9e3779b97f4a7c15ull +
                    std::size_t(unsigned(vchType));
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return h;
}

}  // namespace

void DailySums::grow()
{
    std::vector<Slot> table(std::max<std::size_t>(1024, m_slots.size() * 2));
    const std::size_t mask = table.size() - 1;
    for (const Slot& s : m_slots) {
        if (s.group == 0)
            continue;
        std::size_t at = slotHash(s.day, s.outlet, s.product, s.vchType) & mask;
        while (table[at].group != 0)
            at = (at + 1) & mask;
        table[at] = s;
    }
    m_slots.swap(table);
}

quint32 DailySums::lookUp(const Line& line)
{
    if ((m_groups.size() + 1) * 2 > m_slots.size())
        grow();
    const std::size_t mask = m_slots.size() - 1;
    const Slot& k = line.key;
    for (std::size_t at = line.hash & mask;; at = (at + 1) & mask) {
        Slot& s = m_slots[at];
        if (s.group == 0) {
            Group n;
            n.day = k.day;
            n.vchType = k.vchType;
            n.date = line.date;
            n.outlet = k.outlet;
            n.product = k.product;
            m_groups.push_back(n);
            s = k;
            s.group = quint32(m_groups.size());
            return s.group - 1;
        }
        if (s.day == k.day && s.product == k.product && s.outlet == k.outlet && s.vchType == k.vchType)
            return s.group - 1;
    }
}

void DailySums::apply(const Update& u)
{
    Group& g = m_groups[u.group];
    ++g.lines;
    g.qty += u.sums.qty;
    g.total += u.sums.total;
    g.cost += u.sums.cost;
    g.qtyScale = std::max(g.qtyScale, u.sums.qtyScale);
    g.totalScale = std::max(g.totalScale, u.sums.totalScale);
    g.costScale = std::max(g.costScale, u.sums.costScale);
}

void DailySums::settle()
{
    if (m_update) {
        apply(m_pending);
        m_update = false;
    }
    if (m_inFlight) {
        apply(Update{lookUp(m_line), m_line.sums});
        m_inFlight = false;
    }
}

// Three steps a line apart: the line's slot is fetched, then found (its group fetched), then its
// group added to. Lines come far apart (each is read and checked in between), so the fetches of
// the two tables, too large for the cache, are done by the time they are read.
void DailySums::add(const SalesRow& line, bool withScales)
{
    if (!m_hasLastOutlet || line.id != m_lastOutletText) {
        m_lastOutlet = m_outlets.find(line.id, {});
        m_lastOutletText.assign(line.id);
        m_hasLastOutlet = true;
    }
    Line next;
    next.key.day = line.day.julian;
    next.key.outlet = m_lastOutlet;
    next.key.product = m_products.find(line.usercode, line.ptypename);
    next.key.vchType = line.vchType;
    next.hash = slotHash(next.key.day, next.key.outlet, next.key.product, next.key.vchType);
    next.date = line.day.text;
    next.sums.qty = line.qty;
    next.sums.total = line.total;
    next.sums.cost = line.cost;
    if (withScales) {
        next.sums.qtyScale = quint8(scaleOfMillionths(line.qty));
        next.sums.totalScale = quint8(scaleOfMillionths(line.total));
        next.sums.costScale = quint8(scaleOfMillionths(line.cost));
    }
    if (!m_slots.empty())
        __builtin_prefetch(&m_slots[next.hash & (m_slots.size() - 1)]);
    if (m_update)
        apply(m_pending);
    m_update = m_inFlight;
    if (m_inFlight) {
        m_pending = Update{lookUp(m_line), m_line.sums};
        __builtin_prefetch(&m_groups[m_pending.group]);
    }
    m_line = next;
    m_inFlight = true;
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
    m_groups.clear();
    m_outlets.clear();
    m_products.clear();
    m_hasLastOutlet = false;
    m_inFlight = m_update = false;
    std::fill(m_slots.begin(), m_slots.end(), Slot());
}

}  // namespace corvanta
