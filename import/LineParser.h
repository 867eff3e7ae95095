#pragma once
// Outlet import files, on bytes: the streaming line reader and the splitter that cuts one data
// line into its fields. No Qt here; the bytes are GBK and are only decoded after the split.
//
// File format: a line ends at CR (an LF right after it belongs to the line end; a lone LF stays
// in the line's text); a file without any CR but with LF has its lines end at LF instead; a file
// that begins with a UTF-8 byte-order mark is UTF-8, else GBK; a Ctrl+Z byte ends the file wherever it stands. Line 1 is a header and is
// never parsed; empty lines are skipped. A data line is trimmed of bytes <= 32 at both ends,
// double quotes are dropped anywhere, every comma ends a field (quotes do not protect it).
// 11 commas make a sales line (12 fields), 8 a stock line (9 fields); any other count fails.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

constexpr int kSalesCommas = 11;
constexpr int kStockCommas = 8;
constexpr int kSalesFieldCount = 12;
constexpr int kStockFieldCount = 9;

// Field positions of a sales line, in file order. Note cost (9) before amount (10), outlet (11)
// before document type (12).
enum SalesField {
    SalesPtypeName, SalesUserCode, SalesStandard, SalesType, SalesUnit, SalesArea,
    SalesDate, SalesQty, SalesCostTotal, SalesTotal, SalesId, SalesVchType,
};
// Field positions of a stock line, in file order.
enum StockField {
    StockPtypeName, StockUserCode, StockStandard, StockType, StockUnit, StockArea,
    StockKcQty, StockKcTotal, StockId,
};

// The comma count of the last data line the splitter examined. Program-wide and never reset
// between runs: after a good run it is 11 or 8 and chooses the consolidation.
int ImportKind();
void SetImportKind(int kind);

// The line without the bytes of value 32 or below at its two ends.
std::string_view TrimLine(std::string_view line);

// One data line cut into its fields (bytes, quotes removed).
struct SplitLine {
    int commas = 0;      // commas in the trimmed line (also those past the 12th field)
    int fieldCount = 0;  // fields kept: at most 12
    // The kept fields back to back, separated by one comma each: decoding this once and cutting
    // it at its commas gives the same fields as decoding each one (GBK trail bytes are never
    // a comma or a quote).
    std::string joined;
    std::array<std::string_view, kSalesFieldCount> fields{};

    bool isSales() const { return commas == kSalesCommas; }
    bool isStock() const { return commas == kStockCommas; }
};

// Splits one data line (untrimmed, as the reader serves it). Sets the import kind to 0 and then
// to the line's comma count. False for a line of blanks only and for a comma count other than
// 11 or 8 (out then holds what was scanned).
bool SplitDataLine(std::string_view line, SplitLine& out);

// Byte problems that make a data line unusable before anything is sent.
enum class LineBytes { Ok, NulByte, InvalidGbk };
// Looks for NUL bytes (a binary file) and for byte sequences that cannot be GBK/GB18030 text
// (lead 0x81-0xFE followed by 0x40-0x7E/0x80-0xFE, or the four-byte form 8x 3x 8x 3x).
// at, when given, receives the offset of the first offending byte.
LineBytes CheckLineBytes(std::string_view line, std::size_t* at = nullptr);

// A file that cannot be opened or read.
class ImportFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Serves the lines of an import file with large buffered reads: memory stays at one buffer and
// at most one long line, whatever the file size.
class ImportFileReader {
public:
    static constexpr std::size_t kDefaultBufferBytes = std::size_t(1) << 20;
    // A longer line is served cut to this length and flagged: it cannot be a sound data line,
    // and holding it whole would let one line take any amount of memory.
    static constexpr std::size_t kDefaultMaxLineBytes = std::size_t(1) << 20;

    explicit ImportFileReader(std::size_t bufferBytes = kDefaultBufferBytes,
                              std::size_t maxLineBytes = kDefaultMaxLineBytes);
    ~ImportFileReader();
    ImportFileReader(const ImportFileReader&) = delete;
    ImportFileReader& operator=(const ImportFileReader&) = delete;

    // Opens the file at its start (again, when already open). Throws ImportFileError naming the
    // file for a missing file, a folder or one that cannot be opened.
    void open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    // Lines end at LF instead of CR (kept across opens): for a file with LF line ends and no CR.
    void setLfLines(bool lf) { m_eol = lf ? '\n' : '\r'; }
    bool lfLines() const { return m_eol == '\n'; }
    // Since open: whether the bytes read held a CR / an LF.
    bool sawCr() const { return m_sawCr; }
    bool sawLf() const { return m_sawLf; }
    // The file began with a UTF-8 byte-order mark (not served): its text is UTF-8, not GBK.
    bool utf8() const { return m_utf8; }

    // The next line without its line end; false at the end of the file (its last byte or a
    // Ctrl+Z). The view stays valid until the next call. Throws ImportFileError on a read error.
    bool nextLine(std::string_view& line);
    // The line last served was longer than the limit (and was cut).
    bool lastLineTooLong() const { return m_tooLong; }
    // Lines served since open.
    std::uint64_t lineCount() const { return m_lines; }
    // A digest of the bytes read since open: two passes over an unchanged file give the same.
    std::uint64_t digest() const { return m_digest; }
    std::size_t maxLineBytes() const { return m_maxLine; }

private:
    bool fill();
    void appendBounded(const char* from, std::size_t n);

    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    std::vector<char> m_buf;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::size_t m_maxLine;
    std::string m_line;  // a line that runs over a buffer boundary
    bool m_eof = false;
    bool m_stopped = false;
    bool m_skipLf = false;
    bool m_tooLong = false;
    bool m_sawCr = false;
    bool m_sawLf = false;
    bool m_utf8 = false;
    char m_eol = '\r';
    std::uint64_t m_lines = 0;
    std::uint64_t m_digest = 0;
};

}  // namespace corvanta
