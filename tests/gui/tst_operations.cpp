// Detach (Command2), shrink log (Command3) and shrink data file (Command9) against the
// stand-in, and an administrator's round trip through attach, detach, re-attach and shrink.

#include "Ado.h"
#include "ConnectionStrings.h"
#include "CuttingProxy.h"
#include "ErrorHints.h"
#include "GuiFixture.h"
#include "Shrink.h"
#include "SignalOnRequest.h"
#include "Windows.h"
#include "operations_support.h"

#include <QAbstractButton>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using tp::ShownMessage;
using tp::Windows;
using namespace tp::test;

namespace {

const QString refresh = QStringLiteral("select name from sysdatabases ORDER BY name");
const QString logLookup = QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= 2)");
const QString dataLookup = QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= 1)");
const QString versionQuery = QStringLiteral("SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))");
const ShownMessage noSelection { QStringLiteral("请选择数据库名称！"), tp::vbCritical, QStringLiteral("提示:") };
const ShownMessage logShrunk { QStringLiteral("日志文件收缩成功！"), tp::vbInformation, QStringLiteral("提示：") };
const ShownMessage dataShrunk { QStringLiteral("数据库收缩成功！"), tp::vbInformation, QStringLiteral("提示：") };

void click(const QString& button)
{
    QTest::mouseClick(tp::control<QAbstractButton>(Windows::form2(), button), Qt::LeftButton);
}

// The log shrink of a database in FULL or BULK_LOGGED recovery: one batch that goes to SIMPLE
// and back and sets the model back in its CATCH block (THROW from 2012, RAISERROR on 2008).
// `db` as the statement names it, `name` as it is.
QString modelRoundTrip(int version, const QString& db, const QString& name, const QString& model,
    const QString& logical)
{
    const QString back = QStringLiteral("ALTER DATABASE %1 SET RECOVERY %2").arg(db, model);
    const QString head
        = QStringLiteral("BEGIN TRY ALTER DATABASE %1 SET RECOVERY SIMPLE CHECKPOINT DBCC SHRINKFILE (%2) %3 END TRY "
                         "BEGIN CATCH ")
              .arg(db, logical, back);
    const QString restore
        = QStringLiteral("IF CAST(DATABASEPROPERTYEX(N'%1','Recovery') AS nvarchar(128)) <> N'%2' %3;")
              .arg(QString(name).replace(QLatin1String("'"), QLatin1String("''")), model, back);
    if (version >= 11)
        return head + restore + QStringLiteral(" THROW; END CATCH");
    return head
        + QStringLiteral("DECLARE @number int, @message nvarchar(2048) SELECT @number = ERROR_NUMBER(), @message = "
                         "ERROR_MESSAGE() ")
        + restore + QStringLiteral(" RAISERROR (N'%d: %s', 16, 1, @number, @message) END CATCH");
}

// What a failed round trip reads afterwards.
QString stateQuery(const QString& name)
{
    return QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'%1','Recovery') AS nvarchar(128)), "
                          "CAST(DATABASEPROPERTYEX(N'%1','Updateability') AS nvarchar(128))")
        .arg(name);
}

