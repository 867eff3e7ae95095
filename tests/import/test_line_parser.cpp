// The byte rules of import files: line ends, Ctrl+Z, trimming, quotes, commas, kinds.
#include "base/Gbk.h"
#include "import/LineParser.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace corvanta;

namespace {

std::string writeTemp(const QTemporaryDir& dir, const std::string& bytes, const char* name = "f.txt")
{
    const std::string path = dir.path().toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::vector<std::string> readAll(const std::string& path, std::size_t buffer = 1 << 16, std::size_t maxLine = 1 << 20)
{
    ImportFileReader reader(buffer, maxLine);
    reader.open(path);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.nextLine(line))
        lines.emplace_back(line);
    EXPECT_EQ(reader.lineCount(), lines.size());
    return lines;
}

std::vector<std::string> fieldsOf(const SplitLine& s)
{
    std::vector<std::string> out;
    for (int i = 0; i < s.fieldCount; ++i)
        out.emplace_back(s.fields[i]);
    return out;
}

}  // namespace

TEST(ImportFileReader, LineEndsAndCtrlZ)
{
    QTemporaryDir dir;
    using V = std::vector<std::string>;
    // CR ends a line, an LF right after it belongs to the end, a lone LF stays in the text.
    EXPECT_EQ(readAll(writeTemp(dir, "h\r\na\rb\r\nc\nd\r\n")), (V{"h", "a", "b", "c\nd"}));
    // CR CR LF: an empty line between; no line after a final line end; a last line without one.
    EXPECT_EQ(readAll(writeTemp(dir, "h\r\r\nx")), (V{"h", "", "x"}));
    EXPECT_EQ(readAll(writeTemp(dir, "h\r\n\r\n")), (V{"h", ""}));
    EXPECT_EQ(readAll(writeTemp(dir, "\n")), (V{"\n"}));
    EXPECT_EQ(readAll(writeTemp(dir, "")), V{});
    // Ctrl+Z ends the file wherever it stands: mid-line, at a line start, right after CR.
    EXPECT_EQ(readAll(writeTemp(dir, "h\r\nab\x1A" "cd\r\nef\r\n")), (V{"h", "ab"}));
    EXPECT_EQ(readAll(writeTemp(dir, "h\r\n\x1A\r\nx")), (V{"h"}));
    EXPECT_EQ(readAll(writeTemp(dir, "h\r\x1A\nx")), (V{"h"}));
    EXPECT_EQ(readAll(writeTemp(dir, "\x1A")), V{});
}

TEST(ImportFileReader, BufferBoundariesDoNotChangeTheLines)
{
    QTemporaryDir dir;
    const std::string bytes = "head,er\r\n\r\na\nb\r\r\n" + std::string(40, 'x') + "\r\n\r\ny\r\n\rz\x1Atail";
    const std::string path = writeTemp(dir, bytes);
    const auto expected = readAll(path);
    ASSERT_EQ(expected, (std::vector<std::string>{"head,er", "", "a\nb", "", std::string(40, 'x'), "", "y", "", "z"}));
    for (std::size_t buffer = 1; buffer <= 12; ++buffer)
        EXPECT_EQ(readAll(path, buffer), expected) << "buffer " << buffer;
}

TEST(ImportFileReader, LongLinesAreCutAndFlaggedAndCountedOnce)
{
    QTemporaryDir dir;
    const std::string path = writeTemp(dir, "h\r\n" + std::string(100, 'a') + "\r\nshort\r\n" + std::string(10, 'b'));
    for (std::size_t buffer : {4u, 64u, 4096u}) {
        ImportFileReader reader(buffer, 10);
        reader.open(path);
        std::string_view line;
        std::vector<std::pair<std::string, bool>> got;
        while (reader.nextLine(line))
            got.emplace_back(std::string(line), reader.lastLineTooLong());
        ASSERT_EQ(got.size(), 4u) << buffer;
        EXPECT_EQ(got[1], std::make_pair(std::string(10, 'a'), true));
        EXPECT_EQ(got[2], std::make_pair(std::string("short"), false));
        EXPECT_EQ(got[3], std::make_pair(std::string(10, 'b'), false));  // exactly the limit is fine
    }
}

TEST(ImportFileReader, MissingFolderAndDigest)
{
    QTemporaryDir dir;
    ImportFileReader reader;
    EXPECT_THROW(reader.open(dir.path().toStdString() + "/none.txt"), ImportFileError);
    EXPECT_THROW(reader.open(dir.path().toStdString()), ImportFileError);
    EXPECT_FALSE(reader.isOpen());

    const std::string a = writeTemp(dir, "h\r\n1,2\r\n", "a.txt");
    const std::string b = writeTemp(dir, "h\r\n1,3\r\n", "b.txt");
    auto digestOf = [&](const std::string& p) {
        reader.open(p);
        std::string_view l;
        while (reader.nextLine(l)) {
        }
        return reader.digest();
    };
    EXPECT_EQ(digestOf(a), digestOf(a));
    EXPECT_NE(digestOf(a), digestOf(b));
}

