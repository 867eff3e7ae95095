// What the history keeps of a file, read apart from the run.
#include "import/ImportHistory.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvanta;

TEST(ImportHistory, FileFactsCountDataLinesByKindUpToCtrlZ)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("mixed.txt");
    // Header, a sales line, a blank line, a stock line with LF after CR, a line of another
    // comma count, a last line without CR; then Ctrl+Z and bytes that no longer count.
    const QByteArray bytes = "header,with,commas,,,,,,,,,\r"
                             " a,b,c,d,e,f,2026-01-01,1,2,3,7,11 \r"
                             "   \r"
                             "a,b,c,d,e,f,1,2,7\r\n"
                             "a,b\r"
                             "a,b,c,d,e,f,1,2,8\x1a"
                             "a,b,c,d,e,f,1,2,9\r";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const ImportFileFacts facts = ReadImportFileFacts(path);
    EXPECT_EQ(facts.size, bytes.size());
    EXPECT_EQ(facts.sha256, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(facts.dataLines, 4);
    EXPECT_EQ(facts.salesLines, 1);
    EXPECT_EQ(facts.stockLines, 2);
    EXPECT_EQ(ImportKindsText(facts), QString::fromUtf8("销售+库存"));

    // Missing files and folders: no size, no digest, no kinds.
    for (const QString& p : {dir.filePath("none.txt"), dir.path()}) {
        const ImportFileFacts none = ReadImportFileFacts(p);
        EXPECT_EQ(none.size, -1);
        EXPECT_TRUE(none.sha256.isEmpty());
        EXPECT_EQ(ImportKindsText(none), QString());
    }
}

TEST(ImportHistory, ReasonAndSummary)
{
    ImportResult good;
    EXPECT_EQ(ImportReason(good, "ignored"), QString());
    ImportResult bad;
    bad.status = ImportStatus::LineFailed;
    bad.lineNo = 5;
    EXPECT_EQ(ImportReason(bad, "数据导入错误"), QString::fromUtf8("第5行：数据导入错误"));
    bad.lineNo = 0;
    EXPECT_EQ(ImportReason(bad, "x"), "x");

    // A run whose figures went in but whose history row failed counts as failed.
    RecordedImport a{"/in/a.txt", good, "", "", {}};
    RecordedImport b{"/in/b.txt", good, "", "disk full", {}};
    EXPECT_TRUE(a.ok());
    EXPECT_FALSE(b.ok());
    EXPECT_EQ(ImportSummaryText({a}), QString::fromUtf8("共 1 个文件：成功 1 个，失败 0 个。\na.txt：成功"));
    EXPECT_TRUE(ImportSummaryText({a, b}).endsWith(QString::fromUtf8("一个文件失败不影响其余文件的导入。")));
}