// The recovery model of `name`, read over a new connection to master.
QString recoveryOf(GuiFixture& fx, const QString& name)
{
    auto connection = std::make_shared<tp::Connection>();
    connection->open(tp::buildMasterConnectionString(fx.server().serverName(), fx.server().password()), QString(),
        QString(), tp::adConnectUnspecified);
    tp::Recordset rs;
    rs.open(QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'%1','Recovery') AS nvarchar(128))").arg(name), connection,
        tp::adOpenStatic, tp::adLockOptimistic, tp::adCmdUnspecified);
    return rs.text(0, 0);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestOperations : public QObject
{
    Q_OBJECT
    GuiFixture fx;
    std::unique_ptr<QTemporaryDir> root;

    // One report of the error boundary and nothing else; its hint holds `hintPart`.
    void expectErrorReport(int number, const QString& hintPart = QString())
    {
        const QList<ShownMessage> shown = fx.takeMessages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("错误："));
        QCOMPARE(shown[0].style, tp::vbCritical);
        QVERIFY2(shown[0].text.contains(QStringLiteral("错误号：%1\n").arg(number)), qPrintable(describe(shown[0])));
        QVERIFY2(shown[0].text.contains(hintPart), qPrintable(describe(shown[0])));
        // The driver's informational lines and its [vendor][component] prefixes stay out.
        QVERIFY2(!shown[0].text.contains(QLatin1String("DBCC execution completed"))
                && !shown[0].text.contains(QLatin1String("][")),
            qPrintable(describe(shown[0])));
    }

private slots:
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
    }
    void cleanup()
    {
        fx.server().setExtraArguments({});
        QVERIFY2(fx.cleanup(), qPrintable(fx.lastError()));
    }

    void nothingSelected_data();
    void nothingSelected();
    void detach_data();
    void detach();
    void detachInUse();
    void shrink_data();
    void shrink();
    void shrinkOfAVanishedDatabase();
    void failingShrinkRestoresRecovery_data();
    void failingShrinkRestoresRecovery();
    void refusedSwitchLeavesRecovery_data();
    void refusedSwitchLeavesRecovery();
    void shrinkOutlastsTheCommandTimeout();
    void lostReplyOfTheRoundTrip_data();
    void lostReplyOfTheRoundTrip();
    void roundTrip();
};

void TestOperations::nothingSelected_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("detach") << "Command2";
    QTest::newRow("shrink log") << "Command3";
    QTest::newRow("shrink data file") << "Command9";
}

void TestOperations::nothingSelected()
{
    QFETCH(QString, button);
    QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    QCOMPARE(box(QStringLiteral("Text5")), QString());
    fx.server().clearRequests();

    click(button);

    QVERIFY2(fx.expectMessage(noSelection), qPrintable(fx.lastError()));
    QVERIFY2(sameSql(fx, {}), qPrintable(sqlMismatch));
}

void TestOperations::detach_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("statement");
    QTest::newRow("account year") << "UFDATA_001_2007"
                                  << "EXEC sp_detach_db @dbname = 'UFDATA_001_2007'";
    QTest::newRow("blank") << "my db"
                           << "EXEC sp_detach_db @dbname = 'my db'";
    QTest::newRow("apostrophe") << "O'Brien"
                                << "EXEC sp_detach_db @dbname = 'O''Brien'";
}

void TestOperations::detach()
{
    QFETCH(QString, name);
    QFETCH(QString, statement);
    QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("d"), QStringLiteral("l")),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    QVERIFY(clickGridRow(name));
    QCOMPARE(box(QStringLiteral("Text5")), name);
    fx.server().clearRequests();

    click(QStringLiteral("Command2"));

    QVERIFY2(sameSql(fx, { statement, refresh }), qPrintable(sqlMismatch));
    QVERIFY2(fx.expectMessage({ QStringLiteral("分离数据库 ") + name + QStringLiteral(" 成功！"), tp::vbInformation,
                 QStringLiteral("提示：") }),
        qPrintable(fx.lastError()));
    QVERIFY(!gridNames().contains(name));
    QCOMPARE(box(QStringLiteral("Text5")), name); // the selection keeps the detached name

    // Pressed again: the same statement, refused; no success message and no refresh.
    fx.server().clearRequests();
    click(QStringLiteral("Command2"));
    QVERIFY2(sameSql(fx, { statement, refresh }), qPrintable(sqlMismatch));
    expectErrorReport(15010, QStringLiteral("名称已过时。数据库列表已重新读取"));
    QCOMPARE(box(QStringLiteral("Text5")), name);
}

