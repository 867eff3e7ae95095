// DBF export of a large grid: how long the print hand-off takes to write the body table of a
// 100k-row grid, against writing the same number of bytes straight to the same disk.
//   dbf_export [ROWS]
#include "base/Sysdef.h"
#include "dbf/PrintHandoff.h"
#include "logic/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <vector>

using namespace corvanta;

namespace {

class StderrMessages : public Messages {
public:
    QString superMsg(const QString& caption, const QString& text, const QString&, const QString&,
                     const QString&) override
    {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(caption), qPrintable(text));
        return QStringLiteral("myok");
    }
    void systemBox(const QString& caption, const QString& text) override { superMsg(caption, text, {}, {}, {}); }
};

// The outlet list's eight columns, filled with typical text.
class BigGrid : public GridSource {
public:
    explicit BigGrid(int rows) : m_rows(rows) {}
    int rowCount() const override { return m_rows + 1; }
    int columnCount() const override { return 8; }
    int columnWidth(int c) const override { return kWidths[c]; }
    QString cell(int r, int c) const override
    {
        static const QString head[8] = {"行号", "网点编号", "网点名称", "网点类型", "联系电话", "传真", "联系人", "联系地址"};
        if (r == 0)
            return head[c];
        switch (c) {
        case 0: return QString::number(r);
        case 1: return QString::number(100000 + r);
        case 2: return QStringLiteral("第%1门市部").arg(r % 997);
        case 3: return r % 3 ? QStringLiteral("直营") : QStringLiteral("加盟");
        case 4: return QStringLiteral("010-%1").arg(60000000 + r);
        case 5: return QString();
        case 6: return QStringLiteral("张三");
        default: return QStringLiteral("北京市东城区建国门内大街%1号").arg(r % 500);
        }
    }

private:
    static constexpr int kWidths[8] = {56, 63, 97, 81, 116, 84, 56, 221};
    int m_rows;
};

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("data"));
    SetAppDirForTesting(dir.path());

    StderrMessages messages;
    DATABASEFILE tables(&messages);
    PrintHandoff handoff(tables, messages);
    BigGrid grid(rows);

    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = handoff.WriteBodyTable(grid);
    const double ours = seconds(std::chrono::steady_clock::now() - t0);
    const qint64 bytes = QFileInfo(GetDataDir() + QStringLiteral("/TABLE_M1.DBF")).size();

    // The peer: the same number of bytes written to the same folder in 1 MiB pieces.
    const QByteArray chunk(1 << 20, ' ');
    const auto t1 = std::chrono::steady_clock::now();
    {
        QFile raw(GetDataDir() + QStringLiteral("/raw.bin"));
        if (!raw.open(QIODevice::WriteOnly))
            return 2;
        for (qint64 left = bytes; left > 0; left -= chunk.size())
            raw.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    }
    const double peer = seconds(std::chrono::steady_clock::now() - t1);

    std::printf("rows            %d\n", rows);
    std::printf("bytes written   %lld\n", static_cast<long long>(bytes));
    std::printf("export time     %.3f s\n", ours);
    std::printf("raw write time  %.3f s\n", peer);
    std::printf("ratio           %.2f (export / raw write of the same bytes)\n", peer > 0 ? ours / peer : 0.0);
    std::printf("result          %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
