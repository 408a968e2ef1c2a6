// The stand-in engine, called directly: sign-in, the database lists, sysfiles, syntax errors,
// version answers, batches, USE, RPC calls and the request log.

#include "engine_harness.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace enginetest;

class EngineQueriesTest : public QObject
{
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void databaseListOrder_data();
    void databaseListOrder();
    void sysdatabasesStar_data();
    void sysdatabasesStar();
    void sysdatabasesScope_data();
    void sysdatabasesScope();
    void sysfiles_data();
    void sysfiles();
    void sysaltfiles_data();
    void sysaltfiles();
    void syntaxErrors_data();
    void syntaxErrors();
    void longConditionChains_data();
    void longConditionChains();
    void versionAnswers_data();
    void versionAnswers();
    void batchRunsInOrderAndContinuesAfterRuntimeErrors();
    void useChangesDatabase();
    void clientHousekeeping_data();
    void clientHousekeeping();
    void rpcCalls();
    void requestLog();
};

void EngineQueriesTest::login_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("expected"); // "number/severity/state/text", empty = success

    const QString failed = QStringLiteral("18456/14/1/Login failed for user 'sa'.");
    QTest::newRow("right password") << 16 << "sa"
                                    << "Secret#1"
                                    << "master" << QStringList();
    QTest::newRow("user in other case") << 16 << "SA"
                                        << "Secret#1"
                                        << "" << QStringList();
    QTest::newRow("database name in other case") << 16 << "sa"
                                                 << "Secret#1"
                                                 << "MSDB" << QStringList();
    QTest::newRow("wrong password") << 16 << "sa"
                                    << "secret#1"
                                    << "master" << QStringList { failed };
    QTest::newRow("other user") << 16 << "bob"
                                << "Secret#1"
                                << "master"
                                << QStringList { QStringLiteral("18456/14/1/Login failed for user 'bob'.") };
    QTest::newRow("unknown database 2022")
        << 16 << "sa"
        << "Secret#1"
        << "Nowhere"
        << QStringList { QStringLiteral(
                             "4060/11/1/Cannot open database \"Nowhere\" requested by the login. The login failed."),
               failed };
    QTest::newRow("unknown database 2000")
        << 8 << "sa"
        << "Secret#1"
        << "Nowhere"
        << QStringList { QStringLiteral("4060/11/1/Cannot open database requested in login 'Nowhere'. Login fails."),
               failed };
}

void EngineQueriesTest::login()
{
    QFETCH(int, version);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(QStringList, expected);
    Harness h(version);
    const int s = h.engine().openSession();
    const LoginOutcome out = h.engine().login(s, user, password, database);
    QStringList got;
    for (const Message& m : out.messages)
        got << QStringLiteral("%1/%2/%3/%4").arg(m.number).arg(m.severity).arg(m.state).arg(m.text);
    QCOMPARE(got, expected);
    QCOMPARE(out.ok, expected.isEmpty());
    if (out.ok)
        QCOMPARE(out.database, database.isEmpty() ? QStringLiteral("master") : database.toLower());
}

void EngineQueriesTest::databaseListOrder_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("one blank") << "select name from sysdatabases ORDER BY name";
    QTest::newRow("two blanks") << "select name  from sysdatabases ORDER BY name";
    QTest::newRow("other case and lines") << "SELECT Name\r\nFROM SysDatabases\n\torder by NAME ASC;";
    QTest::newRow("qualified") << "select name from master.dbo.sysdatabases order by 1";
}

void EngineQueriesTest::databaseListOrder()
{
    QFETCH(QString, sql);
    Harness h;
    for (const char* n :
        { "ufsystem", "UFDATA_001_2008", "Tally", "UFDATA001", "UFDATA_001_2007", "db10", "db9", "_u" })
        QVERIFY(h.create(QString::fromLatin1(n)));
    const Reply r = h.run(sql);
    const auto rs = results(r);
    QVERIFY2(rs.size() == 1, qPrintable(describe(r).join('\n')));
    QCOMPARE(rs[0].columns.size(), 1);
    QCOMPARE(rs[0].columns[0].name, QStringLiteral("name"));
    QCOMPARE(rs[0].columns[0].type, ColumnType::NVarChar);
    QStringList names;
    for (const auto& row : rs[0].rows)
        names << text(row[0]);
    // "_" before digits before letters, case ignored, character by character.
    const QStringList expected { "_u", "db10", "db9", "master", "model", "msdb", "Tally", "tempdb", "UFDATA_001_2007",
        "UFDATA_001_2008", "UFDATA001", "ufsystem" };
    QCOMPARE(names, expected);
    const auto* done = std::get_if<Done>(&r.events.last());
    QVERIFY(done);
    QCOMPARE(done->rowCount, quint64(expected.size()));
    QVERIFY(done->status & Done::Count);
}