void TestOperations::detachInUse()
{
    QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    const QString name = QStringLiteral("UFDATA_001_2007");
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("ufdata"),
                 QStringLiteral("ufdata_Log")),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    QVERIFY(clickGridRow(name));

    // Another program works in the database.
    auto holder = std::make_unique<tp::Connection>();
    holder->setConnectionString(
        tp::buildDatabaseConnectionString(name, fx.server().serverName(), fx.server().password()));
    holder->open();
    fx.server().clearRequests();
    click(QStringLiteral("Command2"));
    QVERIFY2(sameSql(fx, { QStringLiteral("EXEC sp_detach_db @dbname = 'UFDATA_001_2007'") }), qPrintable(sqlMismatch));
    expectErrorReport(3703);
    QVERIFY(gridNames().contains(name));

    // Once it lets go, the same press detaches it.
    holder.reset();
    fx.server().clearRequests();
    click(QStringLiteral("Command2"));
    QVERIFY2(sameSql(fx, { QStringLiteral("EXEC sp_detach_db @dbname = 'UFDATA_001_2007'"), refresh }),
        qPrintable(sqlMismatch));
    QVERIFY2(fx.expectMessage(
                 { QStringLiteral("分离数据库 UFDATA_001_2007 成功！"), tp::vbInformation, QStringLiteral("提示：") }),
        qPrintable(fx.lastError()));
}

void TestOperations::shrink_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("dataLogical");
    QTest::addColumn<QString>("logLogical");
    QTest::addColumn<QString>("setup"); // run in master before signing in; %1 = bracketed name
    QTest::addColumn<QString>("recoveryQuery"); // empty: not asked (version 9 and older)
    QTest::addColumn<QStringList>("logBatches");
    QTest::addColumn<QStringList>("dataBatches");

    QTest::newRow("2000, nchar padding")
        << 8 << "UFDATA_001_2007"
        << "ufdata"
        << "ufdata_Log"
        << ""
        << "" << QStringList { "BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (ufdata_Log)" }
        << QStringList { "BACKUP LOG UFDATA_001_2007 WITH TRUNCATE_ONLY DBCC SHRINKFILE (ufdata)" };
    QTest::newRow("2005 full, blanks")
        << 9 << "my db"
        << "my data"
        << "my log"
        << ""
        << "" << QStringList { "BACKUP LOG [my db] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([my log])" }
        << QStringList { "BACKUP LOG [my db] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([my data])" };
    QTest::newRow("2005 simple, apostrophe")
        << 9 << "O'Brien"
        << "O'Brien"
        << "O'Brien_log"
        << "ALTER DATABASE %1 SET RECOVERY SIMPLE"
        << "" << QStringList { "BACKUP LOG [O'Brien] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([O'Brien_log])" }
        << QStringList { "BACKUP LOG [O'Brien] WITH TRUNCATE_ONLY DBCC SHRINKFILE ([O'Brien])" };
    QTest::newRow("2022 full, apostrophe")
        << 16 << "O'Brien"
        << "O'Brien"
        << "O'Brien_log"
        << "BACKUP DATABASE %1 TO DISK = N'NUL'"
        << "SELECT CAST(DATABASEPROPERTYEX(N'O''Brien','Recovery') AS nvarchar(128))"
        << QStringList { modelRoundTrip(16, "[O'Brien]", "O'Brien", "FULL", "[O'Brien_log]") }
        << QStringList { "CHECKPOINT DBCC SHRINKFILE ([O'Brien])" };
    QTest::newRow("2022 full, blank") << 16 << "my db"
                                      << "my data"
                                      << "my log"
                                      << "BACKUP DATABASE %1 TO DISK = N'NUL'"
                                      << "SELECT CAST(DATABASEPROPERTYEX(N'my db','Recovery') AS nvarchar(128))"
                                      << QStringList { modelRoundTrip(16, "[my db]", "my db", "FULL", "[my log]") }
                                      << QStringList { "CHECKPOINT DBCC SHRINKFILE ([my data])" };
    QTest::newRow("2022 simple, chinese") << 16 << "账套数据"
                                          << "账套数据"
                                          << "账套数据_log"
                                          << "ALTER DATABASE %1 SET RECOVERY SIMPLE"
                                          << "SELECT CAST(DATABASEPROPERTYEX(N'账套数据','Recovery') AS nvarchar(128))"
                                          << QStringList { "CHECKPOINT DBCC SHRINKFILE (账套数据_log)" }
                                          << QStringList { "CHECKPOINT DBCC SHRINKFILE (账套数据)" };
    QTest::newRow("2008 bulk-logged")
        << 10 << "UFDATA_001_2007"
        << "ufdata"
        << "ufdata_Log"
        << "ALTER DATABASE %1 SET RECOVERY BULK_LOGGED BACKUP DATABASE %1 TO DISK = N'NUL'"
        << "SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))"
        << QStringList { modelRoundTrip(10, "UFDATA_001_2007", "UFDATA_001_2007", "BULK_LOGGED", "ufdata_Log") }
        << QStringList { "CHECKPOINT DBCC SHRINKFILE (ufdata)" };
    QTest::newRow("2008 full, never backed up")
        << 10 << "UFDATA_001_2007"
        << "ufdata"
        << "ufdata_Log"
        << ""
        << "SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))"
        << QStringList { modelRoundTrip(10, "UFDATA_001_2007", "UFDATA_001_2007", "FULL", "ufdata_Log") }
        << QStringList { "CHECKPOINT DBCC SHRINKFILE (ufdata)" };
}

