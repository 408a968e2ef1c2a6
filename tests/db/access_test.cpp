// The access layer against the stand-in server: opening, failures and their numbers, every
// result of a batch, recordsets and what keeps their connection open, the data control,
// and the exact texts that reach the server.

#include "Ado.h"
#include "ConnectionStrings.h"
#include "DataControl.h"
#include "ErrorHints.h"
#include "StandinProcess.h"

#include <QAbstractItemModel>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSet>
#include <QTcpServer>
#include <QtTest>

#ifndef Q_OS_WIN
#include "SignalOnRequest.h"
#endif

using namespace tp;
using tp::test::StandinProcess;
#ifndef Q_OS_WIN
using tp::test::SignalOnRequest;
#endif

namespace {

QString describe(const DbError& e)
{
    return QStringLiteral("DbError %1: %2").arg(e.number()).arg(e.description());
}

// Runs `f`; fails the test with the driver's text when it throws.
#define TRY_DB(statement)                                                                                              \
    do {                                                                                                               \
        try {                                                                                                          \
            statement;                                                                                                 \
        } catch (const DbError& e) {                                                                                   \
            QFAIL(qPrintable(QStringLiteral(#statement " failed: ") + describe(e)));                                   \
        }                                                                                                              \
    } while (false)

#define START(server, ...)                                                                                             \
    QVERIFY2((server).start(__VA_ARGS__), qPrintable(QStringLiteral("stand-in did not start: ") + (server).lastError()))

// Expects `statement` to throw a DbError, which it stores in `error`.
#define EXPECT_DB_ERROR(statement, error)                                                                              \
    do {                                                                                                               \
        bool thrown_ = false;                                                                                          \
        try {                                                                                                          \
            statement;                                                                                                 \
        } catch (const DbError& e) {                                                                                   \
            thrown_ = true;                                                                                            \
            (error) = std::make_unique<DbError>(e);                                                                    \
        }                                                                                                              \
        QVERIFY2(thrown_, #statement " did not fail");                                                                 \
    } while (false)

std::shared_ptr<Connection> openMaster(const StandinProcess& s)
{
    auto c = std::make_shared<Connection>();
    c->open(buildMasterConnectionString(s.serverName(), s.password()), QString(), QString(), adConnectUnspecified);
    return c;
}

void executeOnMaster(const StandinProcess& s, const QString& statement)
{
    Connection c;
    c.setConnectionString(buildMasterConnectionString(s.serverName(), s.password()));
    c.open();
    c.execute(statement);
    c.close();
}

QStringList namesOf(const Recordset& rs, int column = 0)
{
    QStringList names;
    for (int r = 0; r < rs.rowCount(); ++r)
        names << rs.text(r, column);
    return names;
}

QStringList modelColumn(const QAbstractItemModel* m, int column = 0)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

int freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 1;
    const int port = probe.serverPort();
    probe.close();
    return port;
}


} // namespace

class AccessTest : public QObject {
    Q_OBJECT
private slots:
    void openOutcomes_data();
    void openOutcomes();
    void fourArgumentOpenOverridesTheString();
    void serverDownFailsWithoutHanging();
    void silentServerEndsAtTheLoginTimeout();
    void executeReportsTheServersError_data();
    void executeReportsTheServersError();
    void executeAcceptsInformationalMessages();
    void timeOutsAndLostLinks_data();
    void timeOutsAndLostLinks();
    void recordsetEofAndFields();
    void recordsetKeepsItsConnectionOpen();
    void closingEndsTheConnection();
    void severalConnectionsAtOnce();
    void hostilePasswordsWorkEndToEnd_data();
    void hostilePasswordsWorkEndToEnd();
    void hostileServerNamesReachNoOtherServer_data();
    void hostileServerNamesReachNoOtherServer();
    void exactTextsReachTheServer();
    void sqlVariantAndPaddedCells();
    void dataControlRefreshReplacesRows();
    void dataControlFailureLeavesModelEmpty();
    void oldServerVersion();
};

void AccessTest::openOutcomes_data()
{
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<int>("number"); // 0: opens
    QTest::addColumn<QString>("textPart");

    QTest::newRow("right password") << "master" << true << 0 << "";
    QTest::newRow("wrong password") << "master" << false << 18456 << "Login failed for user 'sa'.";
    QTest::newRow("unknown initial catalog") << "NoSuchDb" << true << 4060 << "Cannot open database \"NoSuchDb\"";
    // The server's message names the catalog, which here is also the password: it is the name
    // the user typed and stays, since only connection string values are scrubbed.
    QTest::newRow("catalog named like the password")
        << "Right#Pw;42" << true << 4060 << "Cannot open database \"Right#Pw;42\"";
}

void AccessTest::openOutcomes()
{
    QFETCH(QString, catalog);
    QFETCH(bool, rightPassword);
    QFETCH(int, number);
    QFETCH(QString, textPart);

    StandinProcess server;
    START(server, 16, QStringLiteral("Right#Pw;42"));
    const QString password = rightPassword ? server.password() : QStringLiteral("Wrong#Pw;42");
    Connection c;
    if (number == 0) {
        TRY_DB(c.open(buildDatabaseConnectionString(catalog, server.serverName(), password), QString(), QString(),
            adConnectUnspecified));
        QVERIFY(c.isOpen());
        return;
    }
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(c.open(buildDatabaseConnectionString(catalog, server.serverName(), password), QString(),
                        QString(), adConnectUnspecified),
        error);
    QVERIFY(!c.isOpen());
    QVERIFY(!error->statementSent());
    QCOMPARE(error->number(), number);
    QVERIFY2(error->description().contains(textPart), qPrintable(describe(*error)));
    if (catalog != password) {
        QVERIFY2(!error->description().contains(password), qPrintable(describe(*error)));
        QVERIFY2(!QString::fromStdString(error->what()).contains(password), error->what());
    }
}

void AccessTest::fourArgumentOpenOverridesTheString()
{
    StandinProcess server;
    START(server);
    Connection c;
    // A wrong password in the string, the right one as Open's argument: the argument wins.
    TRY_DB(c.open(buildMasterConnectionString(server.serverName(), QStringLiteral("wrong")), QStringLiteral("sa"),
        server.password(), adConnectUnspecified));
    QVERIFY(c.isOpen());
}

void AccessTest::serverDownFailsWithoutHanging()
{
    const int port = freeLoopbackPort();
    Connection c;
    c.setConnectionTimeout(3);
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(c.open(buildLoginConnectionString(QStringLiteral("127.0.0.1,%1").arg(port), QStringLiteral("Pw#down")),
                        QString(), QString(), adConnectUnspecified),
        error);
    QVERIFY(!c.isOpen());
    QVERIFY2(!error->description().isEmpty(), "no text from the driver");
    QVERIFY2(!error->description().contains(QStringLiteral("Pw#down")), qPrintable(describe(*error)));
    // Nothing of the failed attempt stays connected.
    QCOMPARE(OdbcConnection::connectedCount(), 0);
}

void AccessTest::silentServerEndsAtTheLoginTimeout()
{
    // A listener that never answers: the connection is accepted by the system, the login
    // gets no reply, and Open gives up after the login time-out instead of waiting for ever.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    Connection c;
    c.setConnectionTimeout(2);
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(c.open(buildMasterConnectionString(QStringLiteral("127.0.0.1,%1").arg(silent.serverPort()),
                        QStringLiteral("Pw#silent")),
                        QString(), QString(), adConnectUnspecified),
        error);
    QVERIFY(!c.isOpen());
    QVERIFY2(!error->description().contains(QStringLiteral("Pw#silent")), qPrintable(describe(*error)));
}

void AccessTest::executeReportsTheServersError_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("textPart");

    QTest::newRow("refused procedure call") << "EXEC sp_detach_db @dbname = 'NoSuchDb'" << 15010
                                            << "The database 'NoSuchDb' does not exist.";
    QTest::newRow("system database") << "EXEC sp_detach_db @dbname = 'master'" << 7940
                                     << "System databases master, model, msdb, and tempdb cannot be detached.";
    QTest::newRow("error in the second statement of a batch")
        << "CHECKPOINT DBCC SHRINKFILE (nosuchfile)" << 8985 << "Could not locate file 'nosuchfile'";
    QTest::newRow("error after a result set") << "select name from sysdatabases exec sp_detach_db @dbname = 'NoSuchDb'"
                                              << 15010 << "'NoSuchDb'";
    QTest::newRow("error after two result sets")
        << "select name from sysdatabases select name from sysdatabases EXEC sp_detach_db @dbname = 'NoSuchDb'"
        << 15010 << "'NoSuchDb'";
    QTest::newRow("error followed by an informational message")
        << "dbcc checkprimaryfile (N'/no/such/folder/x.mdf',2) " << 5120 << "Unable to open the physical file";
    QTest::newRow("unknown procedure") << "EXEC sp_nosuchproc" << 2812 << "sp_nosuchproc";
}

void AccessTest::executeReportsTheServersError()
{
    QFETCH(QString, statement);
    QFETCH(int, number);
    QFETCH(QString, textPart);

    StandinProcess server;
    START(server);
    Connection c;
    c.setConnectionString(buildMasterConnectionString(server.serverName(), server.password()));
    TRY_DB(c.open());
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(c.execute(statement), error);
    QCOMPARE(error->number(), number);
    QVERIFY2(error->description().contains(textPart), qPrintable(describe(*error)));
    QVERIFY(error->statementSent()); // unlike a failed Open: the server may have acted on it
    // The connection is still usable after a statement error.
    TRY_DB(c.execute(QStringLiteral("select name from sysdatabases ORDER BY name")));
}

void AccessTest::executeAcceptsInformationalMessages()
{
    StandinProcess server;
    START(server);
    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE Acct")));
    Connection c;
    c.setConnectionString(
        buildDatabaseConnectionString(QStringLiteral("Acct"), server.serverName(), server.password()));
    TRY_DB(c.open());
    // DBCC answers with its informational 2528 and a result set: no error.
    TRY_DB(c.execute(QStringLiteral("CHECKPOINT DBCC SHRINKFILE (Acct_log)")));
    TRY_DB(c.execute(QStringLiteral("DBCC SHRINKFILE (Acct)")));
}

// A statement the driver stops waiting for, or whose link breaks, through the real driver: every
// way of sending it says so, and the error is a broken link, not the server's refusal.
void AccessTest::timeOutsAndLostLinks_data()
{
    QTest::addColumn<QString>("call"); // execute, batch or recordset
    QTest::addColumn<int>("signal"); // sent to the server once the statement arrived; 0: none
    QTest::addColumn<int>("fault");
    for (const char* call : { "execute", "batch", "recordset" }) {
        QTest::newRow(qPrintable(QStringLiteral("%1: time-out, the server cancels").arg(call)))
            << call << 0 << int(LinkFault::TimedOut);
#ifndef Q_OS_WIN
        QTest::newRow(qPrintable(QStringLiteral("%1: time-out, the server stopped").arg(call)))
            << call << int(SIGSTOP) << int(LinkFault::TimedOut);
        QTest::newRow(qPrintable(QStringLiteral("%1: link lost, the server killed").arg(call)))
            << call << int(SIGKILL) << int(LinkFault::Lost);
#endif
    }
}

void AccessTest::timeOutsAndLostLinks()
{
    QFETCH(QString, call);
    QFETCH(int, signal);
    QFETCH(int, fault);
    StandinProcess server;
    server.setExtraArguments({ QStringLiteral("--shrink-delay-ms"), QStringLiteral("4000") });
    START(server);
    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE Acct")));
    auto c = std::make_shared<Connection>();
    c->setConnectionString(
        buildDatabaseConnectionString(QStringLiteral("Acct"), server.serverName(), server.password()));
    c->setCommandTimeout(1);
    TRY_DB(c->open());
    const QString slow = QStringLiteral("DBCC SHRINKFILE (Acct_log)");
    std::unique_ptr<DbError> error;
    bool linkLost = false;
    {
#ifndef Q_OS_WIN
        std::unique_ptr<SignalOnRequest> signaller;
        if (signal != 0)
            signaller = std::make_unique<SignalOnRequest>(server, slow, signal);
#endif
        if (call == QLatin1String("execute")) {
            EXPECT_DB_ERROR(c->execute(slow), error);
        } else if (call == QLatin1String("recordset")) {
            Recordset rs;
            EXPECT_DB_ERROR(rs.open(slow, c, adOpenStatic, adLockOptimistic, adCmdUnspecified), error);
        } else {
            BatchAnswer answer;
            TRY_DB(answer = c->executeBatch(slow));
            linkLost = answer.linkLost;
        }
#ifndef Q_OS_WIN
        if (signaller)
            QVERIFY(signaller->sent());
        if (signal == SIGSTOP)
            ::kill(pid_t(server.processId()), SIGCONT);
#endif
    }
    if (call == QLatin1String("batch")) {
        QVERIFY(linkLost);
        return;
    }
    QVERIFY2(error->statementSent(), qPrintable(describe(*error)));
    QCOMPARE(int(error->linkFault()), fault);
    QVERIFY2(isLinkFailure(*error), qPrintable(describe(*error) + QStringLiteral(" state ") + error->sqlState()));
    if (fault == int(LinkFault::TimedOut))
        QVERIFY2(errorHint(*error, { Operation::Detach, QStringLiteral("Acct") }).contains(QStringLiteral("规定的时间")),
            qPrintable(describe(*error)));
}

void AccessTest::recordsetEofAndFields()
{
    StandinProcess server;
    START(server);
    const QString probe = QStringLiteral("SELECT * FROM sysdatabases WHERE (name >= N'u')");
    {
        auto c = std::make_shared<Connection>();
        TRY_DB(c->open(buildLoginConnectionString(server.serverName(), server.password()), QString(), QString(),
            adConnectUnspecified));
        Recordset rs;
        TRY_DB(rs.open(probe, c, adOpenStatic, adLockOptimistic, adCmdUnspecified));
        QVERIFY(rs.isOpen());
        QVERIFY(rs.eof());
        QCOMPARE(rs.rowCount(), 0);
        QVERIFY(rs.fieldNames().contains(QStringLiteral("name")));
        QVERIFY(!rs.field(QStringLiteral("name")).isValid());
    }
    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE UFDATA_001_2007")));
    auto c = std::make_shared<Connection>();
    TRY_DB(c->open(buildLoginConnectionString(server.serverName(), server.password()), QString(), QString(),
        adConnectUnspecified));
    Recordset rs;
    TRY_DB(rs.open(probe, c, adOpenStatic, adLockOptimistic, adCmdUnspecified));
    QVERIFY(!rs.eof());
    QCOMPARE(rs.rowCount(), 1);
    QCOMPARE(rs.field(QStringLiteral("NAME")).toString(), QStringLiteral("UFDATA_001_2007"));
    const int dbid = int(rs.fieldNames().indexOf(QStringLiteral("dbid")));
    QVERIFY(dbid > 0);
    bool isNumber = false;
    QVERIFY2(rs.text(0, dbid).toInt(&isNumber) > 4 && isNumber, qPrintable(rs.text(0, dbid)));
}

void AccessTest::recordsetKeepsItsConnectionOpen()
{
    StandinProcess server;
    START(server);
    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE Acct")));

    auto rs = std::make_shared<Recordset>();
    {
        // As in the shrink operations: the handler's own reference to the connection goes,
        // the recordset (bound to a control) stays.
        auto c = std::make_shared<Connection>();
        TRY_DB(c->open(buildDatabaseConnectionString(QStringLiteral("Acct"), server.serverName(), server.password()),
            QString(), QString(), adConnectUnspecified));
        TRY_DB(rs->open(QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= 2)"), c, adOpenStatic,
            adLockOptimistic, adCmdUnspecified));
    }
    QVERIFY(rs->activeConnection() && rs->activeConnection()->isOpen());
    QCOMPARE(rs->text(0, 0).trimmed(), QStringLiteral("Acct_log"));

    const QString detach = QStringLiteral("EXEC sp_detach_db @dbname = 'Acct'");
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(executeOnMaster(server, detach), error);
    QCOMPARE(error->number(), 3703);

    rs.reset(); // the binding ends: the connection closes with it
    TRY_DB(executeOnMaster(server, detach));
}

void AccessTest::closingEndsTheConnection()
{
    StandinProcess server;
    START(server);
    const int before = OdbcConnection::connectedCount();
    {
        Connection c;
        c.setConnectionString(buildMasterConnectionString(server.serverName(), server.password()));
        TRY_DB(c.open());
        QVERIFY(c.odbcHandle());
        QCOMPARE(OdbcConnection::connectedCount(), before + 1);
        c.close();
        QVERIFY(!c.isOpen());
        QVERIFY(!c.odbcHandle());
        QCOMPARE(OdbcConnection::connectedCount(), before);
        c.close(); // no effect the second time
        TRY_DB(c.open()); // and it opens again
        QCOMPARE(OdbcConnection::connectedCount(), before + 1);
    }
    QVERIFY2(OdbcConnection::connectedCount() == before, "the destructor left the connection open");

    Connection closed;
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(closed.execute(QStringLiteral("select 1")), error);
}

void AccessTest::severalConnectionsAtOnce()
{
    StandinProcess server;
    START(server);
    std::vector<std::shared_ptr<Connection>> connections;
    QSet<void*> handles;
    for (int i = 0; i < 6; ++i) {
        std::shared_ptr<Connection> c;
        TRY_DB(c = openMaster(server));
        handles << c->odbcHandle();
        connections.push_back(c);
    }
    QCOMPARE(handles.size(), 6);
    // Each one works while all are open, in any order.
    for (int i = int(connections.size()) - 1; i >= 0; --i) {
        Recordset rs;
        TRY_DB(rs.open(QStringLiteral("select name from sysdatabases ORDER BY name"), connections[size_t(i)],
            adOpenStatic, adLockOptimistic, adCmdUnspecified));
        QCOMPARE(namesOf(rs), (QStringList { "master", "model", "msdb", "tempdb" }));
        TRY_DB(connections[size_t(i)]->execute(QStringLiteral("select name from sysdatabases")));
    }
}

void AccessTest::hostilePasswordsWorkEndToEnd_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("; and =") << "pa;ss=word";
    QTest::newRow("an attribute inside") << "x;Initial Catalog=model;Password=y";
    QTest::newRow("braces") << "}{pw}";
    QTest::newRow("braces and ;") << "a;b}c{";
    QTest::newRow("quotes") << "it's \"quoted\"";
    QTest::newRow("blanks at the ends") << " pw ";
    QTest::newRow(".dsn") << "my.dsn";
    QTest::newRow("chinese") << QString::fromUtf8("会计#2007");
}

