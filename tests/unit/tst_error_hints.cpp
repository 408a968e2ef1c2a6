#include "ErrorHints.h"

#include <QTest>

using tp::ErrorContext;
using tp::Operation;

Q_DECLARE_METATYPE(tp::Operation)

class TestErrorHints : public QObject
{
    Q_OBJECT
private slots:
    void hint_data();
    void hint();
    void switchBackFailed();
    void linkFaults_data();
    void linkFaults();
    void refusalExplained_data();
    void refusalExplained();
    void refusedSwitch_data();
    void refusedSwitch();
    void detail_data();
    void detail();
};

void TestErrorHints::hint_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("sqlState");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("found"); // otherFile for 1801, owner for 5120
    QTest::addColumn<QString>("hintPart");
    QTest::addColumn<QString>("notInHint");
    const Operation run = Operation::YearAttach;
    QTest::newRow("1801 in a run, other files") << run << 1801 << "42000" << true << "D:\\old\\a.mdf"
                                                << "用的是另外的文件：D:\\old\\a.mdf"
                                                << "换一个数据库名称";
    QTest::newRow("1801 in the file window") << Operation::FileAttach << 1801 << "42000" << true << ""
                                             << "换一个数据库名称"
                                             << "";
    QTest::newRow("5120, file of an attached database") << run << 5120 << "42000" << true << "UFDATA_001_2006"
                                                        << "属于已经附加的数据库“UFDATA_001_2006”"
                                                        << "不存在";
    QTest::newRow("5120, missing file") << run << 5120 << "42000" << true << ""
                                        << "不存在"
                                        << "";
    QTest::newRow("4060 on shrink: stale name") << Operation::Shrink << 4060 << "08004" << false << ""
                                                << "名称已过时"
                                                << "无法连接";
    QTest::newRow("15010 on detach: stale name") << Operation::Detach << 15010 << "42000" << true << ""
                                                 << "名称已过时"
                                                 << "";
    QTest::newRow("4060 elsewhere") << Operation::Refresh << 4060 << "08004" << false << ""
                                    << "无法打开"
                                    << "";
    QTest::newRow("link lost after the attach left") << run << 20004 << "08S01" << true << ""
                                                     << "服务器可能已经附加了这个年度"
                                                     << "无法连接";
    QTest::newRow("time-out after the detach left") << Operation::Detach << 0 << "HYT00" << true << ""
                                                    << "刷新数据库列表查看"
                                                    << "无法连接";
    QTest::newRow("ODBC time-out of a shrink: not a lost link") << Operation::Shrink << 0 << "HYT00" << true << ""
                                                                 << "规定的时间"
                                                                 << "连接中断";
    QTest::newRow("FreeTDS time-out of an attach") << run << 20003 << "" << true << ""
                                                   << "服务器可能已经附加了这个年度"
                                                   << "连接中断";
    QTest::newRow("login time-out") << Operation::Refresh << 0 << "HYT00" << false << ""
                                    << "无法连接到服务器"
                                    << "规定的时间";
    QTest::newRow("link lost before sending") << Operation::Detach << 20009 << "08S01" << false << ""
                                              << "无法连接到服务器"
                                              << "可能已经";
    // Qt's ODBC driver asks for ODBC 2: FreeTDS's time-out is S1T00, the cancel after it S1008.
    QTest::newRow("ODBC 2 time-out of a shrink") << Operation::Shrink << 0 << "S1T00" << true << ""
                                                 << "规定的时间"
                                                 << "连接中断";
    QTest::newRow("ODBC 2 cancel after a time-out") << Operation::Detach << 0 << "S1008" << true << ""
                                                    << "规定的时间"
                                                    << "连接中断";
    QTest::newRow("ODBC 2 login time-out") << Operation::Refresh << 0 << "S1T00" << false << ""
                                           << "无法连接到服务器"
                                           << "规定的时间";
    // Microsoft's driver gives the socket's error as the number of a lost link.
    QTest::newRow("link lost with a socket error number") << Operation::Detach << 10054 << "08S01" << true << ""
                                                          << "服务器可能已经分离了这个数据库"
                                                          << "";
    QTest::newRow("FreeTDS 20002: connection failed during the login")
        << Operation::Refresh << 20002 << "" << false << ""
        << "登录过程中断开"
        << "SA密码";
    QTest::newRow("unknown number") << Operation::Shrink << 50000 << "42000" << true << ""
                                    << ""
                                    << "";
}

