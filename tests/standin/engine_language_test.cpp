// The stand-in engine's T-SQL around the statements: TRY ... CATCH, THROW, RAISERROR, variables,
// IF ... ELSE, per claimed version, and an attention during a slow shrink.

#include "engine_harness.h"

#include <QElapsedTimer>
#include <QFileInfo>

using namespace enginetest;

namespace {

// "number/severity/state/line: text" per message, "CLOSE" when the connection goes.
QStringList messageLines(const Reply& r)
{
    QStringList out;
    for (const Message& m : messages(r))
        out << QStringLiteral("%1/%2/%3/%4: %5").arg(m.number).arg(m.severity).arg(m.state).arg(m.line).arg(m.text);
    if (r.closeConnection)
        out << QStringLiteral("CLOSE");
    return out;
}

// The first row of the reply's last result set, one described cell each.
QStringList lastRow(const Reply& r)
{
    QStringList out;
    const auto rs = results(r);
    if (!rs.isEmpty() && !rs.last().rows.isEmpty()) {
        for (const Cell& c : rs.last().rows.first())
            out << describe(c);
    }
    return out;
}

// The shrink as the application sends it from 2012 on (THROW) or on 2008 (RAISERROR), one
// statement a line.
QString shrinkBatch(const QString& file, bool useThrow)
{
    const QString head = QStringLiteral("BEGIN TRY ALTER DATABASE [S] SET RECOVERY SIMPLE\nCHECKPOINT\n"
                                        "DBCC SHRINKFILE (%1)\nALTER DATABASE [S] SET RECOVERY FULL END TRY\n")
                             .arg(file);
    if (useThrow) {
        return head
            + QStringLiteral("BEGIN CATCH IF CAST(DATABASEPROPERTYEX(N'S','Recovery') AS nvarchar(128)) <> N'FULL'\n"
                             "ALTER DATABASE [S] SET RECOVERY FULL;\nTHROW; END CATCH");
    }
    return head
        + QStringLiteral(
            "BEGIN CATCH DECLARE @n int, @m nvarchar(2048) SELECT @n = ERROR_NUMBER(), @m = ERROR_MESSAGE()\n"
            "IF CAST(DATABASEPROPERTYEX(N'S','Recovery') AS nvarchar(128)) <> N'FULL' ALTER DATABASE [S] "
            "SET RECOVERY FULL;\nRAISERROR(N'%d %s', 16, 1, @n, @m) END CATCH");
}

const QString notFound = QStringLiteral("Could not locate file 'nope' for database 'S' in sys.database_files. The file "
                                        "either does not exist, or was dropped.");

} // namespace

class EngineLanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void tryCatch_data();
    void tryCatch();
    void variablesAndIf_data();
    void variablesAndIf();
    void raiseError_data();
    void raiseError();
    void attentionDuringSlowShrink_data();
    void attentionDuringSlowShrink();
};