void AccessTest::hostilePasswordsWorkEndToEnd()
{
    QFETCH(QString, password);
    StandinProcess server;
    START(server, 16, password);

    auto c = std::make_shared<Connection>();
    TRY_DB(c->open(buildLoginConnectionString(server.serverName(), password), QString(), QString(),
        adConnectUnspecified));
    Recordset rs;
    TRY_DB(rs.open(QStringLiteral("select name from sysdatabases ORDER BY name"), c, adOpenStatic, adLockOptimistic,
        adCmdUnspecified));
    QCOMPARE(rs.rowCount(), 4);

    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE Acct")));
    Connection d;
    d.setConnectionString(buildDatabaseConnectionString(QStringLiteral("Acct"), server.serverName(), password));
    TRY_DB(d.open());

    // A near miss is refused, and its text does not show it.
    const QString wrong = password + QStringLiteral("x");
    Connection w;
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(w.open(buildMasterConnectionString(server.serverName(), wrong), QString(), QString(),
                        adConnectUnspecified),
        error);
    QCOMPARE(error->number(), 18456);
    QVERIFY2(!error->description().contains(wrong), qPrintable(describe(*error)));
}

void AccessTest::hostileServerNamesReachNoOtherServer_data()
{
    // %1: the port of the server typed first, %2: that of a second one, which answers to the
    // same sa password.
    QTest::addColumn<QString>("server");
    QTest::newRow("Server= after ;") << "127.0.0.1,%1;Server=127.0.0.1,%2";
    QTest::newRow("Data Source= after ;") << "127.0.0.1,%1;Data Source=127.0.0.1,%2";
    QTest::newRow("Port= after ;") << "127.0.0.1;Port=%2";
    QTest::newRow("closing brace first") << "127.0.0.1,%1};Server=127.0.0.1,%2";
    QTest::newRow("in braces") << "{127.0.0.1,%2}";
}

