// The stand-in against the real client stacks the application and its users meet: FreeTDS's
// tsql, unixODBC's isql, and Qt's ODBC driver, all through FreeTDS. The machine's FreeTDS
// configuration is kept out: each test points FREETDSCONF/FREETDS and HOME at a file of its own.

#include "StandinProcess.h"
#include "TsqlClient.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

using tp::test::outputLines;
using tp::test::StandinProcess;
using tp::test::tsqlArguments;
using RunResult = tp::test::TsqlOutput;

namespace {

constexpr int waitMs = 30000;
const QString listDatabases = QStringLiteral("select name from sysdatabases ORDER BY name");
const QStringList systemDatabases
    = { QStringLiteral("master"), QStringLiteral("model"), QStringLiteral("msdb"), QStringLiteral("tempdb") };

} // namespace

class NetClientsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tsqlListsDatabasesPerVersion_data();
    void tsqlListsDatabasesPerVersion();
    void tsqlRefusedLogins_data();
    void tsqlRefusedLogins();
    void tsqlSeveralAtOnceWhileOneStaysConnected();
    void isqlPreparesAndUnprepares_data();
    void isqlPreparesAndUnprepares();
    void qtOdbcForwardOnlyQueriesAndAttention();

private:
    QProcessEnvironment clientEnvironment(const QString& tdsVersion = QString()) const;
    QProcess* startTsql(const QStringList& extra, const QString& tdsVersion = QString());
    RunResult runTsql(const QString& input, const QStringList& extra = {}, const QString& tdsVersion = QString());

    tp::test::FreeTdsConfig m_dir;
    std::unique_ptr<StandinProcess> m_server;
};

void NetClientsTest::initTestCase()
{
    QVERIFY(m_dir.write());
    QFile odbcIni(m_dir.filePath(QStringLiteral("odbc.ini")));
    QVERIFY(odbcIni.open(QIODevice::WriteOnly));
    odbcIni.close();
    // For the in-process Qt driver: the same isolation, set before FreeTDS is first loaded.
    const QProcessEnvironment env = clientEnvironment();
    for (const QString& key : env.keys()) {
        if (key.startsWith(QLatin1String("FREETDS")) || key == QLatin1String("ODBCINI"))
            qputenv(key.toLocal8Bit(), env.value(key).toLocal8Bit());
    }
}

void NetClientsTest::init()
{
    m_server = std::make_unique<StandinProcess>();
    QVERIFY2(m_server->start(), qPrintable(m_server->lastError()));
}

void NetClientsTest::cleanup()
{
    m_server.reset();
}

QProcessEnvironment NetClientsTest::clientEnvironment(const QString& tdsVersion) const
{
    QProcessEnvironment env = m_dir.environment(); // HOME there too: no ~/.odbc.ini
    env.insert(QStringLiteral("ODBCINI"), m_dir.filePath(QStringLiteral("odbc.ini")));
    if (!tdsVersion.isEmpty())
        env.insert(QStringLiteral("TDSVER"), tdsVersion);
    return env;
}

QProcess* NetClientsTest::startTsql(const QStringList& extra, const QString& tdsVersion)
{
    auto* p = new QProcess(this);
    p->setProcessEnvironment(clientEnvironment(tdsVersion));
    // tsql writes through stdio: line-buffer it so a client that stays open shows its rows.
    p->start(QStringLiteral("stdbuf"),
        QStringList { QStringLiteral("-oL"), QStringLiteral("tsql") } + tsqlArguments(*m_server) + extra);
    return p;
}

RunResult NetClientsTest::runTsql(const QString& input, const QStringList& extra, const QString& tdsVersion)
{
    std::unique_ptr<QProcess> p(startTsql(extra, tdsVersion));
    return tp::test::finishTsql(*p, input, waitMs);
}

void NetClientsTest::tsqlListsDatabasesPerVersion_data()
{
    QTest::addColumn<QString>("tdsVersion");
    QTest::addColumn<int>("serverMajor");
    QTest::newRow("7.1") << QStringLiteral("7.1") << 16;
    QTest::newRow("7.2") << QStringLiteral("7.2") << 16;
    QTest::newRow("7.3") << QStringLiteral("7.3") << 16;
    QTest::newRow("7.4") << QStringLiteral("7.4") << 16;
    QTest::newRow("auto") << QStringLiteral("auto") << 16;
    // The client asks for 7.4; an older server answers lower and the client follows.
    QTest::newRow("7.4 against 2000") << QStringLiteral("7.4") << 8;
    QTest::newRow("7.4 against 2005") << QStringLiteral("7.4") << 9;
    QTest::newRow("7.4 against 2008") << QStringLiteral("7.4") << 10;
}

