#include "cli/SortOption.h"

#include "base/GridSort.h"
#include "cli/CliApp.h"

#include <string>

namespace corvanta::cli {

std::optional<SortRequest> TakeSortOption(QStringList& args)
{
    std::optional<SortRequest> request;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--"))
            break;
        QString value;
        if (args[i] == QStringLiteral("--sort")) {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("option --sort needs a value")};
            value = args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(QStringLiteral("--sort="))) {
            value = args[i].mid(7);
            args.removeAt(i);
        } else {
            continue;
        }
        --i;
        SortRequest r;
        if (value.endsWith(QStringLiteral(":desc"))) {
            r.heading = value.chopped(5);
            r.ascending = false;
        } else {
            r.heading = value.endsWith(QStringLiteral(":asc")) ? value.chopped(4) : value;
        }
        request = r;
    }
    return request;
}

void SortResultRows(const QStringList& headings, CellStore& store, const SortRequest& request)
{
    const qsizetype heading = headings.indexOf(request.heading);
    if (heading < 0)
        throw UsageError{QStringLiteral("--sort: no heading \"%1\" (headings: %2)")
                             .arg(request.heading, headings.join(QStringLiteral(", ")))};
    // A click on the row-number heading sorts by the first data column, as the grid does.
    const int col = heading == 0 ? 1 : int(heading);
    const CellStore& in = store;
    const int rows = NumberedRows(in);
    if (rows == 0 || col >= in.columnCount())
        return;
    const std::vector<std::uint32_t> order = SortOrder(in, col, request.ascending, rows);
    CellStore out(in.columnCount());
    out.reserve(std::size_t(in.rowCount()));
    std::vector<std::string_view> cells(std::size_t(in.columnCount()));
    std::string number;
    auto append = [&](int from, int position) {
        for (int c = 0; c < in.columnCount(); ++c)
            cells[std::size_t(c)] = in.utf8(c, from);
        if (position > 0) {
            number = RenumberedCell(position, cells[0]);
            cells[0] = number;
        }
        out.appendRow(cells);
    };
    for (std::size_t i = 0; i < order.size(); ++i)
        append(int(order[i]), int(i) + 1);
    for (int r = rows; r < in.rowCount(); ++r)
        append(r, 0);
    store = std::move(out);
}

}  // namespace corvanta::cli
