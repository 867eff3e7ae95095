// The dBASE III table object: file layout byte for byte, refusals and their messages.
#include "dbf/DBF.h"
#include "base/Gbk.h"
#include "tests/dbf/DbfTestUtil.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <sys/resource.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kCaption = QStringLiteral("D提示信息");

std::string local(const QString& s)
{
    return QFile::encodeName(s).toStdString();
}

// Creates data/T.DBF with fields of widths 10, 20 and 5.
QString makeThreeFieldTable(DATABASEFILE& db, const TempProgramDir& dir)
{
    const QString path = dir.dataDir() + QStringLiteral("/T.DBF");
    EXPECT_TRUE(db.f_new(path));
    db.f_addfield("CODE", 'c', 0, 10);
    db.f_addfield("ABCDEFGHIJKL", 'C', 0, 20);  // 12 bytes: stored as 10
    db.f_addfield(QStringLiteral("网点编号"), 'C', 0, 5);  // 8 GBK bytes: stored whole
    return path;
}

}  // namespace

TEST(Dbf, CreateAddFieldsAppendLayout)
{
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE db(&msgs);
    EXPECT_EQ(db.path(), "NOT OPEN");
    EXPECT_EQ(db.status(), 0);

    const QString path = dir.dataDir() + QStringLiteral("/T.DBF");
    ASSERT_TRUE(db.f_new(path));
    QByteArray b = readAll(path);
    ASSERT_EQ(b.size(), 34);
    EXPECT_EQ(u8(b, 0), 3u);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    EXPECT_EQ(u8(b, 1), unsigned((tm.tm_year + 1900) % 100));
    EXPECT_EQ(u8(b, 2), unsigned(tm.tm_mon + 1));
    EXPECT_EQ(u8(b, 3), unsigned(tm.tm_mday));
    EXPECT_EQ(le16(b, 8), 33u);
    EXPECT_EQ(le16(b, 10), 1u);
    EXPECT_EQ(u8(b, 32), 0x0Du);
    EXPECT_EQ(u8(b, 33), 0x1Au);

    makeThreeFieldTable(db, dir);
    b = readAll(path);
    ASSERT_EQ(b.size(), 130);
    EXPECT_EQ(u8(b, 0), 3u);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le16(b, 8), 129u);
    EXPECT_EQ(le16(b, 10), 36u);
    EXPECT_EQ(b.mid(12, 20), QByteArray(20, '\0'));
    EXPECT_EQ(u8(b, 128), 0x0Du);
    EXPECT_EQ(u8(b, 129), 0x1Au);
    EXPECT_EQ(fieldName(b, 0), "CODE");
    EXPECT_EQ(u8(b, 32 + 11), unsigned('C'));  // type letter upper-cased
    EXPECT_EQ(u8(b, 32 + 16), 10u);
    EXPECT_EQ(fieldName(b, 1), "ABCDEFGHIJ");
    EXPECT_EQ(u8(b, 64 + 10), 0u);
    EXPECT_EQ(u8(b, 64 + 16), 20u);
    EXPECT_EQ(fieldName(b, 2), gbk::encode(QStringLiteral("网点编号")));
    EXPECT_EQ(u8(b, 96 + 16), 5u);
    EXPECT_EQ(u8(b, 96 + 17), 0u);

    // Opened under another spelling of its name; the first append pre-writes 1000 records.
    ASSERT_EQ(db.f_open(local(dir.dataDir()), "t.dbf", "readwrite"), 0);
    EXPECT_TRUE(db.isOpen());
    EXPECT_EQ(db.FieldCount(), 3);
    int offset = 0;
    EXPECT_EQ(db.FieldNoLength(2, &offset), 20);
    EXPECT_EQ(offset, 11);
    EXPECT_EQ(db.FieldNoLength(4), -1);
    EXPECT_EQ(db.status(), DbfStatus::NoField);
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + path + QStringLiteral("字段不存在4!"));
    msgs.messages.clear();
    ASSERT_TRUE(db.f_appendblank());
    EXPECT_EQ(db.RecCount(), 1);
    EXPECT_EQ(db.Recno(), 1);
    EXPECT_TRUE(db.ReplaceNoString(1, "ABCDEFGHIJKLMN"));           // cut at 10 bytes
    EXPECT_TRUE(db.ReplaceNoString(2, ""));                         // blanks only
    EXPECT_TRUE(db.ReplaceNoString(3, QStringLiteral("中文字")));    // 6 bytes cut at 5
    EXPECT_EQ(db.f_Close(), 1);
    EXPECT_EQ(db.path(), "NOT OPEN");

    b = readAll(path);
    ASSERT_EQ(b.size(), 129 + 1000 * 36);
    EXPECT_EQ(le32(b, 4), 1u);
    const QByteArray rec = b.mid(129, 36);
    EXPECT_EQ(rec.left(11), QByteArray(" ABCDEFGHIJ"));
    EXPECT_EQ(rec.mid(11, 20), QByteArray(20, ' '));
    EXPECT_EQ(rec.mid(31, 5), gbk::encode(QStringLiteral("中文字")).left(5));
    EXPECT_EQ(u8(b, 165), 0x1Au);
    EXPECT_EQ(b.mid(166), QByteArray(36129 - 166, ' '));

    // A second append writes in place and moves the end mark; the file does not grow.
    ASSERT_EQ(db.f_open(local(dir.dataDir()), "T.DBF", "readwrite"), 0);
    EXPECT_EQ(db.Recno(), 1);
    ASSERT_TRUE(db.f_appendblank());
    EXPECT_TRUE(db.ReplaceNoString(1, "X"));
    EXPECT_EQ(db.f_Close(), 1);
    b = readAll(path);
    EXPECT_EQ(b.size(), 36129);
    EXPECT_EQ(le32(b, 4), 2u);
    EXPECT_EQ(b.mid(165, 11), QByteArray(" X         "));
    EXPECT_EQ(u8(b, 201), 0x1Au);
    EXPECT_EQ(b.mid(129, 11), QByteArray(" ABCDEFGHIJ"));

    EXPECT_TRUE(msgs.messages.empty()) << msgs.texts().join(QLatin1Char('\n')).toStdString();
}