void EngineQueriesTest::sysdatabasesStar_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<qint64>("fullStatus");
    QTest::addColumn<qint64>("status2");
    QTest::addColumn<qint64>("cmptlevel");
    QTest::addColumn<qint64>("internalVersion");
    QTest::newRow("2000") << 8 << qint64(16) << qint64(1090519040) << qint64(80) << qint64(539);
    QTest::newRow("2005") << 9 << qint64(65536) << qint64(1090519040) << qint64(90) << qint64(611);
    QTest::newRow("2008") << 10 << qint64(65536) << qint64(1627389952) << qint64(100) << qint64(655);
    QTest::newRow("2022") << 16 << qint64(65536) << qint64(1627389952) << qint64(160) << qint64(957);
}

void EngineQueriesTest::sysdatabasesStar()
{
    QFETCH(int, version);
    QFETCH(qint64, fullStatus);
    QFETCH(qint64, status2);
    QFETCH(qint64, cmptlevel);
    QFETCH(qint64, internalVersion);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("UFDATA_001_2007")));
    QVERIFY(h.create(QStringLiteral("Tally")));
    QVERIFY(h.create(QStringLiteral("zeta")));
    const Reply r = h.run(QStringLiteral("SELECT * FROM sysdatabases WHERE (name >= N'u')"));
    const auto rs = results(r);
    QVERIFY2(rs.size() == 1, qPrintable(describe(r).join('\n')));
    const QStringList names { "name", "dbid", "sid", "mode", "status", "status2", "crdate", "reserved", "category",
        "cmptlevel", "filename", "version" };
    const QVector<ColumnType> types { ColumnType::NVarChar, ColumnType::SmallInt, ColumnType::VarBinary,
        ColumnType::SmallInt, ColumnType::Int, ColumnType::Int, ColumnType::DateTime, ColumnType::DateTime,
        ColumnType::Int, ColumnType::TinyInt, ColumnType::NVarChar, ColumnType::SmallInt };
    QCOMPARE(rs[0].columns.size(), 12);
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(rs[0].columns[i].name, names[i]);
        QCOMPARE(rs[0].columns[i].type, types[i]);
    }
    QCOMPARE(rs[0].columns[10].maxLength, 260);
    QCOMPARE(rs[0].rows.size(), 2); // UFDATA_001_2007 and zeta; Tally and the system databases are below u
    QStringList got;
    for (const auto& row : rs[0].rows)
        got << text(row[0]);
    got.sort();
    QCOMPARE(got, (QStringList { "UFDATA_001_2007", "zeta" }));
    const auto& row = rs[0].rows[0];
    QVERIFY(integer(row[1]) >= 5);
    QCOMPARE(std::get<QByteArray>(row[2]), QByteArray("\x01", 1));
    QCOMPARE(integer(row[3]), qint64(0));
    QCOMPARE(integer(row[4]), fullStatus);
    QCOMPARE(integer(row[5]), status2);
    QCOMPARE(std::get<DateTimeValue>(row[7]).days, 0);
    QCOMPARE(integer(row[8]), qint64(0));
    QCOMPARE(integer(row[9]), cmptlevel);
    QVERIFY(text(row[10]).endsWith(QStringLiteral(".mdf")));
    QCOMPARE(integer(row[11]), internalVersion);

    // Without a matching row the result is an empty set, not an error.
    const Reply none = h.run(QStringLiteral("SELECT * FROM sysdatabases WHERE (name >= N'zz')"));
    QCOMPARE(results(none).size(), 1);
    QCOMPARE(results(none)[0].rows.size(), 0);
    QVERIFY(errors(none).isEmpty());
}

