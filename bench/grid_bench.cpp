// The result grid with large results: filling a TSupGrids offscreen, showing it through a column
// projection, and header-click sorts in four input orders. Prints seconds and the process's
// resident memory; the targets are in the last column.
#include "base/CellStore.h"
#include "grid/New_grid.h"
#include "grid/cw_r_Sort.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

using namespace corvanta;

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double rssMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

enum class Order { Sorted, Reversed, Equal, Random };
const char* name(Order o)
{
    switch (o) {
    case Order::Sorted: return "sorted";
    case Order::Reversed: return "reversed";
    case Order::Equal: return "all equal";
    case Order::Random: return "random";
    }
    return "";
}

// A sales-query-like result: 14 columns, column 1 a product code, 2 a Chinese name, 5 a number.
CellStore makeResult(int rows, Order order, std::mt19937& rng)
{
    CellStore store(14);
    store.reserve(std::size_t(rows), std::size_t(rows) * 8);
    std::vector<std::string> cells(14);
    std::vector<std::string_view> views(14);
    std::uniform_int_distribution<int> any(0, rows);
    for (int r = 0; r < rows; ++r) {
        int k = r;
        if (order == Order::Reversed)
            k = rows - r;
        else if (order == Order::Equal)
            k = 7;
        else if (order == Order::Random)
            k = any(rng);
        cells[0] = std::to_string(r + 1);
        char code[16];
        std::snprintf(code, sizeof code, "P%08d", k);
        cells[1] = code;
        cells[2] = "商品名称" + std::to_string(k % 5000);
        cells[3] = "件";
        cells[4] = "门店" + std::to_string(k % 40);
        cells[5] = std::to_string(k) + "." + std::to_string(k % 100);
        for (int c = 6; c < 14; ++c)
            cells[std::size_t(c)] = std::to_string((k * (c + 3)) % 100000) + ".50";
        for (int c = 0; c < 14; ++c)
            views[std::size_t(c)] = cells[std::size_t(c)];
        store.appendRow(views);
    }
    return store;
}

void fillGrid(TSupGrids& g, CellStore store)
{
    const int n = store.rowCount();
    g.setColCount(14);
    g.setCell(0, 0, QStringLiteral("序号"));
    for (int c = 1; c < 14; ++c)
        g.setCell(c, 0, QStringLiteral("列%1").arg(c));
    g.setBody(std::move(store));
    g.setRowCount(std::max(22, n + 2));
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::mt19937 rng(42);
    std::printf("%-34s %10s %10s %10s\n", "step", "rows", "seconds", "target");

    for (int rows : {100000, 1000000}) {
        const double showTarget = rows > 100000 ? 3.0 : 0.5;
        const double sortTarget = rows > 100000 ? 1.0 : 0.1;
        {
            const double before = rssMiB();
            auto t = std::chrono::steady_clock::now();
            CellStore store = makeResult(rows, Order::Random, rng);
            const double made = seconds(t);
            t = std::chrono::steady_clock::now();
            TSupGrids source;
            TSupGrids display;
            source.resize(800, 500);
            display.resize(800, 500);
            fillGrid(source, std::move(store));
            display.setColCount(14);
            display.setRowCount(source.rowCount());
            std::vector<int> cols(14);
            for (int c = 0; c < 14; ++c)
                cols[std::size_t(c)] = c;
            display.showColumnsOf(source, cols);
            display.show();
            QApplication::processEvents();
            const double shown = seconds(t);
            std::printf("%-34s %10d %10.3f %10s\n", "build result (not the grid)", rows, made, "");
            std::printf("%-34s %10d %10.3f %9.1fs\n", "grid fill + projection + paint", rows, shown, showTarget);
            std::printf("%-34s %10d %10.0f %10s\n", "  resident MiB (process)", rows, rssMiB(),
                        rows > 100000 ? "600" : "150");
            std::printf("%-34s %10d %10.0f %10s\n", "  MiB added by result + grids", rows, rssMiB() - before, "");
        }
        for (Order order : {Order::Sorted, Order::Reversed, Order::Equal, Order::Random}) {
            TSupGrids g;
            g.resize(800, 500);
            fillGrid(g, makeResult(rows, order, rng));
            int flag = 0;
            for (int col : {1, 2, 5}) {
                for (int press = 0; press < 2; ++press) {
                    const int x = g.colWidth(0) + g.colWidth(1) * (col - 1) + 5;
                    const auto t = std::chrono::steady_clock::now();
                    SortGridByHeader(g, x, 1, flag);
                    const double s = seconds(t);
                    char label[64];
                    std::snprintf(label, sizeof label, "sort %-9s col %d %s", name(order), col,
                                  flag ? "asc" : "desc");
                    std::printf("%-34s %10d %10.3f %9.1fs\n", label, rows, s, sortTarget);
                }
            }
        }
    }
    return 0;
}
