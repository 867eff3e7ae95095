#pragma once
// The groups of an intake too large to hold at once: each time DailySums is full its groups go,
// sorted, as one run into a temporary file, and at the consolidation the runs and the groups
// still held are merged in the summary's key order, equal keys summed. The server then takes
// every outlet day once, whatever the order of the file's lines, and regroups nothing.
#include "engines/DailySums.h"

#include <QString>
#include <QTemporaryFile>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace corvanta {

// One group of the merged stream; the texts are valid during the callback only.
struct SumView {
    qint64 day = 0;
    std::string_view id, usercode, ptypename;
    int vchType = 0;
    quint64 lines = 0;
    Wide qty = 0, total = 0, cost = 0;
    quint8 qtyScale = 0, totalScale = 0, costScale = 0;
};

class SumRuns {
public:
    SumRuns();
    ~SumRuns();
    SumRuns(const SumRuns&) = delete;
    SumRuns& operator=(const SumRuns&) = delete;

    bool empty() const { return m_runs.empty(); }
    // sums' groups, sorted, as one more run; sums is cleared. Throws DbError when the file
    // cannot be written (a full disk): the intake then fails, nothing half written stays.
    void write(DailySums& sums);
    // Every group of the runs and of sums, in the order of day, outlet, code, name (bytewise) and
    // type, equal keys summed; then the runs are gone and sums is cleared.
    void merge(DailySums& sums, const std::function<void(const SumView&)>& each);
    void clear();

private:
    struct Run {
        qint64 at = 0, bytes = 0;
    };
    static std::unique_ptr<QTemporaryFile> newFile();
    static Run writeRun(QTemporaryFile& file, qint64 at,
                        const std::function<void(const std::function<void(const SumView&)>&)>& fill);
    std::unique_ptr<QTemporaryFile> m_file;
    std::vector<Run> m_runs;
    qint64 m_end = 0;
};

}  // namespace corvanta