TEST(Dbf, RefusalsShowTheirMessages)
{
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE db;
    db.setMessages(&msgs);
    const QString path = makeThreeFieldTable(db, dir);
    const QByteArray before = readAll(path);

    // A field added while a table is open changes nothing.
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), 0);
    db.f_addfield("MORE", 'C', 0, 4);
    EXPECT_EQ(db.status(), DbfStatus::AlreadyOpen);
    EXPECT_EQ(db.statusText(), "File has been opened");
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(msgs.messages[0].caption, kCaption);
    EXPECT_EQ(msgs.messages[0].buttons, QStringLiteral("myok"));
    EXPECT_EQ(msgs.messages[0].icon, QString());
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + path + QStringLiteral("已经打开f_addfield,line_1465!"));
    // A second open of an open engine is refused and leaves the table as it is.
    EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), -5);
    EXPECT_TRUE(db.isOpen());
    EXPECT_EQ(QString::fromStdString(db.path()), path);
    // Field numbers outside the table.
    EXPECT_FALSE(db.ReplaceNoString(4, "x"));
    EXPECT_EQ(msgs.messages.back().text, QStringLiteral("文件") + path + QStringLiteral("字段不存在4!"));
    EXPECT_FALSE(db.ReplaceNoString(0, "x"));
    EXPECT_EQ(db.status(), DbfStatus::NoField);
    EXPECT_EQ(db.f_Close(), 1);
    EXPECT_EQ(readAll(path), before);

    // Closing or appending with nothing open.
    msgs.messages.clear();
    EXPECT_EQ(db.f_Close(), 0);
    EXPECT_EQ(db.status(), DbfStatus::NotOpen);
    EXPECT_FALSE(db.f_appendblank());
    ASSERT_EQ(msgs.messages.size(), 2u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件NOT OPEN没有打开f_Close!"));
    EXPECT_EQ(msgs.messages[1].text, QStringLiteral("文件NOT OPEN没有打开f_appendblank,line_1279!"));
    EXPECT_EQ(db.RecCount(), 0);

    // A missing file.
    msgs.messages.clear();
    EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("nofile.dbf"), QStringLiteral("readwrite")), -2);
    EXPECT_EQ(db.status(), DbfStatus::NoFile);
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + dir.dataDir() + QStringLiteral("/nofile.dbf不存在!"));

    // A memo-bearing version byte.
    QByteArray bad = before;
    bad[0] = char(0x83);
    QFile f(dir.dataDir() + QStringLiteral("/memo.dbf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bad);
    f.close();
    msgs.messages.clear();
    EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("MEMO.DBF"), QStringLiteral("readwrite")), -5);
    EXPECT_EQ(db.status(), DbfStatus::NotDbase);
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_TRUE(msgs.messages[0].text.startsWith(QStringLiteral("文件") + dir.dataDir() + QStringLiteral("/memo.dbf不是DBF文件 ")));
    EXPECT_TRUE(msgs.messages[0].text.endsWith(QStringLiteral("f_readhead,line_393,the 03 is 131!")));
    EXPECT_FALSE(db.isOpen());

    // A date field.
    QByteArray date = before;
    date[64 + 11] = 'D';
    QFile g(dir.dataDir() + QStringLiteral("/date.dbf"));
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write(date);
    g.close();
    msgs.messages.clear();
    EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("date.dbf"), QStringLiteral("readonly")), -5);
    EXPECT_EQ(db.status(), DbfStatus::BadFieldType);
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + dir.dataDir() + QStringLiteral("/date.dbf字段类型无效!"));

    // A header whose record length disagrees with its fields is not trusted.
    QByteArray skew = before;
    skew[10] = char(200);
    QFile h(dir.dataDir() + QStringLiteral("/skew.dbf"));
    ASSERT_TRUE(h.open(QIODevice::WriteOnly));
    h.write(skew);
    h.close();
    EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("skew.dbf"), QStringLiteral("readwrite")), -5);
    EXPECT_EQ(db.status(), DbfStatus::NotDbase);

    // After failed opens the engine still works.
    EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), 0);
    EXPECT_EQ(db.f_Close(), 1);
}

