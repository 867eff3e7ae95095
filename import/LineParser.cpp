#include "import/LineParser.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace corvanta {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kCtrlZ = '\x1A';

int g_importKind = 0;

inline bool isTrimmed(unsigned char c) { return c <= 32; }

std::string pathText(const std::filesystem::path& path)
{
    const auto u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace

int ImportKind() { return g_importKind; }
void SetImportKind(int kind) { g_importKind = kind; }

std::string_view TrimLine(std::string_view line)
{
    std::size_t b = 0, e = line.size();
    while (b < e && isTrimmed(static_cast<unsigned char>(line[b])))
        ++b;
    while (e > b && isTrimmed(static_cast<unsigned char>(line[e - 1])))
        --e;
    return line.substr(b, e - b);
}

bool SplitDataLine(std::string_view line, SplitLine& out)
{
    g_importKind = 0;
    out.commas = 0;
    out.fieldCount = 0;
    out.joined.clear();
    out.fields.fill(std::string_view());
    const std::string_view text = TrimLine(line);
    if (text.empty())
        return false;

    // Offsets first: joined may reallocate while it grows.
    std::array<std::size_t, kSalesFieldCount> starts{};
    std::array<std::size_t, kSalesFieldCount> ends{};
    int field = 0;  // the field being filled; 12 once a 12th comma has ended the last kept one
    out.joined.resize(text.size());
    char* const base = out.joined.data();
    char* w = base;
    for (char c : text) {
        if (c == ',') {
            ++g_importKind;
            ++out.commas;
            if (field < kSalesFieldCount) {
                ends[field] = std::size_t(w - base);
                ++field;
                if (field < kSalesFieldCount) {
                    *w++ = ',';
                    starts[field] = std::size_t(w - base);
                }
            }
        } else if (c != '"' && field < kSalesFieldCount) {
            *w++ = c;
        }
    }
    out.joined.resize(std::size_t(w - base));
    if (field < kSalesFieldCount)
        ends[field] = out.joined.size();
    out.fieldCount = (out.commas < kSalesFieldCount - 1 ? out.commas : kSalesFieldCount - 1) + 1;
    const std::string_view all(out.joined);
    for (int i = 0; i < out.fieldCount; ++i)
        out.fields[i] = all.substr(starts[i], ends[i] - starts[i]);
    return out.isSales() || out.isStock();
}

LineBytes CheckLineBytes(std::string_view line, std::size_t* at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const std::size_t n = line.size();
    LineBytes result = LineBytes::Ok;
    for (std::size_t i = 0; i < n;) {
        // Eight ASCII bytes without NUL at a time: each is a character of its own.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if ((w & 0x8080808080808080ull) != 0 || ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c == 0) {
                if (at)
                    *at = i;
                return LineBytes::NulByte;
            }
            ++i;
            continue;
        }
        if (c == 0x80 || c == 0xFF) {
            if (at && result == LineBytes::Ok)
                *at = i;
            result = LineBytes::InvalidGbk;
            ++i;
            continue;
        }
        if (i + 1 < n) {
            const unsigned char t = p[i + 1];
            if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFE)) {
                i += 2;
                continue;
            }
            if (t >= 0x30 && t <= 0x39 && i + 3 < n && p[i + 2] >= 0x81 && p[i + 2] <= 0xFE && p[i + 3] >= 0x30
                && p[i + 3] <= 0x39) {
                i += 4;
                continue;
            }
        }
        if (at && result == LineBytes::Ok)
            *at = i;
        result = LineBytes::InvalidGbk;
        ++i;  // keep looking: a NUL further on makes it a binary file, which says more
    }
    return result;
}

ImportFileReader::ImportFileReader(std::size_t bufferBytes, std::size_t maxLineBytes)
    : m_buf(bufferBytes ? bufferBytes : 1), m_maxLine(maxLineBytes)
{
}

ImportFileReader::~ImportFileReader()
{
    close();
}

