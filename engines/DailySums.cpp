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

void DailySums::grow()
{
    growSlots(m_slots, 1024);
}

void DailySums::add(const SalesRow& line, bool withScales)
{
    if ((m_groups.size() + 1) * 2 > m_slots.size())
        grow();
    if (!m_hasLastOutlet || line.id != m_lastOutletText) {
        m_lastOutlet = m_outlets.find(line.id, {});
        m_lastOutletText.assign(line.id);
        m_hasLastOutlet = true;
    }
    const quint32 outlet = m_lastOutlet;
    const quint32 product = m_products.find(line.usercode, line.ptypename);
    const quint32 hash = mix(((std::size_t(line.day.julian) * 0x9e3779b97f4a7c15ull + outlet) * 0x9e3779b97f4a7c15ull +
                              product) * 0x9e3779b97f4a7c15ull + std::size_t(line.vchType));
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = hash & mask;
    Group* g = nullptr;
    for (;; at = (at + 1) & mask) {
        const quint64 s = m_slots[at];
        if (s == 0)
            break;
        if (quint32(s >> 32) != hash)
            continue;
        Group& c = m_groups[std::size_t(quint32(s)) - 1];
        if (c.day == line.day.julian && c.product == product && c.outlet == outlet && c.vchType == line.vchType) {
            g = &c;
            break;
        }
    }
    if (!g) {
        Group n;
        n.day = line.day.julian;
        n.vchType = line.vchType;
        n.date = line.day.text;
        n.outlet = outlet;
        n.product = product;
        m_groups.push_back(n);
        m_slots[at] = (quint64(hash) << 32) | quint64(m_groups.size());
        g = &m_groups.back();
    }
    g->qty += line.qty;
    g->total += line.total;
    g->cost += line.cost;
    if (withScales) {
        g->qtyScale = std::max(g->qtyScale, quint8(scaleOfMillionths(line.qty)));
        g->totalScale = std::max(g->totalScale, quint8(scaleOfMillionths(line.total)));
        g->costScale = std::max(g->costScale, quint8(scaleOfMillionths(line.cost)));
    }
}

std::vector<const DailySums::Group*> DailySums::sorted() const
{
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
    std::fill(m_slots.begin(), m_slots.end(), 0);
}

}  // namespace corvanta