void EngineLanguageTest::tryCatch_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("expected"); // messages
    QTest::addColumn<QStringList>("row"); // first row of the last result set, when given

    const QString mirror = QStringLiteral("ALTER DATABASE [S] SET PARTNER = N'TCP://mirror.example:5022'");
    const QString mirrored = QStringLiteral(
        "The operation cannot be performed on database \"S\" because it is involved in a database mirroring session "
        "or an availability group. Some operations are not allowed on a database that is participating in a database "
        "mirroring session or in an availability group.");
    // The caught error comes again with its own number, severity, state and line (the shrink's).
    QTest::newRow("2022 8985 caught, FULL again, THROW")
        << 16 << "" << shrinkBatch("nope", true) << QStringList { "8985/16/1/3: " + notFound } << QStringList();
    QTest::newRow("2012 8985 caught, FULL again, THROW")
        << 11 << "" << shrinkBatch("nope", true) << QStringList { "8985/16/1/3: " + notFound } << QStringList();
    QTest::newRow("2008 8985 caught, RAISERROR")
        << 10 << "" << shrinkBatch("nope", false) << QStringList { "50000/16/1/7: 8985 " + notFound } << QStringList();
    QTest::newRow("2022 shrink succeeds")
        << 16 << "" << shrinkBatch("S_Log", true)
        << QStringList { "2528/10/1/3: DBCC execution completed. If DBCC printed error messages, contact your system "
                         "administrator." }
        << QStringList();
    QTest::newRow("2022 mirrored: every message again")
        << 16 << mirror << shrinkBatch("S_Log", true)
        << QStringList { "1468/16/1/1: " + mirrored, "5069/16/1/1: ALTER DATABASE statement failed." } << QStringList();
    QTest::newRow("2008 mirrored: the last error in the text")
        << 10 << mirror << shrinkBatch("S_Log", false)
        << QStringList { "50000/16/1/7: 5069 ALTER DATABASE statement failed." } << QStringList();
    QTest::newRow("parse error: nothing runs, no CATCH")
        << 16 << ""
        << "PRINT 'first' BEGIN TRY SELECT FROM x END TRY BEGIN CATCH PRINT 'caught' END CATCH"
        << QStringList { "156/15/1/1: Incorrect syntax near the keyword 'FROM'." } << QStringList();
    QTest::newRow("208 at the same level: not caught, batch ends")
        << 16 << ""
        << "BEGIN TRY SELECT * FROM nothing END TRY BEGIN CATCH PRINT 'caught' END CATCH PRINT 'after'"
        << QStringList { "208/16/1/1: Invalid object name 'nothing'." } << QStringList();
    QTest::newRow("208 one level down: caught")
        << 16 << ""
        << "BEGIN TRY EXEC sp_executesql N'SELECT * FROM nothing' END TRY BEGIN CATCH PRINT ERROR_MESSAGE() END CATCH "
           "PRINT 'after'"
        << QStringList { "0/0/1/1: Invalid object name 'nothing'.", "0/0/1/1: after" } << QStringList();
    QTest::newRow("error in CATCH: to the client, the batch goes on")
        << 16 << ""
        << "BEGIN TRY RAISERROR('a', 16, 1) END TRY BEGIN CATCH RAISERROR('b', 16, 2) PRINT 'still' END CATCH"
        << QStringList { "50000/16/2/1: b", "0/0/1/1: still" } << QStringList();
    QTest::newRow("error in an inner CATCH: to the outer CATCH")
        << 16 << ""
        << "BEGIN TRY BEGIN TRY RAISERROR('a', 16, 1) END TRY BEGIN CATCH RAISERROR('b', 16, 2) END CATCH "
           "PRINT 'skipped' END TRY BEGIN CATCH PRINT ERROR_MESSAGE() END CATCH"
        << QStringList { "0/0/1/1: b" } << QStringList();
    QTest::newRow("severity 10 is not caught")
        << 16 << ""
        << "BEGIN TRY RAISERROR('note', 10, 1) PRINT 'on' END TRY BEGIN CATCH PRINT 'caught' END CATCH"
        << QStringList { "50000/10/1/1: note", "0/0/1/1: on" } << QStringList();
    QTest::newRow("THROW keeps the caught severity and state")
        << 16 << ""
        << "BEGIN TRY RAISERROR('x', 13, 7) END TRY BEGIN CATCH THROW; END CATCH" << QStringList { "50000/13/7/1: x" }
        << QStringList();
    QTest::newRow("THROW outside TRY ends the batch") << 16 << ""
                                                      << "THROW 50001, N'Not 100%% sure', 3; PRINT 'after'"
                                                      << QStringList { "50001/16/3/1: Not 100% sure" } << QStringList();
    QTest::newRow("THROW below 50000") << 16 << ""
                                       << "THROW 100, N'x', 1"
                                       << QStringList { "35100/16/10/1: Error number 100 in the THROW statement is "
                                                        "outside the valid range. Specify an "
                                                        "error number in the valid range of 50000 to 2147483647." }
                                       << QStringList();
    QTest::newRow("no ';' before THROW") << 16 << ""
                                         << "BEGIN TRY SELECT 1 END TRY BEGIN CATCH PRINT 'x' THROW END CATCH"
                                         << QStringList { "102/15/1/1: Incorrect syntax near 'THROW'." }
                                         << QStringList();
    QTest::newRow("bare THROW outside CATCH")
        << 16 << ""
        << "PRINT 'first';\nTHROW"
        << QStringList { "10704/15/1/2: To rethrow an error, a THROW statement must be used inside a CATCH block. "
                         "Insert the THROW statement inside a CATCH block, or add error parameters to the THROW "
                         "statement." }
        << QStringList();
    QTest::newRow("2008 has no THROW") << 10 << ""
                                       << "BEGIN TRY SELECT 1 END TRY BEGIN CATCH THROW; END CATCH"
                                       << QStringList { "102/15/1/1: Incorrect syntax near 'THROW'." } << QStringList();
    QTest::newRow("2000 has no TRY") << 8 << ""
                                     << "BEGIN TRY SELECT 1 END TRY BEGIN CATCH SELECT 2 END CATCH"
                                     << QStringList { "170/15/1/1: Line 1: Incorrect syntax near 'TRY'." }
                                     << QStringList();
    QTest::newRow("error functions in CATCH")
        << 16 << ""
        << "BEGIN TRY\nSELECT 1/0\nEND TRY BEGIN CATCH SELECT ERROR_NUMBER(), ERROR_SEVERITY(), ERROR_STATE(), "
           "ERROR_LINE(), ERROR_PROCEDURE(), ERROR_MESSAGE() END CATCH"
        << QStringList() << QStringList { "8134", "16", "1", "2", "NULL", "\"Divide by zero error encountered.\"" };
    QTest::newRow("error functions outside CATCH")
        << 16 << ""
        << "SELECT ERROR_NUMBER(), ERROR_MESSAGE()" << QStringList() << QStringList { "NULL", "NULL" };
}