void TestOperations::shrink()
{
    QFETCH(int, version);
    QFETCH(QString, name);
    QFETCH(QString, dataLogical);
    QFETCH(QString, logLogical);
    QFETCH(QString, setup);
    QFETCH(QString, recoveryQuery);
    QFETCH(QStringList, logBatches);
    QFETCH(QStringList, dataBatches);

    QVERIFY2(fx.startServer(version), qPrintable(fx.lastError()));
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), dataLogical, logLogical),
        qPrintable(fx.lastError()));
    if (!setup.isEmpty())
        QVERIFY2(fx.execute(setup.arg(sqlBracket(name))), qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    QVERIFY(clickGridRow(name));
    const QStringList gridBefore = gridNames();

    for (const bool log : { true, false }) {
        fx.server().clearRequests();
        click(log ? QStringLiteral("Command3") : QStringLiteral("Command9"));

        // The data file's shrink does not depend on the recovery model: it is not read.
        QStringList expected { log ? logLookup : dataLookup, versionQuery };
        if (!recoveryQuery.isEmpty() && log)
            expected << recoveryQuery;
        expected << (log ? logBatches : dataBatches);
        QVERIFY2(sameSql(fx, expected), qPrintable(sqlMismatch));
        // The completion message is the same in every case; after the round trip through
        // SIMPLE a line under it tells of the broken log backup chain.
        const QList<ShownMessage> shown = fx.takeMessages();
        QCOMPARE(shown.size(), 1);
        const ShownMessage& done = log ? logShrunk : dataShrunk;
        QVERIFY2(shown[0].text == done.text && shown[0].style == done.style && shown[0].title == done.title,
            qPrintable(describe(shown[0])));
        if (log && logBatches.first().startsWith(QLatin1String("BEGIN TRY"))) {
            const QString model = logBatches.first().contains(QLatin1String("RECOVERY BULK_LOGGED")) ? "BULK_LOGGED" : "FULL";
            QVERIFY2(shown[0].informative.contains(QStringLiteral("“%1”").arg(name))
                    && shown[0].informative.contains(QStringLiteral("改回 ") + model)
                    && shown[0].informative.contains(QStringLiteral("日志备份链因此断开"))
                    && shown[0].informative.contains(QStringLiteral("请现在做一次完整备份")),
                qPrintable(describe(shown[0])));
        } else {
            QVERIFY2(shown[0].informative.isEmpty(), qPrintable(describe(shown[0])));
        }

        // The look-up and the batch each have a connection of their own to the selected database.
        const QList<QJsonObject> requests = sentRequests(fx);
        for (const QJsonObject& r : requests)
            QCOMPARE(r.value(QLatin1String("database")).toString(), name);
        QVERIFY(requests.first().value(QLatin1String("session")) != requests.last().value(QLatin1String("session")));
    }

    // Each shrink kept its own hidden box; 2000 hands the names over blank-padded to 128.
    const auto padded = [version](const QString& s) { return version <= 8 ? s.leftJustified(128) : s; };
    QCOMPARE(box(QStringLiteral("Text7")), padded(logLogical));
    QCOMPARE(box(QStringLiteral("Text8")), padded(dataLogical));
    QCOMPARE(gridNames(), gridBefore); // no refresh
    if (logBatches.first().startsWith(QLatin1String("BEGIN TRY"))) {
        // After the round trip through SIMPLE the server knows the log chain is broken: a log
        // backup is refused until the next database backup, as after TRUNCATE_ONLY.
        const QString logBackup = QStringLiteral("BACKUP LOG %1 TO DISK = N'NUL'").arg(sqlBracket(name));
        QVERIFY(!fx.execute(logBackup));
        QVERIFY2(fx.lastError().contains(QLatin1String(" failed: 4214 ")), qPrintable(fx.lastError()));
        QVERIFY2(fx.execute(QStringLiteral("BACKUP DATABASE %1 TO DISK = N'NUL'").arg(sqlBracket(name))),
            qPrintable(fx.lastError()));
        QVERIFY2(fx.execute(logBackup), qPrintable(fx.lastError()));
    }
    // Every connection was closed: nothing holds the database any more.
    QVERIFY2(fx.execute(QStringLiteral("EXEC sp_detach_db @dbname = N'%1'").arg(QString(name).replace("'", "''"))),
        qPrintable(fx.lastError()));
}