void NetClientsTest::tsqlListsDatabasesPerVersion()
{
    QFETCH(QString, tdsVersion);
    QFETCH(int, serverMajor);
    if (serverMajor != m_server->version())
        QVERIFY2(m_server->start(serverMajor), qPrintable(m_server->lastError()));
    const RunResult r = runTsql(listDatabases + QStringLiteral("\ngo\nexit\n"), {}, tdsVersion);
    QVERIFY2(r.finished, "tsql did not finish");
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(outputLines(r.out), QStringList { QStringLiteral("name") } + systemDatabases);
    QVERIFY2(!r.err.contains(QLatin1String("Msg ")), qPrintable(r.err));
    // tsql sends what was typed, with its line end.
    QVERIFY2(m_server->sqlTexts().contains(listDatabases + QLatin1Char('\n')),
        qPrintable(m_server->sqlTexts().join(QLatin1Char('|'))));
}

void NetClientsTest::tsqlRefusedLogins_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("wrong password") << QStringLiteral("Wrong#Pw") << QString()
                                    << QStringList { QStringLiteral("Msg 18456 (severity 14, state 1)") };
    QTest::newRow("unknown database") << QString() << QStringLiteral("NoSuchDb")
                                      << QStringList { QStringLiteral("Msg 4060 (severity 11"),
                                             QStringLiteral(
                                                 "Cannot open database \"NoSuchDb\" requested by the login."),
                                             QStringLiteral("Msg 18456 (severity 14, state 1)") };
}

void NetClientsTest::tsqlRefusedLogins()
{
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(QStringList, messages);
    QStringList extra;
    if (!database.isEmpty())
        extra << QStringLiteral("-D") << database;
    std::unique_ptr<QProcess> p;
    if (password.isEmpty()) {
        p.reset(startTsql(extra));
    } else {
        p = std::make_unique<QProcess>();
        p->setProcessEnvironment(clientEnvironment());
        p->start(QStringLiteral("tsql"), tsqlArguments(*m_server, password));
    }
    QVERIFY(p->waitForStarted(waitMs));
    p->write("exit\n");
    p->closeWriteChannel();
    QVERIFY(p->waitForFinished(waitMs));
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QCOMPARE(p->exitCode(), 1);
    int from = 0;
    for (const QString& m : messages) {
        const int at = int(err.indexOf(m, from));
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("'%1' missing (in order) from: %2").arg(m, err)));
        from = at + int(m.size());
    }
    QVERIFY2(err.contains(QLatin1String("Login failed for user 'sa'.")), qPrintable(err));
}

void NetClientsTest::tsqlSeveralAtOnceWhileOneStaysConnected()
{
    // One client stays signed in for the whole test, as the application's main connection does.
    std::unique_ptr<QProcess> stayer(startTsql({}));
    QVERIFY(stayer->waitForStarted(waitMs));
    stayer->write((listDatabases + QStringLiteral("\ngo\n")).toUtf8());
    QByteArray seen;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (seen += stayer->readAllStandardOutput()).contains("tempdb") || stayer->state() != QProcess::Running,
        (seen + stayer->readAllStandardError()).constData(), waitMs);
    QCOMPARE(stayer->state(), QProcess::Running);

    // Others come and go, several at the same time, with different TDS versions.
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<QProcess>> others;
        const QStringList versions = { QStringLiteral("7.1"), QStringLiteral("7.2"), QStringLiteral("7.4"), QString() };
        for (const QString& v : versions) {
            others.emplace_back(startTsql({}, v));
            QVERIFY(others.back()->waitForStarted(waitMs));
            others.back()->write((listDatabases + QStringLiteral("\ngo\nexit\n")).toUtf8());
            others.back()->closeWriteChannel();
        }
        for (auto& p : others) {
            QVERIFY(p->waitForFinished(waitMs));
            QCOMPARE(p->exitCode(), 0);
            QCOMPARE(outputLines(QString::fromUtf8(p->readAllStandardOutput())),
                QStringList { QStringLiteral("name") } + systemDatabases);
        }
        // One of them simply dies while signed in.
        std::unique_ptr<QProcess> victim(startTsql({}));
        QVERIFY(victim->waitForStarted(waitMs));
        victim->write((listDatabases + QStringLiteral("\ngo\n")).toUtf8());
        QByteArray victimSaw;
        QTRY_VERIFY_WITH_TIMEOUT((victimSaw += victim->readAllStandardOutput()).contains("tempdb"), waitMs);
        victim->kill();
        QVERIFY(victim->waitForFinished(waitMs));
    }

    stayer->write((listDatabases + QStringLiteral("\ngo\nexit\n")).toUtf8());
    stayer->closeWriteChannel();
    QVERIFY(stayer->waitForFinished(waitMs));
    QCOMPARE(stayer->exitCode(), 0);
    QVERIFY(QString::fromUtf8(stayer->readAllStandardOutput()).contains(QLatin1String("tempdb")));
    QVERIFY(m_server->isRunning());
}

void NetClientsTest::isqlPreparesAndUnprepares_data()
{
    QTest::addColumn<QString>("tdsVersion");
    QTest::addColumn<int>("serverMajor");
    QTest::newRow("7.1") << QStringLiteral("7.1") << 16;
    QTest::newRow("7.2") << QStringLiteral("7.2") << 16;
    QTest::newRow("7.4") << QStringLiteral("7.4") << 16;
    QTest::newRow("7.4 against 2000") << QStringLiteral("7.4") << 8;
}