void EngineLanguageTest::tryCatch()
{
    QFETCH(int, version);
    QFETCH(QString, setup);
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, row);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("S")));
    if (!setup.isEmpty())
        QVERIFY(errors(h.run(setup)).isEmpty());
    const int s = h.connect(QStringLiteral("S"));
    const Reply r = h.run(s, sql);
    QCOMPARE(messageLines(r), expected);
    if (!row.isEmpty())
        QCOMPARE(lastRow(r), row);
    // A caught failure leaves no error bit behind: the client sees the batch succeed unless told.
    const auto* done = std::get_if<Done>(&r.events.last());
    QVERIFY(done);
    if (expected.filter(QRegularExpression(QStringLiteral("^\\d+/1[1-9]/"))).isEmpty())
        QVERIFY2(!(done->status & Done::Error), qPrintable(describe(r).join('\n')));
    // The CATCH set the recovery model back, whatever failed.
    QCOMPARE(lastRow(h.run(QStringLiteral("SELECT DATABASEPROPERTYEX(N'S', 'Recovery')"))), QStringList { "\"FULL\"" });
}

void EngineLanguageTest::variablesAndIf_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("row");

    const QString sql
        = "DECLARE @a int = 5, @b nvarchar(10) SET @b = N'x' + CAST(@a AS nvarchar(10)) SELECT @a * 2 - 1, @b";
    QTest::newRow("DECLARE with a value, SET, expressions")
        << 16 << sql << QStringList() << QStringList { "9", "\"x5\"" };
    QTest::newRow("2005: no value in DECLARE")
        << 9 << sql
        << QStringList { "139/15/1/1: Cannot assign a default value to a local variable.",
               "137/15/2/1: Must declare the scalar variable \"@a\"." }
        << QStringList();
    QTest::newRow("SELECT assigns from the last row")
        << 16 << "DECLARE @n int SELECT @n = dbid FROM sysdatabases WHERE name LIKE N'm%' ORDER BY dbid SELECT @n"
        << QStringList() << QStringList { "4" };
    QTest::newRow("no row: the value stays")
        << 16 << "DECLARE @n int SET @n = 9 SELECT @n = dbid FROM sysdatabases WHERE name = N'none' SELECT @n"
        << QStringList() << QStringList { "9" };
    QTest::newRow("undeclared") << 16 << "PRINT 'never' SET @v = 1"
                                << QStringList { "137/15/2/1: Must declare the scalar variable \"@v\"." }
                                << QStringList();
    QTest::newRow("declared twice")
        << 16 << "DECLARE @a int DECLARE @A int"
        << QStringList { "134/15/1/1: The variable name '@A' has already been declared. Variable names must be unique "
                         "within a query batch or stored procedure." }
        << QStringList();
    QTest::newRow("assignment with retrieval")
        << 16 << "DECLARE @n int SELECT @n = 1, 2"
        << QStringList { "141/15/1/1: A SELECT statement that assigns a value to a variable must not be combined with "
                         "data-retrieval operations." }
        << QStringList();
    QTest::newRow("unknown type")
        << 16 << "DECLARE @d datetime2"
        << QStringList { "2715/16/3/1: Column, parameter, or variable #1: Cannot find data type datetime2." }
        << QStringList();
    QTest::newRow("nvarchar without a length holds one character")
        << 16 << "DECLARE @s nvarchar SET @s = N'abc' SELECT @s" << QStringList() << QStringList { "\"a\"" };
    QTest::newRow("a variable lives in the whole batch")
        << 16 << "IF 1 = 0 BEGIN DECLARE @x int END SET @x = 3 SELECT @x" << QStringList() << QStringList { "3" };
    QTest::newRow("IF ELSE") << 16 << "IF 1 = 2 PRINT 'a' ELSE PRINT 'b'" << QStringList { "0/0/1/1: b" }
                             << QStringList();
    QTest::newRow("unknown takes ELSE") << 16 << "IF NULL = NULL PRINT 'a' ELSE BEGIN PRINT 'b'; PRINT 'c' END"
                                        << QStringList { "0/0/1/1: b", "0/0/1/1: c" } << QStringList();
    QTest::newRow("ELSE after ';'") << 16 << "IF 1 = 1 PRINT 'a'; ELSE PRINT 'b'"
                                    << QStringList { "156/15/1/1: Incorrect syntax near the keyword 'ELSE'." }
                                    << QStringList();
    QTest::newRow("sql_variant number is not text")
        << 16 << "IF DATABASEPROPERTYEX(N'master', 'Version') = N'957' PRINT 'equal' ELSE PRINT 'differ'"
        << QStringList { "0/0/1/1: differ" } << QStringList();
    QTest::newRow("sql_variant text in the collation")
        << 16 << "IF DATABASEPROPERTYEX(N'master', 'Recovery') = N'simple ' PRINT 'equal'"
        << QStringList { "0/0/1/1: equal" } << QStringList();
    QTest::newRow("@@ERROR")
        << 16 << "BACKUP LOG nowhere TO DISK = 'NUL' SELECT @@ERROR"
        << QStringList { "911/16/1/1: Database 'nowhere' does not exist. Make sure that the name is entered correctly.",
               "3013/16/1/1: BACKUP LOG is terminating abnormally." }
        << QStringList { "3013" };
    QTest::newRow("divide by zero ends the statement")
        << 16 << "SELECT 1/0 PRINT 'next'"
        << QStringList { "8134/16/1/1: Divide by zero error encountered.", "0/0/1/1: next" } << QStringList();
    QTest::newRow("conversion error ends the batch")
        << 16 << "DECLARE @i int SET @i = N'abc' PRINT 'next'"
        << QStringList { "245/16/1/1: Conversion failed when converting the nvarchar value 'abc' to data type int." }
        << QStringList();
    QTest::newRow("compile error in sp_executesql ends that level only")
        << 16 << "EXEC sp_executesql N'SELECT * FROM nothing' PRINT 'after'"
        << QStringList { "208/16/1/1: Invalid object name 'nothing'.", "0/0/1/1: after" } << QStringList();
    QTest::newRow("EXEC @rc =")
        << 16 << "DECLARE @rc int EXEC @rc = sp_detach_db 'nowhere' SELECT @rc"
        << QStringList { "15010/16/1/1: The database 'nowhere' does not exist. Supply a valid database name. To see "
                         "available databases, use sys.databases." }
        << QStringList { "1" };
}