void TestOperations::shrinkOfAVanishedDatabase()
{
    QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    const QString name = QStringLiteral("UFDATA_001_2007");
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("ufdata"),
                 QStringLiteral("ufdata_Log")),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    QVERIFY(clickGridRow(name));
    QVERIFY2(fx.execute(QStringLiteral("EXEC sp_detach_db @dbname = 'UFDATA_001_2007'")), qPrintable(fx.lastError()));
    setBox(QStringLiteral("Text7"), QStringLiteral("before"));
    fx.server().clearRequests();

    click(QStringLiteral("Command3"));

    // The look-up cannot open the database: the operation ends there with the error report,
    // which says why; the list is read again so that it no longer offers the name.
    QVERIFY2(sameSql(fx, { refresh }), qPrintable(sqlMismatch));
    expectErrorReport(4060, QStringLiteral("服务器上已没有数据库“UFDATA_001_2007”，数据库名称框中的名称已过时"));
    QVERIFY(!gridNames().contains(name));
    QCOMPARE(box(QStringLiteral("Text7")), QStringLiteral("before"));
}

void TestOperations::failingShrinkRestoresRecovery_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("2008: RAISERROR") << 10;
    QTest::newRow("2022: THROW") << 16;
}

void TestOperations::failingShrinkRestoresRecovery()
{
    QFETCH(int, version);
    QVERIFY2(fx.startServer(version), qPrintable(fx.lastError()));
    const QString name = QStringLiteral("UFDATA_001_2007");
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("ufdata"),
                 QStringLiteral("ufdata_Log")),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.execute(QStringLiteral("ALTER DATABASE UFDATA_001_2007 SET RECOVERY BULK_LOGGED")),
        qPrintable(fx.lastError()));
    auto connection = std::make_shared<tp::Connection>();
    connection->open(tp::buildDatabaseConnectionString(name, fx.server().serverName(), fx.server().password()),
        QString(), QString(), tp::adConnectUnspecified);
    fx.server().clearRequests();

    int number = 0;
    auto recoverySwitch = tp::ErrorContext::Switch::Back;
    try {
        tp::shrinkFile(connection, name, QStringLiteral("nosuch"));
    } catch (const tp::OperationError& e) {
        number = e.number();
        recoverySwitch = e.context().recoverySwitch;
    }

    // The server's own number, also through 2008's RAISERROR; the model was set back.
    QCOMPARE(number, 8985);
    QCOMPARE(int(recoverySwitch), int(tp::ErrorContext::Switch::None));
    const QString recovery
        = QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))");
    QVERIFY2(sameSql(fx,
                 { versionQuery, recovery, modelRoundTrip(version, name, name, "BULK_LOGGED", "nosuch"),
                     stateQuery(name) }),
        qPrintable(sqlMismatch));
    QCOMPARE(recoveryOf(fx, name), QStringLiteral("BULK_LOGGED"));
}