TEST(Dbf, WidthsBeyondTheDescriptorAreRefused)
{
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE db(&msgs);
    const QString path = makeThreeFieldTable(db, dir);
    const QByteArray before = readAll(path);

    db.f_addfield("WIDE", 'C', 0, 256);
    EXPECT_EQ(db.status(), DbfStatus::BadWidth);
    db.f_addfield("NEG", 'C', 0, -1);
    EXPECT_EQ(db.status(), DbfStatus::BadWidth);
    db.f_addfield("DATE", 'D', 0, 8);
    EXPECT_EQ(db.status(), DbfStatus::BadFieldType);
    ASSERT_EQ(msgs.messages.size(), 3u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + path + QStringLiteral("字段宽度无效WIDE!"));
    EXPECT_EQ(readAll(path), before);

    db.f_addfield("MAX", 'C', 0, 255);
    EXPECT_EQ(db.status(), 0);
    const QByteArray b = readAll(path);
    EXPECT_EQ(le16(b, 10), 36u + 255u);
    EXPECT_EQ(u8(b, 32 + 3 * 32 + 16), 255u);
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("T.DBF"), QStringLiteral("readwrite")), 0);
    EXPECT_EQ(db.FieldNoLength(4), 255);
    db.f_Close();
}

TEST(Dbf, ReadOnlyAndSharing)
{
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE writer(&msgs);
    DATABASEFILE other(&msgs);
    DATABASEFILE reader(&msgs);
    const QString path = makeThreeFieldTable(writer, dir);

    // Read-write denies a second writer, not a reader.
    ASSERT_EQ(writer.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), 0);
    EXPECT_EQ(other.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), -5);
    EXPECT_EQ(other.status(), DbfStatus::OpenError);
    EXPECT_FALSE(other.isOpen());
    ASSERT_EQ(reader.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("ReadOnly")), 0);
    EXPECT_TRUE(reader.isReadOnly());
    EXPECT_EQ(reader.modeNumber(), 64);
    EXPECT_EQ(writer.modeNumber(), 34);
    EXPECT_TRUE(msgs.messages.empty());  // 804 shows nothing

    // A read-only table takes no writes.
    EXPECT_FALSE(reader.f_appendblank());
    EXPECT_EQ(reader.status(), DbfStatus::ReadOnly);
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + path + QStringLiteral("只读，不能写!"));
    EXPECT_EQ(reader.RecCount(), 0);
    EXPECT_EQ(reader.f_Close(), 1);

    EXPECT_EQ(writer.f_Close(), 1);
    EXPECT_EQ(other.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), 0);
    EXPECT_EQ(other.f_Close(), 1);
}