void ImportFileReader::open(const std::filesystem::path& path)
{
    close();
    m_path = path;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        throw ImportFileError("导入文件不存在：" + pathText(path));
    if (std::filesystem::is_directory(status))
        throw ImportFileError("导入文件是一个文件夹，不是文件：" + pathText(path));
    // A device or a FIFO could be read forever or block without a writer.
    if (!std::filesystem::is_regular_file(status))
        throw ImportFileError("导入文件不是普通文件，不能导入：" + pathText(path));
#ifdef _WIN32
    m_file = ::_wfopen(path.c_str(), L"rb");
#else
    m_file = std::fopen(path.c_str(), "rb");
#endif
    if (!m_file)
        throw ImportFileError("无法打开导入文件：" + pathText(path) + "（" + std::strerror(errno) + "）");
    m_pos = m_end = 0;
    m_eof = m_stopped = m_skipLf = m_tooLong = m_sawCr = m_sawLf = false;
    unsigned char bom[3] = {};
    m_utf8 = std::fread(bom, 1, 3, m_file) == 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF;
    if (!m_utf8)
        std::rewind(m_file);
    m_lines = 0;
    m_digest = 0xcbf29ce484222325ull;
    m_line.clear();
    m_line.shrink_to_fit();
}

void ImportFileReader::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_line.clear();
    m_line.shrink_to_fit();
}

bool ImportFileReader::fill()
{
    if (m_pos < m_end)
        return true;
    if (m_eof || !m_file)
        return false;
    const std::size_t n = std::fread(m_buf.data(), 1, m_buf.size(), m_file);
    if (n == 0) {
        if (std::ferror(m_file))
            throw ImportFileError("读取导入文件出错：" + pathText(m_path) + "（" + std::strerror(errno) + "）");
        m_eof = true;
        return false;
    }
    // A word-wise multiply-xor digest: cheap next to the reading itself.
    std::uint64_t h = m_digest;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, m_buf.data() + i, 8);
        h = (h ^ w) * 0x100000001b3ull;
        h ^= h >> 29;
    }
    for (; i < n; ++i)
        h = (h ^ static_cast<unsigned char>(m_buf[i])) * 0x100000001b3ull;
    m_digest = h ^ n;
    if (!m_sawCr)
        m_sawCr = std::memchr(m_buf.data(), kCr, n) != nullptr;
    if (!m_sawLf)
        m_sawLf = std::memchr(m_buf.data(), kLf, n) != nullptr;
    m_pos = 0;
    m_end = n;
    return true;
}

void ImportFileReader::appendBounded(const char* from, std::size_t n)
{
    const std::size_t room = m_line.size() < m_maxLine ? m_maxLine - m_line.size() : 0;
    if (n > room) {
        m_tooLong = true;
        n = room;
    }
    m_line.append(from, n);
}

bool ImportFileReader::nextLine(std::string_view& line)
{
    if (m_stopped || !m_file)
        return false;
    if (m_skipLf) {
        if (!fill()) {
            m_stopped = true;
            return false;
        }
        if (m_buf[m_pos] == kLf)
            ++m_pos;
        m_skipLf = false;
    }
    if (!fill() || m_buf[m_pos] == kCtrlZ) {
        m_stopped = true;
        return false;
    }

    m_tooLong = false;
    bool spanning = false;
    m_line.clear();
    for (;;) {
        const char* begin = m_buf.data() + m_pos;
        const char* end = m_buf.data() + m_end;
        // The line end, or a Ctrl+Z before it (both searched with the C library's memchr).
        const char* p = static_cast<const char*>(std::memchr(begin, m_eol, std::size_t(end - begin)));
        if (!p)
            p = end;
        if (const void* z = std::memchr(begin, kCtrlZ, std::size_t(p - begin)))
            p = static_cast<const char*>(z);
        if (p != end) {
            const std::size_t len = std::size_t(p - begin);
            m_pos += len;
            if (*p == m_eol && m_eol == kLf) {
                ++m_pos;
            } else if (*p == kCr) {
                ++m_pos;
                m_skipLf = true;
                if (m_pos < m_end) {
                    if (m_buf[m_pos] == kLf)
                        ++m_pos;
                    m_skipLf = false;
                }
            }
            // A Ctrl+Z stays where it is: the next call sees it and ends the file.
            if (spanning) {
                appendBounded(begin, len);
                line = m_line;
            } else if (len > m_maxLine) {
                m_tooLong = true;
                line = std::string_view(begin, m_maxLine);
            } else {
                line = std::string_view(begin, len);
            }
            ++m_lines;
            return true;
        }
        appendBounded(begin, std::size_t(end - begin));
        spanning = true;
        m_pos = m_end;
        if (!fill()) {
            line = m_line;
            ++m_lines;
            return true;
        }
    }
}

}  // namespace corvanta