void TestOperations::refusedSwitchLeavesRecovery_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("hintPart");
    const QString mirror = QStringLiteral("ALTER DATABASE UFDATA_001_2007 SET PARTNER = 'TCP://mirror:5022'");
    QTest::newRow("2022 mirrored") << 16 << mirror << 1468 << "改为简单恢复模式（例如它正在做数据库镜像";
    // 2008 re-raises the last message of the failure only.
    QTest::newRow("2008 mirrored") << 10 << mirror << 5069 << "改为简单恢复模式（例如它正在做数据库镜像";
    QTest::newRow("2022 read-only") << 16 << "ALTER DATABASE UFDATA_001_2007 SET READ_ONLY" << 5004
                                    << "“UFDATA_001_2007”是只读的";
    QTest::newRow("2008 read-only") << 10 << "ALTER DATABASE UFDATA_001_2007 SET READ_ONLY" << 5069
                                    << "“UFDATA_001_2007”是只读的";
}

void TestOperations::refusedSwitchLeavesRecovery()
{
    // A database the server will not let leave FULL recovery: nothing is shrunk and the model stays.
    QFETCH(int, version);
    QFETCH(QString, setup);
    QFETCH(int, number);
    QFETCH(QString, hintPart);
    QVERIFY2(fx.startServer(version), qPrintable(fx.lastError()));
    const QString name = QStringLiteral("UFDATA_001_2007");
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("ufdata"),
                 QStringLiteral("ufdata_Log")),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.execute(QStringLiteral("ALTER DATABASE UFDATA_001_2007 SET RECOVERY FULL ") + setup),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    QVERIFY(clickGridRow(name));
    fx.server().clearRequests();

    click(QStringLiteral("Command3"));

    const QString recovery
        = QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))");
    QVERIFY2(sameSql(fx,
                 { logLookup, versionQuery, recovery, modelRoundTrip(version, name, name, "FULL", "ufdata_Log"),
                     stateQuery(name) }),
        qPrintable(sqlMismatch));
    expectErrorReport(number, hintPart);
    QCOMPARE(recoveryOf(fx, name), QStringLiteral("FULL"));
}

// A shrink is not cut short by the command time-out: it waits as long as the server works.
void TestOperations::shrinkOutlastsTheCommandTimeout()
{
    fx.server().setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QStringLiteral("2500") });
    QVERIFY2(fx.startServer(16), qPrintable(fx.lastError()));
    const QString name = QStringLiteral("UFDATA_001_2007");
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("ufdata"),
                 QStringLiteral("ufdata_Log")),
        qPrintable(fx.lastError()));
    auto connection = std::make_shared<tp::Connection>();
    connection->setCommandTimeout(1);
    connection->open(tp::buildDatabaseConnectionString(name, fx.server().serverName(), fx.server().password()),
        QString(), QString(), tp::adConnectUnspecified);
    QString failure;
    try {
        tp::shrinkFile(connection, name, QStringLiteral("ufdata_Log"));
    } catch (const tp::DbError& e) {
        failure = tp::errorReportText(e);
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(recoveryOf(fx, name), QStringLiteral("FULL"));
}