void EngineQueriesTest::sysdatabasesScope_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("error"); // 0 = rows
    QTest::newRow("2000 in master") << 8 << "master"
                                    << "select name from sysdatabases" << 0;
    QTest::newRow("2000 elsewhere") << 8 << "msdb"
                                    << "select name from sysdatabases" << 208;
    QTest::newRow("2000 elsewhere qualified") << 8 << "msdb"
                                              << "select name from master..sysdatabases" << 0;
    QTest::newRow("2005 elsewhere") << 9 << "msdb"
                                    << "select name from sysdatabases" << 0;
    QTest::newRow("2022 sys schema") << 16 << "tempdb"
                                     << "select name from sys.sysdatabases" << 0;
    QTest::newRow("2000 sys schema") << 8 << "master"
                                     << "select name from sys.sysdatabases" << 208;
    QTest::newRow("unknown table") << 16 << "master"
                                   << "select name from sysdatabase" << 208;
    QTest::newRow("unknown column") << 16 << "master"
                                    << "select nam from sysdatabases" << 207;
}

void EngineQueriesTest::sysdatabasesScope()
{
    QFETCH(int, version);
    QFETCH(QString, database);
    QFETCH(QString, sql);
    QFETCH(int, error);
    Harness h(version);
    const int s = h.connect(database);
    QVERIFY(s > 0);
    const Reply r = h.run(s, sql);
    if (error == 0) {
        QVERIFY2(errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
        QCOMPARE(results(r).size(), 1);
        QCOMPARE(results(r)[0].rows.size(), 4);
        return;
    }
    QCOMPARE(numbers(r), QList<int> { error });
    const Message m = errors(r).first();
    QCOMPARE(m.severity, quint8(16));
    QCOMPARE(m.state, quint8(1));
    if (error == 208)
        QCOMPARE(m.text, QStringLiteral("Invalid object name '%1'.").arg(sql.section(' ', 3)));
    QVERIFY(results(r).isEmpty());
}

void EngineQueriesTest::sysfiles_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("fileid");
    QTest::addColumn<QString>("expectedName"); // empty: no row
    QTest::newRow("2000 log") << 8 << 2 << "Acct_Log";
    QTest::newRow("2000 data") << 8 << 1 << "Acct_Data";
    QTest::newRow("2005 log") << 9 << 2 << "Acct_Log";
    QTest::newRow("2022 data") << 16 << 1 << "Acct_Data";
    QTest::newRow("2022 no file 3") << 16 << 3 << "";
}

void EngineQueriesTest::sysfiles()
{
    QFETCH(int, version);
    QFETCH(int, fileid);
    QFETCH(QString, expectedName);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Acct")));
    const int s = h.connect(QStringLiteral("Acct"));
    QVERIFY(s > 0);
    const Reply r = h.run(s, QStringLiteral("SELECT name FROM sysfiles WHERE(fileid= %1)").arg(fileid));
    const auto rs = results(r);
    QVERIFY2(rs.size() == 1 && errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
    const Column& c = rs[0].columns[0];
    QCOMPARE(c.name, QStringLiteral("name"));
    QCOMPARE(c.maxLength, 128);
    // 2000's sysfiles has nchar(128): the name comes back blank-padded.
    QCOMPARE(c.type, version <= 8 ? ColumnType::NChar : ColumnType::NVarChar);
    if (expectedName.isEmpty()) {
        QCOMPARE(rs[0].rows.size(), 0);
        return;
    }
    QCOMPARE(rs[0].rows.size(), 1);
    const QString value = text(rs[0].rows[0][0]);
    QCOMPARE(value, version <= 8 ? expectedName.leftJustified(128, ' ') : expectedName);

    // The whole table: nine columns in fileid order, the log in group 0 with the log bit.
    const Reply all = h.run(s, QStringLiteral("select * from sysfiles"));
    const auto t = results(all);
    QCOMPARE(t.size(), 1);
    QCOMPARE(t[0].columns.size(), 9);
    QCOMPARE(t[0].columns[8].name, QStringLiteral("filename"));
    QCOMPARE(t[0].columns[8].maxLength, 260);
    QCOMPARE(t[0].rows.size(), 2);
    QCOMPARE(integer(t[0].rows[0][0]), qint64(1));
    QCOMPARE(integer(t[0].rows[1][1]), qint64(0));
    QVERIFY(integer(t[0].rows[1][5]) & 0x40);
    QVERIFY(!(integer(t[0].rows[0][5]) & 0x40));
    QVERIFY(text(t[0].rows[1][8]).trimmed().endsWith(QStringLiteral("Acct_log.ldf")));
}

void EngineQueriesTest::sysaltfiles_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("found");
    QTest::newRow("2000 master..") << 8 << "msdb" << "master..sysaltfiles" << true;
    QTest::newRow("2000 unqualified in master") << 8 << "master" << "sysaltfiles" << true;
    QTest::newRow("2000 unqualified elsewhere") << 8 << "msdb" << "sysaltfiles" << false;
    QTest::newRow("2000 no sys schema") << 8 << "master" << "sys.sysaltfiles" << false;
    QTest::newRow("2022 master.dbo.") << 16 << "tempdb" << "master.dbo.sysaltfiles" << true;
    QTest::newRow("2022 sys. anywhere") << 16 << "Acct" << "sys.sysaltfiles" << true;
}