TEST(LineSplitter, TrimQuotesCommasAndKinds)
{
    SplitLine s;
    // Trimming: bytes <= 32 (blank, tab, LF, other controls) at both ends only.
    EXPECT_EQ(TrimLine(" \t\n\x01" "a b\x1F "), "a b");
    EXPECT_EQ(TrimLine(" \t "), "");

    // A stock line: 8 commas, 9 fields; blanks around inner fields stay, the ends are trimmed.
    ASSERT_TRUE(SplitDataLine("  \tname, code ,std,type,unit,area,5,12.5,0001 \t", s));
    EXPECT_TRUE(s.isStock());
    EXPECT_EQ(ImportKind(), 8);
    EXPECT_EQ(fieldsOf(s), (std::vector<std::string>{"name", " code ", "std", "type", "unit", "area", "5", "12.5", "0001"}));

    // Quotes are dropped anywhere; empty fields are fine.
    ASSERT_TRUE(SplitDataLine("\"n\"a\"me\",\"\",,,,,2024-01-02,1,\"3\",4,0001,11", s));
    EXPECT_TRUE(s.isSales());
    EXPECT_EQ(ImportKind(), 11);
    EXPECT_EQ(fieldsOf(s), (std::vector<std::string>{"name", "", "", "", "", "", "2024-01-02", "1", "3", "4", "0001", "11"}));
    EXPECT_EQ(s.joined, "name,,,,,,2024-01-02,1,3,4,0001,11");

    // A quoted comma still splits: 9 commas, the line fails and the kind says 9.
    EXPECT_FALSE(SplitDataLine("\"a,b\",c,s,t,u,ar,5,12,0001", s));
    EXPECT_EQ(ImportKind(), 9);
    // 10 and 12 commas fail; fields past the 12th are thrown away; the kind counts every comma.
    EXPECT_FALSE(SplitDataLine("1,2,3,4,5,6,7,8,9,10,11", s));
    EXPECT_EQ(ImportKind(), 10);
    EXPECT_FALSE(SplitDataLine("1,2,3,4,5,6,7,8,9,10,11,12,13,14", s));
    EXPECT_EQ(ImportKind(), 13);
    EXPECT_EQ(s.fieldCount, 12);
    EXPECT_EQ(s.fields[11], "12");
    EXPECT_EQ(s.joined, "1,2,3,4,5,6,7,8,9,10,11,12");
    // A line of blanks only fails with the kind set back to 0.
    EXPECT_FALSE(SplitDataLine("   \t ", s));
    EXPECT_EQ(ImportKind(), 0);
    // No comma at all.
    EXPECT_FALSE(SplitDataLine("abc", s));
    EXPECT_EQ(ImportKind(), 0);
    // A lone LF inside the line stays in its field.
    ASSERT_TRUE(SplitDataLine("a\nb,2,3,4,5,6,7,8,9", s));
    EXPECT_EQ(s.fields[0], "a\nb");
}

TEST(LineSplitter, ChineseBytesPassUnchanged)
{
    SplitLine s;
    const QByteArray name = gbk::encode(QStringLiteral("康师傅红烧牛肉面"));
    const QByteArray unit = gbk::encode(QStringLiteral("箱"));
    const std::string line = name.toStdString() + ",690123,120g*24,红烧," + unit.toStdString() + ",天津,3,48.00,0002";
    ASSERT_TRUE(SplitDataLine(line, s));
    EXPECT_EQ(std::string(s.fields[0]), name.toStdString());
    EXPECT_EQ(std::string(s.fields[4]), unit.toStdString());
}

TEST(LineBytesCheck, NulAndGbkStructure)
{
    using namespace std::string_literals;
    EXPECT_EQ(CheckLineBytes("abc,1"), LineBytes::Ok);
    EXPECT_EQ(CheckLineBytes(gbk::encode(QStringLiteral("中文，€¥")).toStdString()), LineBytes::Ok);
    EXPECT_EQ(CheckLineBytes("\x81\x30\x81\x30"), LineBytes::Ok);  // four-byte form
    EXPECT_EQ(CheckLineBytes("a\0b"s), LineBytes::NulByte);
    EXPECT_EQ(CheckLineBytes("\xB0\x30x"), LineBytes::InvalidGbk);  // lead byte with a bad trail
    EXPECT_EQ(CheckLineBytes("ab\xB0"), LineBytes::InvalidGbk);     // lead byte at the end
    EXPECT_EQ(CheckLineBytes("\x80"), LineBytes::InvalidGbk);
    EXPECT_EQ(CheckLineBytes("\xFF" "a"), LineBytes::InvalidGbk);
    EXPECT_EQ(CheckLineBytes("\xFF\0"s), LineBytes::NulByte);  // a NUL says more than bad GBK
}