// A server text that holds a second server in connection string syntax, as the login window
// takes it: the sign-in fails and neither server hears from it.
void AccessTest::hostileServerNamesReachNoOtherServer()
{
    QFETCH(QString, server);
    StandinProcess first;
    StandinProcess second;
    START(first);
    START(second);
    first.clearRequests();
    second.clearRequests();
    const QString typed = QString(server)
                              .replace(QLatin1String("%1"), QString::number(first.port()))
                              .replace(QLatin1String("%2"), QString::number(second.port()));
    Connection c;
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(c.open(buildLoginConnectionString(typed, second.password()), QString(), QString(),
                        adConnectUnspecified),
        error);
    QVERIFY2(second.sqlTexts().isEmpty() && first.sqlTexts().isEmpty(),
        qPrintable(QStringLiteral("signed in with ") + typed));
}

void AccessTest::exactTextsReachTheServer()
{
    StandinProcess server;
    START(server);
    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE Acct")));
    server.clearRequests();

    const QString list = QStringLiteral("select name  from sysdatabases ORDER BY name");
    const QString detach = QStringLiteral("EXEC sp_detach_db @dbname = 'Acct'");
    const QString shrink = QStringLiteral("BACKUP LOG Acct WITH TRUNCATE_ONLY DBCC SHRINKFILE (Acct_log)");
    {
        auto c = openMaster(server);
        Recordset rs;
        TRY_DB(rs.open(list, c, adOpenStatic, adLockOptimistic, adCmdUnspecified));
    }
    TRY_DB(executeOnMaster(server, detach));
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(executeOnMaster(server, shrink), error); // Acct is gone by now

    const QList<QJsonObject> requests = server.requests();
    QStringList ours;
    for (const QJsonObject& r : requests) {
        const QString sql = r.value(QStringLiteral("sql")).toString();
        if (sql == list || sql == detach || sql == shrink) {
            // Sent as a plain batch, not through a server cursor or a prepared statement.
            QCOMPARE(r.value(QStringLiteral("kind")).toString(), QStringLiteral("batch"));
            ours << sql;
        }
    }
    QCOMPARE(ours, (QStringList { list, detach, shrink }));
    for (const QString& sql : server.sqlTexts()) {
        QVERIFY2(!sql.contains(QStringLiteral("sp_cursoropen")) || !sql.contains(QStringLiteral("sysdatabases")),
            qPrintable(sql));
    }
}