// The files of every database, as the application looks up which database uses a file.
void EngineQueriesTest::sysaltfiles()
{
    QFETCH(int, version);
    QFETCH(QString, database);
    QFETCH(QString, from);
    QFETCH(bool, found);
    Harness h(version);
    QVERIFY(h.create(QStringLiteral("Acct")));
    const int s = h.connect(database);
    const QString log = h.files() + QStringLiteral("/Acct_log.ldf");
    const Reply r = h.run(s, QStringLiteral("SELECT DB_NAME(dbid), * FROM %1 WHERE filename = N'%2'").arg(from, log));
    if (!found) {
        QCOMPARE(numbers(r), QList<int> { 208 });
        return;
    }
    const auto rs = results(r);
    QVERIFY2(rs.size() == 1 && errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
    const bool fixed = version <= 8;
    const QStringList names { "", "fileid", "groupid", "size", "maxsize", "growth", "status", "perf", "dbid", "name",
        "filename", "createlsn", "droplsn" };
    const QVector<ColumnType> types { ColumnType::NVarChar, ColumnType::SmallInt, ColumnType::SmallInt, ColumnType::Int,
        ColumnType::Int, ColumnType::Int, ColumnType::Int, ColumnType::Int, ColumnType::SmallInt,
        fixed ? ColumnType::NChar : ColumnType::NVarChar, fixed ? ColumnType::NChar : ColumnType::NVarChar,
        ColumnType::Binary, ColumnType::Binary };
    QCOMPARE(rs[0].columns.size(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(rs[0].columns[i].name, names[i]);
        QCOMPARE(rs[0].columns[i].type, types[i]);
    }
    QCOMPARE(rs[0].columns[10].maxLength, 260);
    QCOMPARE(rs[0].columns[11].maxLength, 10);
    // The padded nchar filename still matches: trailing blanks do not count in '='.
    QCOMPARE(rs[0].rows.size(), 1);
    const auto& row = rs[0].rows[0];
    QCOMPARE(text(row[0]), QStringLiteral("Acct"));
    QCOMPARE(integer(row[1]), qint64(2));
    QCOMPARE(integer(row[2]), qint64(0));
    QVERIFY(integer(row[6]) & 0x40);
    QCOMPARE(integer(row[8]), qint64(5));
    QCOMPARE(text(row[9]), fixed ? QStringLiteral("Acct_Log").leftJustified(128) : QStringLiteral("Acct_Log"));
    QCOMPARE(text(row[10]), fixed ? log.leftJustified(260) : log);
    QVERIFY(std::holds_alternative<std::monostate>(row[11]) && std::holds_alternative<std::monostate>(row[12]));

    // Every file of every database, in dbid and fileid order.
    const auto all = results(h.run(s, QStringLiteral("SELECT dbid, fileid FROM %1").arg(from)));
    QStringList order;
    for (const auto& f : all.value(0).rows)
        order << QStringLiteral("%1.%2").arg(integer(f[0])).arg(integer(f[1]));
    QCOMPARE(order, (QStringList { "1.1", "1.2", "2.1", "2.2", "3.1", "3.2", "4.1", "4.2", "5.1", "5.2" }));
}

void EngineQueriesTest::syntaxErrors_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("expected"); // "number/severity/state/line: text"

    QTest::newRow("apostrophe in detach name")
        << 16 << "EXEC sp_detach_db @dbname = 'O'Brien'"
        << QStringList { "102/15/1/1: Incorrect syntax near 'Brien'.",
               "105/15/1/1: Unclosed quotation mark after the character string ''." };
    QTest::newRow("apostrophe in detach name 2000")
        << 8 << "EXEC sp_detach_db @dbname = 'O'Brien'"
        << QStringList { "170/15/1/1: Line 2: Incorrect syntax near 'Brien'.", // the text counts the USE line
               "105/15/1/1: Unclosed quotation mark before the character string ''." };
    QTest::newRow("string left open") << 16 << "SELECT 'abc"
                                      << QStringList {
                                             "105/15/1/1: Unclosed quotation mark after the character string 'abc'.",
                                             "102/15/1/1: Incorrect syntax near 'abc'."
                                         };
    QTest::newRow("keyword") << 16 << "select name from"
                             << QStringList { "156/15/1/1: Incorrect syntax near the keyword 'from'." };
    QTest::newRow("blank in shrink batch name") << 9 << "BACKUP LOG My Books WITH TRUNCATE_ONLY DBCC SHRINKFILE (x)"
                                                << QStringList { "102/15/1/1: Incorrect syntax near 'Books'." };
    QTest::newRow("hyphen in name") << 16 << "BACKUP LOG my-db TO DISK = 'NUL'"
                                    << QStringList { "102/15/1/1: Incorrect syntax near '-'." };
    QTest::newRow("digit first") << 16 << "BACKUP LOG 2007db TO DISK = 'NUL'"
                                 << QStringList { "102/15/1/1: Incorrect syntax near '2007'." };
    QTest::newRow("second line") << 16 << "select 1\nselect from x"
                                 << QStringList { "156/15/1/2: Incorrect syntax near the keyword 'from'." };
    QTest::newRow("truncate_only 2008") << 10 << "BACKUP LOG master WITH TRUNCATE_ONLY DBCC SHRINKFILE (mastlog)"
                                        << QStringList {
                                               "155/15/1/1: 'TRUNCATE_ONLY' is not a recognized BACKUP option."
                                           };
    QTest::newRow("unknown set option") << 16 << "set frobnicate on"
                                        << QStringList { "195/15/10/1: 'frobnicate' is not a recognized SET option." };
    QTest::newRow("empty bracket name")
        << 16 << "CREATE DATABASE [] ON (FILENAME = 'x.mdf') FOR ATTACH"
        << QStringList {
               "1038/15/4/1: An object or column name is missing or empty. For SELECT INTO statements, verify "
               "each column has a name. For other statements, look for empty alias names. Aliases defined as "
               "\"\" or [] are not allowed. Change the alias to a valid name."
           };
    QTest::newRow("nested too deeply")
        << 16 << QStringLiteral("select 1 where ") + QString(5000, '(') + QStringLiteral("1=1") + QString(5000, ')')
        << QStringList {
               "191/15/1/1: Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
               "up into smaller queries."
           };
    QTest::newRow("unsupported statement")
        << 16 << "DROP DATABASE x" << QStringList { "156/15/1/1: Incorrect syntax near the keyword 'DROP'." };
}

void EngineQueriesTest::syntaxErrors()
{
    QFETCH(int, version);
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    Harness h(version);
    // A compile error runs nothing of the batch: the USE in front of the broken statement stays undone.
    const Reply r = h.run(QStringLiteral("USE msdb\n") + sql);
    QStringList got;
    for (const Message& m : messages(r))
        got << QStringLiteral("%1/%2/%3/%4: %5").arg(m.number).arg(m.severity).arg(m.state).arg(m.line - 1).arg(m.text);
    QCOMPARE(got, expected);
    QCOMPARE(r.events.size(), expected.size() + 1);
    const auto* done = std::get_if<Done>(&r.events.last());
    QVERIFY(done && (done->status & Done::Error));
    const auto db = results(h.run(QStringLiteral("select db_name()")));
    QCOMPARE(text(db[0].rows[0][0]), QStringLiteral("master"));
}

void EngineQueriesTest::longConditionChains_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QStringList>("names");
    const auto chain = [](const char* term, const char* join) {
        QStringList terms;
        for (int i = 0; i < 20000; ++i)
            terms << QString::fromLatin1(term).arg(i);
        return terms.join(QLatin1String(join));
    };
    QTest::newRow("20,000 ORs") << chain("name = 'a%1'", " OR ") + " OR name = N'msdb'" << QStringList { "msdb" };
    QTest::newRow("20,000 ANDs") << chain("name <> 'a%1'", " AND ") + " AND dbid > 2"
                                 << QStringList { QString(120, 'a'), "model", "msdb" };
    QTest::newRow("ORs of ANDs") << chain("(dbid = %1 AND name = 'x')", " OR ") + " OR NOT dbid <> 1"
                                 << QStringList { "master" };
    const QString manyWildcards = QString("%a").repeated(40);
    QTest::newRow("LIKE, many wildcards, no match") << "name LIKE '" + manyWildcards + "%b'" << QStringList {};
    QTest::newRow("LIKE, many wildcards, matches")
        << "name LIKE '" + manyWildcards + "' OR name LIKE 'MS_B'" << QStringList { QString(120, 'a'), "msdb" };
    QTest::newRow("LIKE, case") << "name LIKE 'MASTER' OR name LIKE '_ode_'" << QStringList { "master", "model" };
    QTest::newRow("unknown terms") << chain("name = NULL AND dbid > %1", " OR ") + " OR dbid = 2"
                                   << QStringList { "tempdb" };
}