TEST(Dbf, BufferedWritesLeaveTheSameBytes)
{
    // Wide records and enough of them to flush several times on the way.
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE db(&msgs);
    const QString path = dir.dataDir() + QStringLiteral("/BIG.DBF");
    ASSERT_TRUE(db.f_new(path));
    for (int i = 0; i < 4; ++i)
        db.f_addfield(std::string(1, char('A' + i)), 'C', 0, 255);
    const int rl = 1 + 4 * 255, hl = 32 + 4 * 32 + 1, n = 12000;
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("big.dbf"), QStringLiteral("readwrite")), 0);
    for (int r = 1; r <= n; ++r) {
        ASSERT_TRUE(db.f_appendblank());
        if (r % 7 != 0)  // some records stay blank
            db.ReplaceNoString(1 + r % 4, std::to_string(r));
    }
    EXPECT_EQ(db.f_Close(), 1);

    const QByteArray head = readAll(path).left(hl);
    QByteArray expected = head;
    for (int r = 1; r <= n; ++r) {
        QByteArray rec(rl, ' ');
        if (r % 7 != 0) {
            const QByteArray text = QByteArray::number(r);
            rec.replace(1 + (r % 4) * 255, text.size(), text);
        }
        expected += rec;
    }
    expected += char(0x1A);
    const QByteArray actual = readAll(path);
    EXPECT_EQ(le32(actual, 4), std::uint32_t(n));
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected);
    EXPECT_TRUE(msgs.messages.empty());
}

TEST(Dbf, ShortWriteIsReportedNotHidden)
{
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE db(&msgs);
    const QString path = makeThreeFieldTable(db, dir);
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), 0);

    // The file may not grow past 4000 bytes: the pre-written records cannot all land.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    db.f_appendblank();
    const int closed = db.f_Close();
    const int status = db.status();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(closed, 1);
    EXPECT_EQ(status, DbfStatus::WriteFailure);
    ASSERT_EQ(msgs.messages.size(), 2u);
    EXPECT_TRUE(msgs.messages[0].text.startsWith(QStringLiteral("I/O Error ")));
    EXPECT_EQ(msgs.messages[0].caption, kCaption);
    EXPECT_TRUE(msgs.messages[1].text.startsWith(QStringLiteral("文件") + path + QStringLiteral("写错误\r")));
    EXPECT_TRUE(msgs.messages[1].text.endsWith(QStringLiteral("mode34!")));
}

TEST(Dbf, NewTableReplacesEverySpellingAndRefusesDirectories)
{
    TempProgramDir dir;
    RecordingMessages msgs;
    DATABASEFILE db(&msgs);
    QFile old(dir.dataDir() + QStringLiteral("/table_m1.dbf"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("stale");
    old.close();
    ASSERT_TRUE(db.f_new(dir.dataDir() + QStringLiteral("/TABLE_M1.DBF")));
    EXPECT_FALSE(QFile::exists(dir.dataDir() + QStringLiteral("/table_m1.dbf")));
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("table_m1.dbf"), QStringLiteral("readwrite")), 0);
    EXPECT_EQ(db.FieldCount(), 0);
    db.f_Close();

    ASSERT_TRUE(QDir(dir.dataDir()).mkdir(QStringLiteral("X.DBF")));
    EXPECT_FALSE(db.f_new(dir.dataDir() + QStringLiteral("/X.DBF")));
    ASSERT_GE(msgs.messages.size(), 2u);
    EXPECT_EQ(msgs.messages[0].text, QStringLiteral("文件") + dir.dataDir() + QStringLiteral("/X.DBF是一个目录!"));
    EXPECT_EQ(db.status(), DbfStatus::WriteFailure);
    EXPECT_TRUE(QFileInfo(dir.dataDir() + QStringLiteral("/X.DBF")).isDir());
}

TEST(Dbf, ARecordCountPastTheFileEndIsRefused)
{
    // Found by fuzzing: an append to such a table wrote gigabytes past the data.
    TempProgramDir dir;
    DATABASEFILE db;
    const QString path = makeThreeFieldTable(db, dir);
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readwrite")), 0);
    ASSERT_TRUE(db.f_appendblank());
    ASSERT_TRUE(db.ReplaceNoString(1, "A1"));
    db.f_Close();
    const qint64 size = QFileInfo(path).size();
    ASSERT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QStringLiteral("readonly")), 0);
    EXPECT_EQ(db.RecCount(), 1);
    db.f_Close();

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(4));
    f.write(QByteArray("\x00\x00\x00\x70", 4));  // 1879048192 records
    f.close();
    for (const char* mode : {"readwrite", "readonly"}) {
        EXPECT_EQ(db.f_open(dir.dataDir(), QStringLiteral("t.dbf"), QString::fromLatin1(mode)), -5) << mode;
        EXPECT_EQ(db.status(), DbfStatus::NotDbase);
        EXPECT_FALSE(db.isOpen());
        EXPECT_FALSE(db.f_appendblank());
    }
    EXPECT_EQ(QFileInfo(path).size(), size);
}
