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