// A long chain of terms is answered like a short one, and the server lives on.
void EngineQueriesTest::longConditionChains()
{
    QFETCH(QString, where);
    QFETCH(QStringList, names);
    Harness h;
    QVERIFY(h.create(QString(120, 'a')));
    const Reply r = h.run(QStringLiteral("select name from sysdatabases where ") + where + " ORDER BY name");
    QVERIFY2(errors(r).isEmpty(), qPrintable(describe(r).join('\n')));
    QStringList got;
    for (const auto& row : results(r).value(0).rows)
        got << text(row.at(0));
    QCOMPARE(got, names);
}

void EngineQueriesTest::versionAnswers_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("productVersion");
    QTest::newRow("2000") << 8 << "8.00.2039";
    QTest::newRow("2005") << 9 << "9.00.5000.00";
    QTest::newRow("2008") << 10 << "10.0.6000.29";
    QTest::newRow("2022") << 16 << "16.0.1000.6";
}

void EngineQueriesTest::versionAnswers()
{
    QFETCH(int, version);
    QFETCH(QString, productVersion);
    Harness h(version);
    QCOMPARE(h.engine().version().productVersion, productVersion);
    QCOMPARE(h.engine().version().major, version);

    const auto variant = results(h.run(QStringLiteral("SELECT SERVERPROPERTY('ProductVersion')")));
    QCOMPARE(variant[0].columns[0].type, ColumnType::Variant);
    QCOMPARE(text(variant[0].rows[0][0]), productVersion);

    for (const char* sql : { "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))",
             "select convert(nvarchar(128), serverproperty('ProductVersion'))" }) {
        const auto rs = results(h.run(QString::fromLatin1(sql)));
        QVERIFY2(rs.size() == 1, sql);
        QCOMPARE(rs[0].columns[0].type, ColumnType::NVarChar);
        QCOMPARE(rs[0].columns[0].maxLength, 128);
        QCOMPARE(text(rs[0].rows[0][0]), productVersion);
    }
    const auto banner = results(h.run(QStringLiteral("SELECT @@VERSION")));
    QVERIFY(text(banner[0].rows[0][0]).startsWith(QStringLiteral("Microsoft SQL Server ")));
    QVERIFY(text(banner[0].rows[0][0]).contains(QStringLiteral(" - ") + productVersion + QStringLiteral(" (")));
}