void EngineLanguageTest::variablesAndIf()
{
    QFETCH(int, version);
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, row);
    Harness h(version);
    const Reply r = h.run(sql);
    QCOMPARE(messageLines(r), expected);
    QCOMPARE(lastRow(r), row);
}

void EngineLanguageTest::raiseError_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("text with arguments") << 16 << "RAISERROR(N'%d of %5s|', 16, 1, 5, N'x')"
                                         << QStringList { "50000/16/1/1: 5 of     x|" };
    QTest::newRow("from a variable") << 16
                                     << "DECLARE @m nvarchar(100) SET @m = N'from %s' RAISERROR(@m, 11, 4, N'var')"
                                     << QStringList { "50000/11/4/1: from var" };
    QTest::newRow("severity below 10 keeps its class")
        << 16 << "RAISERROR('x', 5, 1)" << QStringList { "50000/5/1/1: x" };
    QTest::newRow("server message, its own severity")
        << 16 << "RAISERROR(15004, -1, -1)" << QStringList { "15004/16/1/1: Name cannot be NULL." };
    QTest::newRow("number below 13000")
        << 16 << "RAISERROR(100, 16, 1)"
        << QStringList { "2732/16/1/1: Error number 100 is invalid. The number must be from 13000 through 2147483647 "
                         "and it cannot be 50000." };
    QTest::newRow("number not in sys.messages")
        << 16 << "RAISERROR(50001, 16, 2)"
        << QStringList { "18054/16/1/1: Error 50001, severity 16, state 2 was raised, but no message with that error "
                         "number was found in sys.messages. If error is larger than 50000, make sure the user-defined "
                         "message is added using sp_addmessage." };
    QTest::newRow("severity 19 without LOG")
        << 16 << "RAISERROR('x', 19, 1)"
        << QStringList { "2754/16/1/1: Error severity levels greater than 18 can only be specified by members of the "
                         "sysadmin role, using the WITH LOG option." };
    QTest::newRow("severity 20 WITH LOG closes")
        << 16 << "RAISERROR('x', 20, 1) WITH LOG PRINT 'never'" << QStringList { "50000/20/1/1: x", "CLOSE" };
    QTest::newRow("severity above 25, state below 0")
        << 16 << "RAISERROR('x', 30, -5) WITH LOG" << QStringList { "50000/25/1/1: x", "CLOSE" };
    QTest::newRow("state above 255") << 16 << "RAISERROR('x', 16, 300)"
                                     << QStringList {
                                            "2756/16/1/1: Invalid value 300 for state. Valid range is from 0 to 255."
                                        };
    QTest::newRow("argument of the wrong type")
        << 16 << "RAISERROR('%d', 16, 1, N'x')"
        << QStringList { "2786/16/1/1: The data type of substitution parameter 1 does not match the expected type of "
                         "the format specification." };
    QTest::newRow("21 arguments")
        << 16 << "PRINT 'never' RAISERROR('x', 16, 1, 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21)"
        << QStringList { "2747/16/1/1: Too many substitution parameters for RAISERROR. Cannot exceed 20 substitution "
                         "parameters." };
    QTest::newRow("an expression is no argument")
        << 16 << "RAISERROR('%d', 16, 1, 1 + 1)" << QStringList { "102/15/1/1: Incorrect syntax near '+'." };
    QTest::newRow("2000: bad substitution") << 8 << "RAISERROR('%d', 16, 2, N'x')"
                                            << QStringList { "2757/16/1/1: RAISERROR failed due to invalid parameter "
                                                             "substitution(s) for error 50000, severity 16, state 2." };
    QTest::newRow("2000: number below 13000")
        << 8 << "RAISERROR(100, 16, 1)"
        << QStringList { "2732/16/1/1: Error number 100 is invalid. The number must be from 13000 through 2147483647" };
    QTest::newRow("SETERROR") << 16 << "RAISERROR('x', 1, 1) WITH SETERROR PRINT @@ERROR"
                              << QStringList { "50000/1/1/1: x", "0/0/1/1: 50000" };
}

