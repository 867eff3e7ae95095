#pragma once
// An account set of the embedded engine with a few helpers for the outlet tests.
#include "outlets/OutletLogic.h"
#include "tests/connection/ConformanceFixture.h"

namespace corvanta::test {

class OutletTest : public Conformance {
protected:
    // hz_GetNet as records.
    std::vector<OutletRecord> stored()
    {
        RecordingMessages quiet;
        return LoadOutlets(*dm, quiet);
    }
    QStringList storedIds()
    {
        QStringList ids;
        for (const OutletRecord& o : stored())
            ids << o.id;
        return ids;
    }
    // A sales line for the outlet, consolidated.
    void addSale(const QString& id)
    {
        call(QStringLiteral("hz_deleSales"));
        ASSERT_EQ(insertSales(id, QStringLiteral("P1"), QStringLiteral("笔"), QStringLiteral("2024-03-01"),
                              QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1")),
                  0);
        ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    }
};

}  // namespace corvanta::test