void EngineQueriesTest::batchRunsInOrderAndContinuesAfterRuntimeErrors()
{
    Harness h;
    const Reply r = h.run(QStringLiteral("select 1; BACKUP LOG Nowhere TO DISK = N'NUL'\nselect 2 as two"));
    QCOMPARE(describe(r),
        (QStringList { "ROWS 1 x 1", "DONE status 16 rows 1",
            "MSG 911 sev 16 state 1 line 1 proc '': Database 'Nowhere' does not exist. Make sure that the name is "
            "entered correctly.",
            "MSG 3013 sev 16 state 1 line 1 proc '': BACKUP LOG is terminating abnormally.", "DONE status 2 rows 0",
            "ROWS 1 x 1", "DONE status 16 rows 1" }));
    QCOMPARE(results(r)[1].columns[0].name, QStringLiteral("two"));
    // An object error stops the batch there.
    const Reply stopped = h.run(QStringLiteral("select 1 select * from nothing select 2"));
    QCOMPARE(results(stopped).size(), 1);
    QCOMPARE(numbers(stopped), QList<int> { 208 });
    // SET NOCOUNT ON leaves the count bit off.
    const Reply quiet = h.run(QStringLiteral("SET NOCOUNT ON select 1"));
    const auto* done = std::get_if<Done>(&quiet.events.last());
    QVERIFY(done && !(done->status & Done::Count) && done->rowCount == 1);
}

