#include "engines/postgresql/SumRuns.h"

#include "engines/Engine.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <string>

namespace corvanta {

namespace {

// A run's record: this head, then the outlet, code and name bytes.
struct Head {
    Wide qty, total, cost;
    qint64 day;
    quint64 lines;
    qint32 vchType;
    quint32 idLen, codeLen, nameLen;
    quint8 qtyScale, totalScale, costScale;
};

constexpr qsizetype kWriteChunk = 1 << 20;
// More runs than this are merged into one first: each run open while merging is a descriptor.
constexpr std::size_t kMaxRuns = 64;
constexpr qsizetype kReadChunk = 1 << 16;

int compareKeys(const SumView& a, const SumView& b)
{
    if (a.day != b.day)
        return a.day < b.day ? -1 : 1;
    if (const int c = a.id.compare(b.id))
        return c;
    if (const int c = a.usercode.compare(b.usercode))
        return c;
    if (const int c = a.ptypename.compare(b.ptypename))
        return c;
    return a.vchType == b.vchType ? 0 : (a.vchType < b.vchType ? -1 : 1);
}

SumView viewOf(const DailySums& sums, const DailySums::Group& g)
{
    SumView v;
    v.day = g.day;
    v.id = sums.id(g);
    v.usercode = sums.usercode(g);
    v.ptypename = sums.ptypename(g);
    v.vchType = g.vchType;
    v.lines = g.lines;
    v.qty = g.qty;
    v.total = g.total;
    v.cost = g.cost;
    v.qtyScale = g.qtyScale;
    v.totalScale = g.totalScale;
    v.costScale = g.costScale;
    return v;
}

// Where the merge takes the next group from: a run in the file, or the groups still held.
class Cursor {
public:
    virtual ~Cursor() = default;
    bool valid() const { return m_valid; }
    const SumView& current() const { return m_current; }
    virtual void advance() = 0;

protected:
    SumView m_current;
    bool m_valid = false;
};

class HeldCursor final : public Cursor {
public:
    HeldCursor(const DailySums& sums, std::vector<const DailySums::Group*> groups)
        : m_sums(sums), m_groups(std::move(groups))
    {
        advance();
    }
    void advance() override
    {
        m_valid = m_next < m_groups.size();
        if (m_valid)
            m_current = viewOf(m_sums, *m_groups[m_next++]);
    }

private:
    const DailySums& m_sums;
    std::vector<const DailySums::Group*> m_groups;
    std::size_t m_next = 0;
};

class RunCursor final : public Cursor {
public:
    RunCursor(const QString& path, qint64 at, qint64 bytes) : m_file(path), m_left(bytes)
    {
        if (!m_file.open(QIODevice::ReadOnly) || !m_file.seek(at))
            fail();
        advance();
    }
    void advance() override
    {
        m_valid = false;
        if (m_used == m_buffer.size() && m_left == 0)
            return;
        if (!have(sizeof(Head)))
            fail();
        Head h;
        std::memcpy(&h, m_buffer.data() + m_used, sizeof h);
        const std::size_t texts = std::size_t(h.idLen) + h.codeLen + h.nameLen;
        if (!have(sizeof(Head) + texts))
            fail();
        const char* t = m_buffer.data() + m_used + sizeof(Head);
        m_current.day = h.day;
        m_current.id = std::string_view(t, h.idLen);
        m_current.usercode = std::string_view(t + h.idLen, h.codeLen);
        m_current.ptypename = std::string_view(t + h.idLen + h.codeLen, h.nameLen);
        m_current.vchType = h.vchType;
        m_current.lines = h.lines;
        m_current.qty = h.qty;
        m_current.total = h.total;
        m_current.cost = h.cost;
        m_current.qtyScale = h.qtyScale;
        m_current.totalScale = h.totalScale;
        m_current.costScale = h.costScale;
        m_used += sizeof(Head) + texts;
        m_valid = true;
    }

private:
    // At least n unread bytes in the buffer (the current record's texts move with them).
    bool have(std::size_t n)
    {
        if (m_buffer.size() - m_used >= n)
            return true;
        m_buffer.erase(0, m_used);
        m_used = 0;
        while (m_buffer.size() < n && m_left > 0) {
            const qint64 want = std::min<qint64>(m_left, std::max<qint64>(kReadChunk, qint64(n)));
            const std::size_t was = m_buffer.size();
            m_buffer.resize(was + std::size_t(want));
            const qint64 got = m_file.read(m_buffer.data() + was, want);
            if (got <= 0)
                fail();
            m_buffer.resize(was + std::size_t(got));
            m_left -= got;
        }
        return m_buffer.size() >= n;
    }
    [[noreturn]] void fail()
    {
        throw DbError(QStringLiteral("The summary's temporary file %1 cannot be read back: %2")
                          .arg(m_file.fileName(), m_file.errorString()));
    }