// The link of the round trip through SIMPLE breaks after the batch left: a new connection
// reads the model, sets it back when the batch was cancelled in SIMPLE, and the report says
// what the model is now.
void TestOperations::lostReplyOfTheRoundTrip_data()
{
    QTest::addColumn<bool>("cancelFirst");
    QTest::addColumn<bool>("serverGone"); // killed once the batch arrived: no new connection
    QTest::addColumn<QString>("hintPart");
    QTest::newRow("the server finishes the batch by itself")
        << false << false << "的恢复模式现在是 FULL（已通过新的连接查看）";
    QTest::newRow("cancelled in SIMPLE, then the link went")
        << true << false << "停在了为收缩临时改成的简单恢复模式，程序已通过新的连接把它改回 FULL";
#ifndef Q_OS_WIN
    QTest::newRow("the server gone: what to run")
        << false << true
        << "它可能仍是简单恢复模式。请在服务器上执行 ALTER DATABASE UFDATA_001_2007 SET RECOVERY FULL，把恢复模式改回 FULL";
#endif
}

void TestOperations::lostReplyOfTheRoundTrip()
{
    QFETCH(bool, cancelFirst);
    QFETCH(bool, serverGone);
    QFETCH(QString, hintPart);
    fx.server().setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QStringLiteral("1500") });
    QVERIFY2(fx.startServer(16), qPrintable(fx.lastError()));
    const QString name = QStringLiteral("UFDATA_001_2007");
    QVERIFY2(createDatabase(fx, name, root->path() + QStringLiteral("/db"), QStringLiteral("ufdata"),
                 QStringLiteral("ufdata_Log")),
        qPrintable(fx.lastError()));
    QVERIFY2(fx.execute(QStringLiteral("ALTER DATABASE UFDATA_001_2007 SET RECOVERY FULL CREATE DATABASE utp_signin")),
        qPrintable(fx.lastError()));
    CuttingProxy proxy;
    QVERIFY(proxy.start(fx.server().port()));
    fx.typeSignIn(proxy.serverName(), fx.server().password());
    QVERIFY(Windows::form2().isVisible());
    QVERIFY(clickGridRow(name));
    fx.server().clearRequests();
    if (serverGone) {
#ifndef Q_OS_WIN
        SignalOnRequest killer(fx.server(), QStringLiteral("SET RECOVERY SIMPLE"), SIGKILL);
        click(QStringLiteral("Command3"));
        QVERIFY(killer.sent());
#endif
    } else {
        proxy.cutAfter(QStringLiteral("SET RECOVERY SIMPLE"), cancelFirst);
        click(QStringLiteral("Command3"));
        QVERIFY(proxy.hasCut());
    }

    const QList<ShownMessage> shown = fx.takeMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("错误："));
    QVERIFY2(shown[0].text.contains(hintPart) && shown[0].text.contains(QStringLiteral("完整备份")),
        qPrintable(describe(shown[0])));
    if (serverGone)
        return;
    QStringList expected { logLookup, versionQuery,
        QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'UFDATA_001_2007','Recovery') AS nvarchar(128))"),
        modelRoundTrip(16, name, name, "FULL", "ufdata_Log"), stateQuery(name) };
    if (cancelFirst)
        expected << QStringLiteral("ALTER DATABASE UFDATA_001_2007 SET RECOVERY FULL");
    QVERIFY2(sameSql(fx, expected), qPrintable(sqlMismatch));
    QCOMPARE(recoveryOf(fx, name), QStringLiteral("FULL"));
}

