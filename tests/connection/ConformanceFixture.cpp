#include "tests/connection/ConformanceFixture.h"

#include "base/Config.h"
#include "base/Sysdef.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

namespace corvanta::test {

void Conformance::SetUp()
{
    savedReturnValueName = ReturnValueName();
    dir = std::make_unique<TempProgramDir>();
    dir->copyShippedData();
    QByteArray cfg = "[SQLVERSION]\nVERSION=8.0\n[SYSTEM]\nENGINE=" + engineUnderTest().toUtf8() + "\n";
    if (engineUnderTest() == QLatin1String("postgresql")) {
        CORVANTA_REQUIRE_PG();
        cfg += "USER=" + qEnvironmentVariable("PGUSER").toUtf8() + "\n";
        cfg += "PASSWORD=" + qEnvironmentVariable("PGPASSWORD").toUtf8() + "\n";
    }
    dir->writeConfig(cfg);
    SetReturnValueName(QStringLiteral("@RETURN_VALUE"));

    dm = std::make_unique<TDMData>();
    try {
        connect(*dm);
    } catch (const DbError& e) {
        FAIL() << "cannot connect: " << e.what();
    }
    prepareCatalogue(*dm);
    dbName = uniqueDbName();
    sysid = createAccountSet(*dm, dbName, QStringLiteral("测试帐套"));
    dm->ADOConnection.SetDefaultDatabase(dbName);
}

void Conformance::TearDown()
{
    // Leave the shared cluster tidy: take the test's account set out of service.
    if (dm && dm->ADOConnection.Connected() && sysid > 0) {
        try {
            dm->ADOConnection.SetDefaultDatabase(QStringLiteral("master"));
            dm->CallProc(dm->InsertProc, QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), sysid}});
        } catch (const DbError&) {
        }
    }
    dm.reset();
    dir.reset();
    SetReturnValueName(savedReturnValueName);
}

void Conformance::connect(TDMData& d)
{
    const QString source = engineUnderTest() == QLatin1String("postgresql") ? PgDataSource().value_or(QString())
                                                                            : QStringLiteral("any-server-name");
    d.Connect(source, Config::User(), Config::Password(), engineUnderTest());
}

void Conformance::prepareCatalogue(TDMData& d)
{
    d.CreateCatalogueTable();
    for (const char* name : {"drop.txt", "CreateZt.txt", "DeleteZt.txt", "GetZt.txt"}) {
        QFile f(d.CatalogueScriptPath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        d.RunScript(QString::fromUtf8(f.readAll()));
    }
    d.CallProc(d.QueryProc, QStringLiteral("hz_getzt"), {}, true);
}

QString Conformance::uniqueDbName()
{
    static int counter = 0;
    return QStringLiteral("ct%1_%2_%3")
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(QRandomGenerator::global()->bounded(1000000));
}

qlonglong Conformance::createAccountSet(TDMData& d, const QString& name, const QString& sysName)
{
    d.RestoreDatabase(name);
    d.CallProc(d.InsertProc, QStringLiteral("hz_insertzt"),
               {{QStringLiteral("@dbName"), name}, {QStringLiteral("@szSYSname"), sysName}});
    return sysidOf(d, name).value_or(0);
}

std::optional<qlonglong> Conformance::sysidOf(TDMData& d, const QString& name)
{
    d.CallProc(d.QueryProc, QStringLiteral("hz_getzt"), {}, true);
    std::optional<qlonglong> found;
    for (d.QueryProc.First(); !d.QueryProc.Eof(); d.QueryProc.Next())
        if (d.QueryProc.FieldText(QStringLiteral("DBNAME")).compare(name, Qt::CaseInsensitive) == 0)
            found = d.QueryProc.FieldByName(QStringLiteral("SYSID")).AsInteger();
    return found;
}

std::unique_ptr<TDMData> Conformance::newClient(bool inAccountSet)
{
    auto d = std::make_unique<TDMData>();
    connect(*d);
    if (inAccountSet)
        d->ADOConnection.SetDefaultDatabase(dbName);
    return d;
}

std::vector<QStringList> Conformance::readRows(TADOCommand& cmd, const QStringList& fields)
{
    std::vector<QStringList> out;
    for (cmd.First(); !cmd.Eof(); cmd.Next()) {
        QStringList row;
        for (const QString& f : fields)
            row << cmd.FieldText(f);
        out.push_back(row);
    }
    return out;
}

void Conformance::addOutlet(const QString& id, const QString& name)
{
    ASSERT_EQ(call(QStringLiteral("hz_InsertNet"),
                   {{QStringLiteral("@ID"), id},
                    {QStringLiteral("@AGENTNAME"), name},
                    {QStringLiteral("@AGENTTYPE"), QStringLiteral("T")},
                    {QStringLiteral("@TELEPHONE"), QString()},
                    {QStringLiteral("@FAX"), QString()},
                    {QStringLiteral("@ADDRESS"), QString()},
                    {QStringLiteral("@LINKMAN"), QString()}}),
              0);
}

int Conformance::insertSales(const QString& id, const QString& code, const QString& name, const QString& date,
                             const QString& qty, const QString& total, const QString& cost, const QString& vch,
                             const QString& area)
{
    return call(QStringLiteral("hz_InsertSales"),
                {{QStringLiteral("@USERCODE"), code},
                 {QStringLiteral("@PTYPENAME"), name},
                 {QStringLiteral("@STANDARD"), QStringLiteral("S")},
                 {QStringLiteral("@TYPE"), QStringLiteral("M")},
                 {QStringLiteral("@UNIT"), QStringLiteral("个")},
                 {QStringLiteral("@AREA"), area},
                 {QStringLiteral("@DATE"), date},
                 {QStringLiteral("@QTY"), qty},
                 {QStringLiteral("@TOTAL"), total},
                 {QStringLiteral("@COSTTOTAL"), cost},
                 {QStringLiteral("@VCHTYPE"), vch},
                 {QStringLiteral("@ID"), id}});
}

int Conformance::insertStock(const QString& id, const QString& code, const QString& name, const QString& qty,
                             const QString& total, const QString& area)
{
    return call(QStringLiteral("hz_InsertStock"),
                {{QStringLiteral("@USERCODE"), code},
                 {QStringLiteral("@PTYPENAME"), name},
                 {QStringLiteral("@STANDARD"), QStringLiteral("S")},
                 {QStringLiteral("@TYPE"), QStringLiteral("M")},
                 {QStringLiteral("@UNIT"), QStringLiteral("个")},
                 {QStringLiteral("@AREA"), area},
                 {QStringLiteral("@KCQTY"), qty},
                 {QStringLiteral("@KCTOTAL"), total},
                 {QStringLiteral("@ID"), id}});
}

Values Conformance::salesFilter(const QString& from, const QString& to) const
{
    return {{QStringLiteral("@date1"), from},       {QStringLiteral("@date2"), to},
            {QStringLiteral("@USERCODE"), QString()}, {QStringLiteral("@PTYPENAME"), QString()},
            {QStringLiteral("@ID"), QString()},       {QStringLiteral("@AGENTNAME"), QString()},
            {QStringLiteral("@VCHTYPE"), QString()}};
}

}  // namespace corvanta::test