void TestErrorHints::hint()
{
    QFETCH(Operation, operation);
    QFETCH(int, number);
    QFETCH(QString, sqlState);
    QFETCH(bool, sent);
    QFETCH(QString, found);
    QFETCH(QString, hintPart);
    QFETCH(QString, notInHint);
    tp::DbError e(number, QStringLiteral("words"), sqlState);
    e.setStatementSent(sent);
    ErrorContext c { operation, QStringLiteral("UFDATA_001_2007") };
    (number == 5120 ? c.owner : c.otherFile) = found;
    const QString hint = tp::errorHint(e, c);
    if (hintPart.isEmpty())
        QCOMPARE(hint, QString());
    QVERIFY2(hint.contains(hintPart), qPrintable(hint));
    QVERIFY2(notInHint.isEmpty() || !hint.contains(notInHint), qPrintable(hint));
}

// A shrink that could not set the recovery model back says so first, whatever the error.
void TestErrorHints::switchBackFailed()
{
    ErrorContext c { Operation::Shrink, QStringLiteral("UFDATA_001_2007") };
    c.recoveryModel = QStringLiteral("FULL");
    c.recoverySwitch = ErrorContext::Switch::Back;
    for (const auto& [number, state] : { std::pair { 20004, "08S01" }, std::pair { 5069, "42000" } }) {
        tp::DbError e(number, QStringLiteral("words"), QString::fromLatin1(state));
        e.setStatementSent(true);
        const QString hint = tp::errorHint(e, c);
        QVERIFY2(hint.contains(QStringLiteral("可能仍是简单恢复模式")) && hint.contains(QStringLiteral("改回 FULL")),
            qPrintable(hint));
    }
}

// A time-out or a lost link in either ODBC form; the server's own 08004 is an answer.
void TestErrorHints::linkFaults_data()
{
    QTest::addColumn<QString>("sqlState");
    QTest::addColumn<int>("fault");
    const int timedOut = int(tp::LinkFault::TimedOut);
    const int lost = int(tp::LinkFault::Lost);
    const int none = int(tp::LinkFault::None);
    for (const char* state : { "HYT00", "S1T00", "HYT01", "HY008", "S1008" })
        QTest::newRow(state) << state << timedOut;
    for (const char* state : { "08S01", "08001", "08003", "08007" })
        QTest::newRow(state) << state << lost;
    for (const char* state : { "08004", "S1000", "HY000", "42000", "01000", "" })
        QTest::newRow(*state ? state : "none") << state << none;
}

void TestErrorHints::linkFaults()
{
    QFETCH(QString, sqlState);
    QFETCH(int, fault);
    QCOMPARE(int(tp::linkFaultOf(sqlState)), fault);
    QCOMPARE(tp::isLinkFailure(tp::DbError(0, QString(), sqlState)), fault != int(tp::LinkFault::None));
}