void AccessTest::sqlVariantAndPaddedCells()
{
    StandinProcess server;
    START(server);
    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE Sales2024")));
    QString path;
    {
        auto c = openMaster(server);
        Recordset rs;
        TRY_DB(rs.open(QStringLiteral("select filename from sysdatabases where name = N'Sales2024'"), c,
            adOpenStatic, adLockOptimistic, adCmdUnspecified));
        QCOMPARE(rs.rowCount(), 1);
        path = rs.text(0, 0).trimmed();
    }
    QVERIFY2(!path.isEmpty(), "no file name recorded");
    TRY_DB(executeOnMaster(server, QStringLiteral("EXEC sp_detach_db @dbname = 'Sales2024'")));

    auto c = openMaster(server);
    Recordset names;
    TRY_DB(names.open(QStringLiteral("dbcc checkprimaryfile (N'") + path + QStringLiteral("',2) "), c, adOpenStatic,
        adLockOptimistic, adCmdUnspecified));
    QCOMPARE(names.rowCount(), 3);
    // Column 1 is sql_variant: an nvarchar base type reads as its text, an int one as its number.
    QCOMPARE(names.text(0, 1), QStringLiteral("Sales2024"));
    bool isNumber = false;
    names.text(1, 1).toLongLong(&isNumber);
    QVERIFY2(isNumber, qPrintable(names.text(1, 1)));

    Recordset files;
    TRY_DB(files.open(QStringLiteral("dbcc checkprimaryfile (N'") + path + QStringLiteral("',1) "), c, adOpenStatic,
        adLockOptimistic, adCmdUnspecified));
    QCOMPARE(files.rowCount(), 2);
    QVERIFY(files.columnCount() > 8);
    // Blank padding of the fixed-length column comes through as it is.
    QVERIFY2(files.text(0, 8).startsWith(path) && files.text(0, 8).endsWith(' '), qPrintable(files.text(0, 8)));
    QCOMPARE(files.text(0, 8).trimmed(), path);
    QVERIFY(files.text(1, 8).trimmed().endsWith(QStringLiteral(".ldf"), Qt::CaseInsensitive));
}