void NetClientsTest::isqlPreparesAndUnprepares()
{
    QFETCH(QString, tdsVersion);
    QFETCH(int, serverMajor);
    if (serverMajor != m_server->version())
        QVERIFY2(m_server->start(serverMajor), qPrintable(m_server->lastError()));
    const QString connection = QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=%1;TDS_Version=%2;"
                                              "ClientCharset=UTF-8;UID=sa;PWD=%3;")
                                   .arg(m_server->port())
                                   .arg(tdsVersion, m_server->password());
    QProcess p;
    p.setProcessEnvironment(clientEnvironment());
    p.start(QStringLiteral("isql"), { QStringLiteral("-v"), QStringLiteral("-k"), connection, QStringLiteral("-b") });
    QVERIFY2(p.waitForStarted(waitMs), "isql does not start");
    p.write((listDatabases + QLatin1Char('\n')).toUtf8());
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(waitMs));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(p.exitCode() == 0, qPrintable(out + QString::fromUtf8(p.readAllStandardError())));
    for (const QString& name : systemDatabases)
        QVERIFY2(out.contains(QStringLiteral("| %1 ").arg(name)), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("4 rows fetched")), qPrintable(out));

    // isql prepares and executes in one RPC, then frees the handle.
    QStringList procs;
    for (const QJsonObject& r : m_server->requests())
        procs.append(r.value(QLatin1String("proc")).toString());
    QCOMPARE(procs, (QStringList { QStringLiteral("sp_prepexec"), QStringLiteral("sp_unprepare") }));
    QCOMPARE(m_server->sqlTexts().value(0), listDatabases);
}

void NetClientsTest::qtOdbcForwardOnlyQueriesAndAttention()
{
    // Qt's ODBC driver the way the application uses it: forward-only exec() gives plain SQL
    // batches; prepare() with a bound value gives sp_prepexec; reusing a query whose rows were
    // not all read makes FreeTDS send an ATTENTION, which must be acknowledged for the
    // connection to go on. FreeTDS's own trace shows the attention went out.
    const QString dump = m_dir.filePath(QStringLiteral("tdsdump.log"));
    qputenv("TDSDUMP", dump.toLocal8Bit());
    const QString name = QStringLiteral("net_clients_qt");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(QStringLiteral("DRIVER={FreeTDS};Server=127.0.0.1;Port=%1;TDS_Version=7.4;"
                                          "ClientCharset=UTF-8;Database=master;UID=sa;PWD=%2;")
                               .arg(m_server->port())
                               .arg(m_server->password()));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));

        QSqlQuery q(db);
        q.setForwardOnly(true);
        QVERIFY2(q.exec(listDatabases), qPrintable(q.lastError().text()));
        QStringList names;
        while (q.next())
            names.append(q.value(0).toString());
        QCOMPARE(names, systemDatabases);

        // Read one row only, then run the statement again on the same query.
        QVERIFY2(q.exec(listDatabases), qPrintable(q.lastError().text()));
        QVERIFY(q.next());
        QVERIFY2(q.exec(listDatabases), qPrintable(q.lastError().text()));
        names.clear();
        while (q.next())
            names.append(q.value(0).toString());
        QCOMPARE(names, systemDatabases);

        QSqlQuery prepared(db);
        prepared.setForwardOnly(true);
        QVERIFY(prepared.prepare(QStringLiteral("select name from sysdatabases where name = ?")));
        prepared.addBindValue(QStringLiteral("msdb"));
        QVERIFY2(prepared.exec(), qPrintable(prepared.lastError().text()));
        QVERIFY(prepared.next());
        QCOMPARE(prepared.value(0).toString(), QStringLiteral("msdb"));
        QVERIFY(!prepared.next());
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    qunsetenv("TDSDUMP");

    QStringList kinds;
    for (const QJsonObject& r : m_server->requests())
        kinds.append(
            r.value(QLatin1String("kind")).toString() + QLatin1Char(':') + r.value(QLatin1String("proc")).toString());
    QVERIFY2(kinds.contains(QLatin1String("rpc:sp_prepexec")), qPrintable(kinds.join(QLatin1Char(' '))));
    QCOMPARE(m_server->sqlTexts().count(listDatabases), 3);

    QFile trace(dump);
    QVERIFY2(trace.open(QIODevice::ReadOnly), "FreeTDS wrote no trace");
    const QByteArray text = trace.readAll();
    // FreeTDS dumps each packet it sends: "Sending packet" then the bytes, header first.
    QVERIFY2(QRegularExpression(QStringLiteral("Sending packet\\s*\\n0000 06 01 00 08"))
                 .match(QString::fromLatin1(text))
                 .hasMatch(),
        "FreeTDS never sent an ATTENTION, so this test proves nothing about it");
}

QTEST_GUILESS_MAIN(NetClientsTest)
#include "net_clients_test.moc"
