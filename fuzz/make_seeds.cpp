// Writes the seed corpus of the project-side fuzz targets into FOLDER/<target>/: a few lines,
// config files and templates, a packed summary blob, and dBASE tables made by the project's own table writer.
#include "dbf/DBF.h"
#include "engines/embedded/PackedSums.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace {
QString root;

void seed(const char* target, const char* name, const QByteArray& bytes)
{
    const QString dir = root + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(dir);
    QFile f(dir + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write seed %s/%s\n", target, name);
}

void dbfSeed(const char* name, int records)
{
    const QString dir = root + QStringLiteral("/fuzz_dbf");
    QDir().mkpath(dir);
    const std::string path = (dir + QLatin1Char('/') + QLatin1String(name)).toStdString();
    corvanta::DATABASEFILE db;
    db.f_new(path);
    db.f_addfield("CODE", 'C', 0, 10);
    db.f_addfield("QTY", 'N', 2, 12);
    db.f_addfield("OK", 'L', 0, 1);
    if (db.f_open(dir.toStdString(), name, "shared") != 0)
        return;
    for (int i = 0; i < records; ++i) {
        db.f_appendblank();
        db.ReplaceNoString(1, QString::fromUtf8("商品%1").arg(i));
        db.ReplaceNoString(2, std::to_string(i * 1.5));
    }
    db.f_Close();
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    root = QString::fromLocal8Bit(argv[1]);
    const QByteArray sales = "\"可乐\",\"A01\",\"330ml\",\"罐\",\"听\",\"广州\",\"2024-01-05\",12,30.5,48,\"S01\",11";
    const QByteArray stock = "可乐,A01,330ml,罐,听,广州,120,360.00,S01";
    seed("fuzz_import_line", "sales", sales);
    seed("fuzz_import_line", "stock", stock);
    seed("fuzz_import_line", "blank", "  \t ");
    seed("fuzz_import_file", "two-lines", "\x10\x40" "header\r\n" + sales + "\r\n" + stock + "\r\n\x1a");
    seed("fuzz_import_file", "lone-lf", "\x03\x05" "h\ra\nb\r\r\nlong-line-over-the-limit\r");
    seed("fuzz_config", "full", "; head office\r\n[SQLVERSION]\r\nVERSION=8.0\r\n[SYSTEM]\r\nSERVER=db01\r\n"
                                "USER=boss\r\nPASSWORD=\"p w\"\r\nENGINE=embedded\r\nDBServer=old\r\n");
    seed("fuzz_config", "with-server", QByteArray("[X]\nk=v", 7) + '\0' + "vm\n[SQLVERSION]\nVERSION=8.0");
    seed("fuzz_config", "outside", QByteArray("\xEF\xBB\xBFUSER=sa\n[system]\nuser = 'a'\n", 31) + '\0' + "db02");
    // One outlet day of two groups, packed by the summary's own writer.
    std::string packed;
    corvanta::embedded::packBegin(packed);
    corvanta::embedded::packSum(packed, {1, 11, 2000000, 30500000, 12000000});
    corvanta::embedded::packSum(packed, {300, 45, -1000000, -500000, 0});
    seed("fuzz_packed_sums", "two-groups", QByteArray(packed.data(), qsizetype(packed.size())));
    seed("fuzz_rwx", "small", "# comment\ntitle=销售表\nsubtitle={销售时间}\norientation=landscape\nblankrows=skip\n"
                              "totals=合计\nfontsize=9\ncolumn=数量|数量|8|right|number:2|sum\n"
                              "column=编码|编码|10|left|text\n");
    dbfSeed("empty.dbf", 0);
    dbfSeed("three.dbf", 3);
    return 0;
}