void EngineQueriesTest::useChangesDatabase()
{
    Harness h(9);
    const Reply r = h.run(QStringLiteral("USE [MSDB]"));
    QCOMPARE(describe(r),
        (QStringList { "DATABASE master -> msdb",
            "MSG 5701 sev 10 state 1 line 1 proc '': Changed database context to 'msdb'.", "DONE status 0 rows 0" }));
    const Reply bad = h.run(QStringLiteral("use nowhere"));
    QCOMPARE(numbers(bad), QList<int> { 911 });
    QCOMPARE(errors(bad)[0].text,
        QStringLiteral("Could not locate entry in sysdatabases for database 'nowhere'. No entry found with that "
                       "name. Make sure that the name is entered correctly."));
    QCOMPARE(text(results(h.run(QStringLiteral("select db_name()")))[0].rows[0][0]), QStringLiteral("msdb"));
}

void EngineQueriesTest::clientHousekeeping_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("type info 2008+") << "sp_datatype_info_100 11" << QStringList { "DONE status 0 rows 0" };
    QTest::newRow("type info 2005") << "exec sp_datatype_info_90 11, 3" << QStringList { "DONE status 0 rows 0" };
    QTest::newRow("textsize") << "set textsize 64512 " << QStringList { "DONE status 0 rows 0" };
    QTest::newRow("tedious settings")
        << "set ansi_nulls on\nset ansi_null_dflt_on on\nset ansi_padding on\nset ansi_warnings on\nset arithabort on\n"
           "set concat_null_yields_null on\nset datefirst 7\nset dateformat mdy\nset implicit_transactions off\n"
           "set numeric_roundabort off\nset quoted_identifier on\nset textsize 2147483647\n"
           "set transaction isolation level read committed\nset xact_abort off"
        << QStringList(14, QStringLiteral("DONE status 0 rows 0"));
    QTest::newRow("language") << "set language us_english"
                              << QStringList {
                                     "MSG 5703 sev 10 state 1 line 1 proc '': Changed language setting to us_english.",
                                     "DONE status 0 rows 0"
                                 };
    QTest::newRow("unknown procedure")
        << "exec dbo.sp_nothing 1"
        << QStringList { "MSG 2812 sev 16 state 62 line 1 proc '': Could not find stored procedure 'dbo.sp_nothing'.",
               "DONE status 2 rows 0" };
    QTest::newRow("checkpoint") << "CHECKPOINT" << QStringList { "DONE status 0 rows 0" };
}

void EngineQueriesTest::clientHousekeeping()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, expected);
    Harness h;
    QCOMPARE(describe(h.run(sql)), expected);
}