void AccessTest::dataControlRefreshReplacesRows()
{
    StandinProcess server;
    START(server);
    DataControl adodc;
    adodc.setConnectionString(buildMasterConnectionString(server.serverName(), server.password()));
    adodc.setRecordSource(QStringLiteral("select name from sysdatabases ORDER BY name"));
    QAbstractItemModel* model = adodc.model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    TRY_DB(adodc.refresh());
    QCOMPARE(modelColumn(model), (QStringList { "master", "model", "msdb", "tempdb" }));
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("name"));
    QVERIFY(adodc.recordset() && adodc.recordset()->activeConnection()->isOpen());
    const std::weak_ptr<Connection> first = adodc.recordset()->activeConnection();

    TRY_DB(executeOnMaster(server, QStringLiteral("CREATE DATABASE UFDATA_001_2007")));
    QCOMPARE(model->rowCount(), 4); // nothing changes before the refresh
    TRY_DB(adodc.refresh());
    QCOMPARE(adodc.model(), model);
    QCOMPARE(modelColumn(model), (QStringList { "master", "model", "msdb", "tempdb", "UFDATA_001_2007" }));
    QVERIFY(resets.count() >= 2);
    QVERIFY2(first.expired(), "the previous connection outlived the refresh");
    QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEditable));

    adodc.closeRecordset();
    QCOMPARE(model->rowCount(), 0);
    QVERIFY(!adodc.recordset());
}