    QFile m_file;
    qint64 m_left;
    std::string m_buffer;
    std::size_t m_used = 0;
};

void appendRecord(std::string& out, const SumView& v)
{
    Head h{};
    h.qty = v.qty;
    h.total = v.total;
    h.cost = v.cost;
    h.day = v.day;
    h.lines = v.lines;
    h.vchType = v.vchType;
    h.idLen = quint32(v.id.size());
    h.codeLen = quint32(v.usercode.size());
    h.nameLen = quint32(v.ptypename.size());
    h.qtyScale = v.qtyScale;
    h.totalScale = v.totalScale;
    h.costScale = v.costScale;
    out.append(reinterpret_cast<const char*>(&h), sizeof h);
    out.append(v.id).append(v.usercode).append(v.ptypename);
}

// The groups of the cursors in key order, equal keys summed.
void mergeCursors(std::vector<std::unique_ptr<Cursor>>& cursors, const std::function<void(const SumView&)>& each)
{
    // A heap of the cursors with a group left, the smallest key on top.
    std::vector<Cursor*> heap;
    for (const auto& c : cursors)
        if (c->valid())
            heap.push_back(c.get());
    auto later = [](const Cursor* a, const Cursor* b) { return compareKeys(a->current(), b->current()) > 0; };
    std::make_heap(heap.begin(), heap.end(), later);

    SumView sum;
    std::string id, code, name;  // the texts of sum, which outlive the cursor they came from
    bool open = false;
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        Cursor* c = heap.back();
        const SumView& v = c->current();
        if (open && compareKeys(sum, v) == 0) {
            sum.lines += v.lines;
            sum.qty += v.qty;
            sum.total += v.total;
            sum.cost += v.cost;
            sum.qtyScale = std::max(sum.qtyScale, v.qtyScale);
            sum.totalScale = std::max(sum.totalScale, v.totalScale);
            sum.costScale = std::max(sum.costScale, v.costScale);
        } else {
            if (open)
                each(sum);
            sum = v;
            id.assign(v.id);
            code.assign(v.usercode);
            name.assign(v.ptypename);
            sum.id = id;
            sum.usercode = code;
            sum.ptypename = name;
            open = true;
        }
        c->advance();
        if (c->valid())
            std::push_heap(heap.begin(), heap.end(), later);
        else
            heap.pop_back();
    }
    if (open)
        each(sum);
}

}  // namespace

SumRuns::SumRuns() = default;
SumRuns::~SumRuns() = default;

std::unique_ptr<QTemporaryFile> SumRuns::newFile()
{
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/corvanta-sums-XXXXXX"));
    if (!file->open())
        throw DbError(QStringLiteral("No temporary file for the summary of the import in %1: %2")
                          .arg(QDir::tempPath(), file->errorString()));
    return file;
}

// Appends the groups that fill puts into its string to the end of file, as one run.
SumRuns::Run SumRuns::writeRun(QTemporaryFile& file, qint64 at,
                               const std::function<void(const std::function<void(const SumView&)>&)>& fill)
{
    auto fail = [&file] {
        throw DbError(QStringLiteral("The summary of the import could not be written to a temporary file in %1: %2")
                          .arg(QDir::tempPath(), file.errorString()));
    };
    if (!file.seek(at))
        fail();
    std::string out;
    out.reserve(std::size_t(kWriteChunk) + 4096);
    qint64 bytes = 0;
    auto flush = [&] {
        if (file.write(out.data(), qint64(out.size())) != qint64(out.size()))
            fail();
        bytes += qint64(out.size());
        out.clear();
    };
    fill([&](const SumView& v) {
        appendRecord(out, v);
        if (qsizetype(out.size()) >= kWriteChunk)
            flush();
    });
    flush();
    if (!file.flush())
        fail();
    return {at, bytes};
}

void SumRuns::write(DailySums& sums)
{
    if (sums.empty())
        return;
    try {
        if (!m_file)
            m_file = newFile();
        const Run run = writeRun(*m_file, m_end, [&sums](const std::function<void(const SumView&)>& put) {
            for (const DailySums::Group* g : sums.sorted())
                put(viewOf(sums, *g));
        });
        m_runs.push_back(run);
        m_end += run.bytes;
        sums.clear();
        if (m_runs.size() >= kMaxRuns) {  // into one run of a new file
            std::unique_ptr<QTemporaryFile> merged = newFile();
            std::vector<std::unique_ptr<Cursor>> cursors;
            for (const Run& r : m_runs)
                cursors.push_back(std::make_unique<RunCursor>(m_file->fileName(), r.at, r.bytes));
            const Run all = writeRun(*merged, 0, [&cursors](const std::function<void(const SumView&)>& put) {
                mergeCursors(cursors, put);
            });
            cursors.clear();
            m_file = std::move(merged);
            m_runs = {all};
            m_end = all.bytes;
        }
    } catch (const DbError&) {
        clear();
        throw;
    }
}

void SumRuns::merge(DailySums& sums, const std::function<void(const SumView&)>& each)
{
    std::vector<std::unique_ptr<Cursor>> cursors;
    for (const Run& r : m_runs)
        cursors.push_back(std::make_unique<RunCursor>(m_file->fileName(), r.at, r.bytes));
    cursors.push_back(std::make_unique<HeldCursor>(sums, sums.sorted()));
    mergeCursors(cursors, each);
    cursors.clear();
    clear();
    sums.clear();
}

void SumRuns::clear()
{
    m_file.reset();
    m_runs.clear();
    m_end = 0;
}

}  // namespace corvanta