void EngineLanguageTest::raiseError()
{
    QFETCH(int, version);
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    Harness h(version);
    QCOMPARE(messageLines(h.run(sql)), expected);
}

void EngineLanguageTest::attentionDuringSlowShrink_data()
{
    QTest::addColumn<bool>("attention");
    QTest::newRow("attention: stops at the shrink") << true;
    QTest::newRow("no attention: runs to the end") << false;
}

void EngineLanguageTest::attentionDuringSlowShrink()
{
    QFETCH(bool, attention);
    Harness h;
    QVERIFY(h.create(QStringLiteral("S")));
    h.setShrinkDelay(200);
    const qint64 logSize = QFileInfo(h.files() + QStringLiteral("/S_log.ldf")).size();
    const int s = h.connect(QStringLiteral("S"));
    int asked = 0;
    RequestControl control;
    control.waitForAttention = [&](int ms) {
        ++asked;
        if (!attention)
            QThread::msleep(ulong(ms));
        return attention;
    };
    QElapsedTimer timer;
    timer.start();
    const Reply r = h.engine().executeBatch(s, QStringLiteral("PRINT 'first' ") + shrinkBatch("S_Log", true), control);
    QCOMPARE(r.attention, attention);
    QVERIFY(asked >= 1);
    const QString after = text(results(h.run(QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'S', 'Recovery') AS "
                                                            "nvarchar(128))")))
                                   .value(0)
                                   .rows.value(0)
                                   .value(0));
    if (attention) {
        // Nothing after the cancelled statement ran, no CATCH either: the database stays SIMPLE.
        QCOMPARE(messageLines(r), QStringList { "0/0/1/1: first" });
        const auto* done = std::get_if<Done>(&r.events.last());
        QVERIFY(done && (done->status & Done::Error));
        QCOMPARE(after, QStringLiteral("SIMPLE"));
        QCOMPARE(QFileInfo(h.files() + QStringLiteral("/S_log.ldf")).size(), logSize);
        return;
    }
    QVERIFY(timer.elapsed() >= 200);
    QCOMPARE(after, QStringLiteral("FULL"));
    QVERIFY(QFileInfo(h.files() + QStringLiteral("/S_log.ldf")).size() < logSize);
}

QTEST_GUILESS_MAIN(EngineLanguageTest)
#include "engine_language_test.moc"
