#pragma once
// One fixture for both engines: a fresh program folder with the shipped data, a prepared
// catalogue and a new account set with a unique name, on the executable's engine (testEngine()).
#include "connection/UDMData.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <optional>

namespace corvanta::test {

using Values = std::vector<std::pair<QString, QVariant>>;

inline QString engineUnderTest()
{
    return testEngine();
}

class Conformance : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A connected data module on the fixture's account set (a second client).
    std::unique_ptr<TDMData> newClient(bool inAccountSet = true);
    void connect(TDMData& dm);
    void prepareCatalogue(TDMData& dm);
    QString uniqueDbName();
    // Creates and registers an account set; returns its SYSID.
    qlonglong createAccountSet(TDMData& dm, const QString& dbName, const QString& sysName);
    // SYSID of a database name in hz_getzt, or nullopt.
    std::optional<qlonglong> sysidOf(TDMData& dm, const QString& dbName);

    int call(const QString& proc, const Values& values = {}, bool open = false)
    {
        return dm->CallProc(dm->ADOSProc, proc, values, open);
    }
    // The rowset of the last open of cmd: the given fields as text, row by row.
    static std::vector<QStringList> readRows(TADOCommand& cmd, const QStringList& fields);
    std::vector<QStringList> query(const QString& proc, const Values& values, const QStringList& fields)
    {
        call(proc, values, true);
        return readRows(dm->ADOSProc, fields);
    }

    void addOutlet(const QString& id, const QString& name);
    // One sales line; fields in the order of the procedure's parameters.
    int insertSales(const QString& id, const QString& code, const QString& name, const QString& date,
                    const QString& qty, const QString& total, const QString& cost, const QString& vch = "11",
                    const QString& area = "Area");
    int insertStock(const QString& id, const QString& code, const QString& name, const QString& qty,
                    const QString& total, const QString& area = "Area");
    Values salesFilter(const QString& from, const QString& to) const;

    std::unique_ptr<TempProgramDir> dir;
    std::unique_ptr<TDMData> dm;
    QString dbName;
    qlonglong sysid = 0;
    QString savedReturnValueName;
};

}  // namespace corvanta::test
