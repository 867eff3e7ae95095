#pragma once
// Runs corvanta-cli in-process in a fresh program folder on the executable's engine (testEngine()).
#include "connection/UDMData.h"
#include "tests/support/TestEngine.h"
#include "tests/support/TestSupport.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <QVariant>
#include <memory>
#include <utility>
#include <vector>

namespace corvanta::test {

struct CliRun {
    int code = -1;
    QString out;
    QStringList errLines;
    // The TSV lines of standard output.
    QStringList lines() const;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs with --server set for the engine under test (unless the arguments name one).
    CliRun run(QStringList args);
    static QString engine() { return testEngine(); }
    // The administrator account and password Config.cfg names for the engine under test.
    static QString admin();
    static QString adminPassword();
    // A database name no other test (or concurrent run) uses.
    static QString uniqueDbName();
    // Creates an account set as the administrator; asserts success.
    void createAccountSet(const QString& name, const QString& dbName);
    // Adds an outlet to the account set directly through the data module.
    void addOutlet(const QString& dbName, const QString& id, const QString& name);
    // A data module connected to the account set, as the windows would use it.
    std::unique_ptr<TDMData> accountSet(const QString& dbName) const;
    // Runs an SQL script in the account set directly through the data module.
    void runAccountSetSql(const QString& dbName, const QString& sql);
    // Rows of an account-set query procedure, the given fields as text.
    std::vector<QStringList> queryRows(const QString& dbName, const QString& proc,
                                       const std::vector<std::pair<QString, QVariant>>& values,
                                       const QStringList& fields);
    // Writes a GBK file into the program folder; returns its path.
    QString writeGbkFile(const QString& name, const QString& text);
    // SYSID of dbName in the catalogue listing, or -1.
    int sysIdOf(const QString& dbName);

    std::unique_ptr<TempProgramDir> dir;
    QString server;
    QString savedReturnValueName;
    QStringList createdDbs;
};

}  // namespace corvanta::test