// The server's words tell the causes apart: the operating system's error of a 5120, the
// versions of 948 and 950, the second message of a two-message refusal.
void TestErrorHints::refusalExplained_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("words");
    QTest::addColumn<QList<int>>("numbers"); // every message number; the first is the error's
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("productVersion");
    QTest::addColumn<QString>("hintPart");
    QTest::addColumn<QString>("notInHint");
    const Operation run = Operation::YearAttach;
    const Operation scan = Operation::ScanAttach;
    const QString open
        = QStringLiteral("Unable to open the physical file \"%1\". Operating system error %2: \"%2(x)\".");
    QTest::newRow("log missing") << run << open.arg("D:\\Data\\ZT001\\2007\\ufdata.LDF").arg(2)
                                 << QList<int> { 5120, 1802 } << ""
                                 << ""
                                 << "日志文件“D:\\Data\\ZT001\\2007\\ufdata.LDF”不存在"
                                 << "数据文件“";
    QTest::newRow("data file missing") << run << open.arg("D:\\Data\\ZT001\\2007\\ufdata.MDF").arg(2)
                                       << QList<int> { 5120, 1802 } << ""
                                       << ""
                                       << "数据文件“D:\\Data\\ZT001\\2007\\ufdata.MDF”不存在"
                                       << "日志文件";
    QTest::newRow("folder missing") << run << open.arg("X:\\Data\\ZT001\\2007\\ufdata.MDF").arg(3)
                                    << QList<int> { 5120 } << ""
                                    << ""
                                    << "不存在文件夹“X:\\Data\\ZT001\\2007”"
                                    << "";
    QTest::newRow("no access, account known: the icacls line")
        << scan << open.arg("D:\\Data\\ZT001\\2007\\ufdata.MDF").arg(5) << QList<int> { 5120 }
        << "NT Service\\MSSQLSERVER"
        << "16.0.1000.6"
        << "icacls \"D:\\Data\\ZT001\\2007\" /grant \"NT Service\\MSSQLSERVER\":(OI)(CI)F"
        << "再按一次";
    QTest::newRow("no access, account unknown")
        << run << open.arg("D:\\Data\\ufdata.MDF").arg(5) << QList<int> { 5120 } << ""
        << ""
        << "SQL Server 服务的登录账户"
        << "icacls";
    QTest::newRow("no access on a Linux server: the owner")
        << scan << open.arg("/srv/data\\ZT001\\2007\\ufdata.MDF").arg(5) << QList<int> { 5120 } << "mssql"
        << ""
        << "chown -R mssql \"/srv/data/ZT001/2007\""
        << "icacls";
    QTest::newRow("held by another program") << run << open.arg("D:\\a.mdf").arg(32) << QList<int> { 5120 } << ""
                                             << ""
                                             << "另一个 SQL Server 实例"
                                             << "";
    QTest::newRow("disk full") << run << open.arg("D:\\a.mdf").arg(112) << QList<int> { 5120 } << ""
                               << ""
                               << "磁盘空间不足"
                               << "";
    QTest::newRow("950 on 2022: 2008 or 2008 R2 bridge it")
        << run
        << "Database 'UFDATA_001_2007' cannot be upgraded because its non-release version (539) is not supported by "
           "this version of SQL Server. You must re-create the database."
        << QList<int> { 950, 1813 } << ""
        << "16.0.1000.6"
        << "SQL Server 2008 或 2008 R2"
        << "2005、";
    QTest::newRow("950 after 1813, on 2012: 2005 bridges too")
        << scan << "Could not open new database. Database 'x' cannot be upgraded because its non-release version (539)"
        << QList<int> { 1813, 950 } << ""
        << "11.0.7001.0"
        << "SQL Server 2005、2008 或 2008 R2"
        << "";
    QTest::newRow("948: the version it needs")
        << run
        << "The database 'x' cannot be opened because it is version 957. This server supports version 904 and earlier."
        << QList<int> { 1813, 948 } << ""
        << ""
        << "SQL Server 2022 或更新版本"
        << "";
    QTest::newRow("5113 then 1813: restore from a backup")
        << scan << "Could not open new database 'x'. CREATE DATABASE is aborted." << QList<int> { 1813, 5113 } << ""
        << ""
        << "从备份还原"
        << "";
    QTest::newRow("3415: read-only files")
        << run << "Database 'x' cannot be upgraded because it is read-only" << QList<int> { 3415 } << ""
        << ""
        << "只读"
        << "";
    QTest::newRow("5173: files of two databases")
        << run << "One or more files do not match the primary file" << QList<int> { 5173, 1813 } << ""
        << ""
        << "不属于同一个数据库"
        << "";
    // A rebuilt log that already exists under the new name: the hint names the file.
    QTest::newRow("5170: the new log file exists")
        << scan << "Cannot create file 'D:\\Data\\ZT001\\2007\\UFDATA_001_2007_log.LDF' because it already exists. "
                   "Change the file path or the file name, and retry the operation."
        << QList<int> { 5170, 1813 } << ""
        << ""
        << "“D:\\Data\\ZT001\\2007\\UFDATA_001_2007_log.LDF”已经存在"
        << "";
    QTest::newRow("lost reply in a scan names no button") << scan << "" << QList<int> { 20004 } << ""
                                                          << ""
                                                          << "重新扫描"
                                                          << "自动附加数据库";
}