void TestOperations::roundTrip()
{
    // Attach two years in one run, detach one (its files come back untouched), attach it again
    // by a run of one year, then shrink its log and its data file.
    QVERIFY2(fx.startServer(), qPrintable(fx.lastError()));
    for (int year : { 2005, 2006 })
        QVERIFY2(makeAccountYearFiles(fx, root->path(), QStringLiteral("001"), year), qPrintable(fx.lastError()));
    const QString dir = accountYearDir(root->path(), QStringLiteral("001"), 2005);
    const QByteArray mdf = fileBytes(dir + QStringLiteral("/ufdata.MDF"));
    const QByteArray ldf = fileBytes(dir + QStringLiteral("/ufdata.LDF"));
    QVERIFY(!mdf.isEmpty() && !ldf.isEmpty());

    QVERIFY2(fx.signIn(), qPrintable(fx.lastError()));
    setBox(QStringLiteral("Text1"), root->path());
    setBox(QStringLiteral("Text2"), QStringLiteral("001"));
    setBox(QStringLiteral("Text3"), QStringLiteral("2005"));
    setBox(QStringLiteral("Text6"), QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(
        box(QStringLiteral("Text4")), root->path() + QStringLiteral("\\ZT001\\2005\\ufdata.MDF"), 5000);
    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not finish");
    QVERIFY2(fx.expectMessage({ QStringLiteral("附加数据库完成！"), tp::vbInformation, QStringLiteral("提示：") }),
        qPrintable(fx.lastError()));
    QVERIFY(gridNames().contains("UFDATA_001_2005"));
    QVERIFY(gridNames().contains("UFDATA_001_2006"));

    QVERIFY(clickGridRow(QStringLiteral("UFDATA_001_2005")));
    click(QStringLiteral("Command2"));
    QVERIFY2(fx.expectMessage(
                 { QStringLiteral("分离数据库 UFDATA_001_2005 成功！"), tp::vbInformation, QStringLiteral("提示：") }),
        qPrintable(fx.lastError()));
    QVERIFY(!gridNames().contains("UFDATA_001_2005"));
    QCOMPARE(fileBytes(dir + QStringLiteral("/ufdata.MDF")), mdf);
    QCOMPARE(fileBytes(dir + QStringLiteral("/ufdata.LDF")), ldf);

    setBox(QStringLiteral("Text3"), QStringLiteral("2005"));
    setBox(QStringLiteral("Text6"), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(
        box(QStringLiteral("Text4")), root->path() + QStringLiteral("\\ZT001\\2005\\ufdata.MDF"), 5000);
    QVERIFY2(clickMayRun(QStringLiteral("Command7")), "the run did not finish");
    QVERIFY2(fx.expectMessage({ QStringLiteral("附加数据库完成！"), tp::vbInformation, QStringLiteral("提示：") }),
        qPrintable(fx.lastError()));
    QVERIFY(gridNames().contains("UFDATA_001_2005"));
    QCOMPARE(box(QStringLiteral("Text3")), QStringLiteral("2006"));

    QVERIFY(clickGridRow(QStringLiteral("UFDATA_001_2005")));
    click(QStringLiteral("Command3"));
    // An attached database is in FULL recovery (as model is): the log went to SIMPLE and back.
    QVERIFY2(fx.expectMessage({ logShrunk.text, logShrunk.style, logShrunk.title,
                 tp::logChainBrokenNote(QStringLiteral("UFDATA_001_2005"), QStringLiteral("FULL")) }),
        qPrintable(fx.lastError()));
    click(QStringLiteral("Command9"));
    QVERIFY2(fx.expectMessage(dataShrunk), qPrintable(fx.lastError()));
    QCOMPARE(box(QStringLiteral("Text7")), QStringLiteral("ufdata_Log"));
    QCOMPARE(box(QStringLiteral("Text8")), QStringLiteral("ufdata"));
}

QTEST_MAIN(TestOperations)
#include "tst_operations.moc"
