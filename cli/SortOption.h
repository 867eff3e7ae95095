#pragma once
// --sort HEADING[:desc] of the result commands: the rows in the order a click on that heading
// gives in the window (":desc" the second click), the row numbers renewed.
#include "base/CellStore.h"

#include <QStringList>
#include <optional>

namespace corvanta::cli {

struct SortRequest {
    QString heading;
    bool ascending = true;
};

// Takes --sort out of the arguments, so the query sees only its own options.
std::optional<SortRequest> TakeSortOption(QStringList& args);

// The numbered rows reordered, the rest where they were, row numbers renewed. An unknown
// heading is a usage error listing the headings.
void SortResultRows(const QStringList& headings, CellStore& cells, const SortRequest& request);

}  // namespace corvanta::cli