void EngineQueriesTest::rpcCalls()
{
    Harness h;
    auto call = [](int id, QVector<RpcParam> params) {
        RpcCall c;
        c.procId = id;
        c.params = params;
        return c;
    };
    const QString list = QStringLiteral("select name from sysdatabases where name = @P1");
    // sp_prepexec: run the statement with its parameter, hand back the handle.
    const Reply prep = h.engine().executeRpc(h.session,
        { call(13,
            { RpcParam { QString(), true, Cell() },
                RpcParam { QString(), false, Cell(QStringLiteral("@P1 varchar(8)")) },
                RpcParam { QString(), false, Cell(list) },
                RpcParam { QString(), false, Cell(QStringLiteral("msdb")) } }) });
    QCOMPARE(describe(prep),
        (QStringList { "ROWS 1 x 1", "DONEINPROC status 16 rows 1", "RETURNSTATUS 0", "RETURNVALUE  = 1",
            "DONEPROC status 0 rows 0" }));
    QCOMPARE(text(results(prep)[0].rows[0][0]), QStringLiteral("msdb"));
    // sp_execute with another value, then sp_unprepare; a dropped handle is refused.
    const Reply again = h.engine().executeRpc(h.session,
        { call(12,
            { RpcParam { QString(), false, Cell(qint64(1)) },
                RpcParam { QString(), false, Cell(QStringLiteral("model")) } }) });
    QCOMPARE(text(results(again)[0].rows[0][0]), QStringLiteral("model"));
    QCOMPARE(
        describe(h.engine().executeRpc(h.session, { call(15, { RpcParam { QString(), false, Cell(qint64(1)) } }) })),
        (QStringList { "RETURNSTATUS 0", "DONEPROC status 0 rows 0" }));
    QCOMPARE(
        numbers(h.engine().executeRpc(h.session, { call(12, { RpcParam { QString(), false, Cell(qint64(1)) } }) })),
        QList<int> { 8179 });
    // sp_executesql.
    const Reply exec = h.engine().executeRpc(h.session,
        { call(10, { RpcParam { QStringLiteral("@statement"), false, Cell(QStringLiteral("select 7")) } }) });
    QCOMPARE(describe(exec),
        (QStringList { "ROWS 1 x 1", "DONEINPROC status 16 rows 1", "RETURNSTATUS 0", "DONEPROC status 0 rows 0" }));
    // Server cursors are not kept: refused as SQL Server refuses an unknown procedure.
    const Reply cursor = h.engine().executeRpc(h.session,
        { call(2,
            { RpcParam { QString(), true, Cell() },
                RpcParam { QString(), false, Cell(QStringLiteral("SET QUOTED_IDENTIFIER ON")) } }) });
    QCOMPARE(describe(cursor),
        (QStringList { "MSG 2812 sev 16 state 62 line 1 proc '': Could not find stored procedure 'sp_cursoropen'.",
            "DONEPROC status 2 rows 0" }));
    // A procedure by name.
    RpcCall byName;
    byName.procName = QStringLiteral("sp_detach_db");
    byName.params = { RpcParam { QStringLiteral("@dbname"), false, Cell(QStringLiteral("nowhere")) } };
    const Reply detach = h.engine().executeRpc(h.session, { byName });
    QCOMPARE(numbers(detach), QList<int> { 15010 });
    QCOMPARE(errors(detach)[0].procName, QStringLiteral("sp_detach_db"));
    QCOMPARE(describe(detach).mid(1), (QStringList { "RETURNSTATUS 1", "DONEPROC status 2 rows 0" }));
}

void EngineQueriesTest::requestLog()
{
    Harness h;
    const QString sql = QStringLiteral("select name  from sysdatabases ORDER BY name\n");
    h.run(sql);
    RpcCall c;
    c.procId = 10;
    c.params = { RpcParam { QString(), false, Cell(QStringLiteral("select 1")) } };
    h.engine().executeRpc(h.session, { c });
    RpcCall d;
    d.procName = QStringLiteral("sp_unknown");
    h.engine().executeRpc(h.session, { d });
    QFile log(h.requestLog());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    QCOMPARE(lines.size(), 4); // three lines and the empty rest after the last newline
    const QJsonObject batch = QJsonDocument::fromJson(lines[0]).object();
    QCOMPARE(batch.value("kind").toString(), QStringLiteral("batch"));
    QCOMPARE(batch.value("sql").toString(), sql);
    QCOMPARE(batch.value("database").toString(), QStringLiteral("master"));
    QCOMPARE(batch.value("session").toInt(), h.session);
    const QJsonObject rpc = QJsonDocument::fromJson(lines[1]).object();
    QCOMPARE(rpc.value("kind").toString(), QStringLiteral("rpc"));
    QCOMPARE(rpc.value("proc").toString(), QStringLiteral("sp_executesql"));
    QCOMPARE(rpc.value("sql").toString(), QStringLiteral("select 1"));
    const QJsonObject other = QJsonDocument::fromJson(lines[2]).object();
    QCOMPARE(other.value("proc").toString(), QStringLiteral("sp_unknown"));
    QCOMPARE(other.value("sql").toString(), QString());
}

QTEST_GUILESS_MAIN(EngineQueriesTest)
#include "engine_queries_test.moc"