void TestErrorHints::refusalExplained()
{
    QFETCH(Operation, operation);
    QFETCH(QString, words);
    QFETCH(QList<int>, numbers);
    QFETCH(QString, account);
    QFETCH(QString, productVersion);
    QFETCH(QString, hintPart);
    QFETCH(QString, notInHint);
    tp::DbError e(numbers.first(), words, numbers.first() == 20004 ? QStringLiteral("08S01") : QStringLiteral("42000"));
    e.setStatementSent(true);
    e.setMessageNumbers(QVector<int>(numbers.begin(), numbers.end()));
    ErrorContext c { operation, QStringLiteral("UFDATA_001_2007") };
    c.dataFile = QStringLiteral("D:\\Data\\ZT001\\2007\\ufdata.MDF");
    c.logFile = QStringLiteral("D:\\Data\\ZT001\\2007\\ufdata.LDF");
    c.serviceAccount = account;
    c.productVersion = productVersion;
    const QString hint = tp::errorHint(e, c);
    QVERIFY2(hint.contains(hintPart), qPrintable(hint));
    QVERIFY2(notInHint.isEmpty() || !hint.contains(notInHint), qPrintable(hint));
}

// A refused switch to SIMPLE says why the server refused it; nothing was shrunk.
void TestErrorHints::refusedSwitch_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("hintPart");
    QTest::addColumn<QString>("notInHint");
    QTest::newRow("mirrored") << 1468 << false << "数据库镜像" << "只读";
    QTest::newRow("read-only, 2012 and later") << 5004 << false << "是只读的" << "镜像";
    QTest::newRow("read-only, 2008 (5069 alone)") << 5069 << true << "是只读的" << "镜像";
}

void TestErrorHints::refusedSwitch()
{
    QFETCH(int, number);
    QFETCH(bool, readOnly);
    QFETCH(QString, hintPart);
    QFETCH(QString, notInHint);
    ErrorContext c { Operation::Shrink, QStringLiteral("UFDATA_001_2007") };
    c.recoveryModel = QStringLiteral("FULL");
    c.recoverySwitch = ErrorContext::Switch::ToSimple;
    c.readOnly = readOnly;
    tp::DbError e(number, QStringLiteral("words"), QStringLiteral("42000"));
    e.setStatementSent(true);
    const QString hint = tp::errorHint(e, c);
    QVERIFY2(hint.contains(hintPart) && hint.contains(QStringLiteral("所以没有收缩，恢复模式仍是 FULL"))
            && !hint.contains(notInHint),
        qPrintable(hint));
}

void TestErrorHints::detail_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("detail");
    QTest::newRow("prefixes and info lines out")
        << "[FreeTDS][SQL Server]Could not locate file 'x' for database 'd'.\n"
           "[FreeTDS][SQL Server]DBCC execution completed. If DBCC printed error messages, contact your system "
           "administrator."
        << "Could not locate file 'x' for database 'd'.";
    QTest::newRow("connect: records run together")
        << "Unable to connect to data source [FreeTDS][SQL Server]Login failed for user 'sa'. "
           "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Cannot open database \"a\"."
        << "Unable to connect to data source Login failed for user 'sa'. Cannot open database \"a\".";
    QTest::newRow("one bracket in a name stays") << "Database '[x]' already exists."
                                                 << "Database '[x]' already exists.";
}

void TestErrorHints::detail()
{
    QFETCH(QString, description);
    QFETCH(QString, detail);
    QCOMPARE(tp::driverDetail(description), detail);
}

QTEST_APPLESS_MAIN(TestErrorHints)
#include "tst_error_hints.moc"