void AccessTest::dataControlFailureLeavesModelEmpty()
{
    StandinProcess server;
    START(server);
    DataControl adodc;
    adodc.setConnectionString(buildMasterConnectionString(server.serverName(), server.password()));
    adodc.setRecordSource(QStringLiteral("select name from sysdatabases ORDER BY name"));
    TRY_DB(adodc.refresh());
    QCOMPARE(adodc.model()->rowCount(), 4);

    adodc.setRecordSource(QStringLiteral("select name from nosuchtable"));
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(adodc.refresh(), error);
    QCOMPARE(error->number(), 208);
    QCOMPARE(adodc.model()->rowCount(), 0);
    QCOMPARE(adodc.model()->columnCount(), 0);
    QVERIFY(!adodc.recordset());

    adodc.setConnectionString(buildMasterConnectionString(server.serverName(), QStringLiteral("wrong")));
    adodc.setRecordSource(QStringLiteral("select name from sysdatabases ORDER BY name"));
    EXPECT_DB_ERROR(adodc.refresh(), error);
    QCOMPARE(error->number(), 18456);
    QCOMPARE(adodc.model()->rowCount(), 0);
}

void AccessTest::oldServerVersion()
{
    // A server that speaks only TDS 7.1 (SQL Server 2000): the driver steps down.
    StandinProcess server;
    START(server, 8);
    auto c = std::make_shared<Connection>();
    TRY_DB(c->open(buildLoginConnectionString(server.serverName(), server.password()), QString(), QString(),
        adConnectUnspecified));
    Recordset rs;
    TRY_DB(rs.open(QStringLiteral("select name from sysdatabases ORDER BY name"), c, adOpenStatic, adLockOptimistic,
        adCmdUnspecified));
    QVERIFY(rs.rowCount() >= 4);
    std::unique_ptr<DbError> error;
    EXPECT_DB_ERROR(c->execute(QStringLiteral("EXEC sp_detach_db @dbname = 'NoSuchDb'")), error);
    QCOMPARE(error->number(), 15010);
}

QTEST_MAIN(AccessTest)
#include "access_test.moc"
