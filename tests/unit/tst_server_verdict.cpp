// The server's verdict without a server: the version table, reading a batch's answer, the
// verdict applied to a row, the file's own access, and the other .MDF files of a root.

#include "Ado.h"
#include "FileAccess.h"
#include "OtherDataFiles.h"
#include "ServerVerdict.h"
#include "ServerVersions.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace tp;

Q_DECLARE_METATYPE(tp::FileFit)
Q_DECLARE_METATYPE(tp::YearState)

namespace {

QHash<QString, FileAccess> g_access; // what the fake check answers, by file

FileAccess fakeAccess(const QString& file, const QString&)
{
    return g_access.value(file);
}

// "M<n>" a marker result, "R:<name>:<version>" a checkprimaryfile result, "E:<n>" an error and
// "W:<n>" an informational message with the last result (or before the first), "L" a broken link.
BatchAnswer answerOf(const QStringList& script)
{
    BatchAnswer a;
    for (const QString& step : script) {
        const QStringList p = step.split(QLatin1Char(':'));
        auto messages = [&a]() -> QVector<OdbcDiagnostic>& {
            return a.results.isEmpty() ? a.leading : a.results.last().messages;
        };
        if (step.startsWith(QLatin1Char('M')))
            a.results.append({ { QStringLiteral("verdict_item") }, { { step.mid(1).toInt() } }, {} });
        else if (p.first() == QLatin1String("R"))
            a.results.append({ { QStringLiteral("property"), QStringLiteral("value") },
                { { QStringLiteral("Database name"), p.at(1) }, { QStringLiteral("Database version"), p.at(2) } },
                {} });
        else if (p.first() == QLatin1String("E") || p.first() == QLatin1String("W"))
            messages().append({ p.first() == QLatin1String("E") ? QStringLiteral("42000") : QStringLiteral("01000"),
                p.at(1).toInt(), QStringLiteral("[FreeTDS][SQL Server]message %1").arg(p.at(1)) });
        else if (step == QLatin1String("L")) {
            messages().append({ QStringLiteral("08S01"), 20004, QStringLiteral("Read from the server failed") });
            a.linkLost = true;
        }
    }
    return a;
}

} // namespace

class TestServerVerdict : public QObject
{
    Q_OBJECT
private slots:
    void versions_data();
    void versions();
    void answer_data();
    void answer();
    void apply_data();
    void apply();
    void fileAccess_data();
    void fileAccess();
    void otherDataFiles();
    void recordedLog_data();
    void recordedLog();
};

void TestServerVerdict::versions_data()
{
    QTest::addColumn<int>("file");
    QTest::addColumn<QString>("server");
    QTest::addColumn<FileFit>("fit");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sentencePart");
    QTest::newRow("2000 file on 2022") << 539 << "16.0.1000.6" << FileFit::TooOld << "2000（539）"
                                       << "附加到一台 SQL Server 2008 或 2008 R2 的服务器上";
    QTest::newRow("2005 file on 2022") << 611 << "16.0.1000.6" << FileFit::TooOld << "2005（611）"
                                       << "SQL Server 2008、2008 R2、2012 或 2014";
    QTest::newRow("7.0 file on 2022: step by step") << 515 << "16.0.1000.6" << FileFit::TooOld << "2000 以前（515）"
                                                    << "依次把它附加到 SQL Server 2000、SQL Server 2008 R2";
    QTest::newRow("2022 file on 2019") << 957 << "15.0.2000.5" << FileFit::TooNew << "2022（957）"
                                       << "SQL Server 2022 或更新版本";
    QTest::newRow("2008 R2 file on 2008") << 661 << "10.0.6000.29" << FileFit::TooNew << "2008 R2（661）"
                                          << "SQL Server 2008 R2 或更新版本";
    QTest::newRow("2008 R2 RTM file on 2008 R2") << 660 << "10.50.1600.1" << FileFit::Same << "2008 R2（660）"
                                                 << "";
    QTest::newRow("vardecimal file on 2005") << 612 << "9.00.5000.00" << FileFit::Same << "2005（612）"
                                             << "";
    QTest::newRow("2008 file on 2022 is upgraded for good")
        << 655 << "16.0.1000.6" << FileFit::Upgrades << "2008（655）"
        << "不能再附加到 SQL Server 2008 的服务器上";
    QTest::newRow("beyond the table") << 1200 << "17.0.1000.7" << FileFit::TooNew << "未知（1200）"
                                      << "写出它的那个版本";
}

void TestServerVerdict::versions()
{
    QFETCH(int, file);
    QFETCH(QString, server);
    QFETCH(FileFit, fit);
    QFETCH(QString, name);
    QFETCH(QString, sentencePart);
    const ServerVersion* s = serverVersionOf(server);
    QVERIFY(s);
    QCOMPARE(fileFit(file, *s), fit);
    QCOMPARE(fileVersionName(file), name);
    const QString sentence = fit == FileFit::TooOld ? tooOldSentence(file, s)
        : fit == FileFit::TooNew                    ? tooNewSentence(file, s)
        : fit == FileFit::Upgrades                  ? upgradeSentence(file, *s)
                                                    : QString();
    QVERIFY2(sentence.contains(sentencePart), qPrintable(sentence));
}

void TestServerVerdict::answer_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<int>("next");
    QTest::addColumn<QStringList>("verdicts"); // "name version error" or "-" when no answer came
    QTest::newRow("a refusal between two files read")
        << 0 << QStringList { "M0", "R:A:957", "M1", "E:5172", "W:2528", "M2", "R:B:539" } << 3
        << QStringList { "A 957 0", " 0 5172", "B 539 0" };
    QTest::newRow("a fatal error ends the batch") << 0 << QStringList { "M0", "R:A:957", "M1", "E:1813", "E:948", "L" }
                                                  << 2 << QStringList { "A 957 0", " 0 948", "-" };
    QTest::newRow("the link breaks before the answer")
        << 0 << QStringList { "M0", "L" } << 1 << QStringList { "-", "-", "-" };
    QTest::newRow("refused as a whole") << 0 << QStringList { "E:102" } << 0 << QStringList { "-", "-", "-" };
    QTest::newRow("a later batch") << 1 << QStringList { "M1", "R:A:611", "M2", "E:5120" } << 3
                                   << QStringList { "-", "A 611 0", " 0 5120" };
}

void TestServerVerdict::answer()
{
    QFETCH(int, first);
    QFETCH(QStringList, script);
    QFETCH(int, next);
    QFETCH(QStringList, verdicts);
    QList<FileVerdict> read(3);
    QCOMPARE(readVerdictAnswer(answerOf(script), first, &read), next);
    QStringList actual;
    for (const FileVerdict& v : read)
        actual << (v.answered ? QStringLiteral("%1 %2 %3").arg(v.recordedName).arg(v.fileVersion).arg(v.error)
                              : QStringLiteral("-"));
    QCOMPARE(actual, verdicts);
}

void TestServerVerdict::apply_data()
{
    QTest::addColumn<YearState>("before");
    QTest::addColumn<int>("error"); // of the server; 0 when it read the file
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("fileVersion");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("readOnly"); // "data", "log" or ""
    QTest::addColumn<QString>("unreadable");
    QTest::addColumn<YearState>("state");
    QTest::addColumn<int>("verdictError");
    QTest::addColumn<QString>("textPart"); // of verdictText, or of fileVersionText after a "|"
    const YearState ready = YearState::Ready;
    const QString v16 = QStringLiteral("16.0.1000.6");
    const QString os = QStringLiteral("Unable to open the physical file \"D:\\Data\\ufdata.MDF\". Operating system "
                                      "error %1: \"%1(x)\".");
    QTest::newRow("the account may not open it")
        << ready << 5120 << os.arg(5) << 0 << v16 << ""
        << "" << YearState::NoAccess << 5120 << "/grant \"NT Service\\MSSQLSERVER\"";
    QTest::newRow("another program holds it") << ready << 5120 << os.arg(32) << 0 << v16 << ""
                                              << "" << YearState::CannotOpen << 5120 << "另一个 SQL Server 实例";
    QTest::newRow("not a primary file") << ready << 5171 << "x is not a primary database file." << 0 << v16 << ""
                                        << "" << YearState::NotDatabase << 5171 << "不是主数据文件";
    QTest::newRow("2000 file on 2022") << ready << 0 << "" << 539 << v16 << ""
                                       << "" << YearState::TooOld << 950 << "2008 或 2008 R2";
    QTest::newRow("2025 file on 2022") << ready << 0 << "" << 998 << v16 << ""
                                       << "" << YearState::TooNew << 948 << "SQL Server 2025 或更新版本";
    QTest::newRow("read-only log, same version") << ready << 0 << "" << 957 << v16 << "log"
                                                 << "" << YearState::ReadOnly << 0 << "不能记账";
    QTest::newRow("read-only data, upgrade") << ready << 0 << "" << 782 << v16 << "data"
                                             << "" << YearState::ReadOnly << 3415 << "升级须写入文件";
    QTest::newRow("the account may not read the log") << ready << 0 << "" << 957 << v16 << ""
                                                      << "log" << YearState::NoAccess << 5120 << "D:\\Data\\ufdata.LDF";
    QTest::newRow("no log: only the data file counts") << YearState::LogMissing << 0 << "" << 957 << v16 << "log"
                                                       << "log" << YearState::LogMissing << 0 << "";
    QTest::newRow("upgrade shown") << ready << 0 << "" << 782 << v16 << ""
                                   << "" << ready << 0 << "|2014（782），附加后升级为 2022（957）";
    QTest::newRow("server version unknown: no verdict of the table") << ready << 0 << "" << 539 << ""
                                                                     << ""
                                                                     << "" << ready << 0 << "|2000（539）";
    QTest::newRow("no answer came") << ready << -1 << "" << 0 << v16 << ""
                                    << "" << ready << 0 << "";
}

void TestServerVerdict::apply()
{
    QFETCH(YearState, before);
    QFETCH(int, error);
    QFETCH(QString, message);
    QFETCH(int, fileVersion);
    QFETCH(QString, server);
    QFETCH(QString, readOnly);
    QFETCH(QString, unreadable);
    QFETCH(YearState, state);
    QFETCH(int, verdictError);
    QFETCH(QString, textPart);
    PlanRow row;
    row.databaseName = QStringLiteral("UFDATA_001_2007");
    row.dataFile = QStringLiteral("D:\\Data\\ufdata.MDF");
    row.logFile = QStringLiteral("D:\\Data\\ufdata.LDF");
    row.state = before;
    FileVerdict v;
    v.answered = error >= 0;
    v.error = qMax(error, 0);
    v.message = message;
    v.fileVersion = fileVersion;
    g_access.clear();
    g_access[readOnly == QLatin1String("data") ? row.dataFile : row.logFile].readOnly = !readOnly.isEmpty();
    if (!unreadable.isEmpty())
        g_access[row.logFile].unreadable = true;
    applyVerdict(row, v, { server, QStringLiteral("NT Service\\MSSQLSERVER") }, &fakeAccess);
    QCOMPARE(row.state, state);
    QCOMPARE(row.verdictError, verdictError);
    const QString text = textPart.startsWith(QLatin1Char('|')) ? fileVersionText(row) : verdictText(row);
    QVERIFY2(text.contains(textPart.mid(textPart.startsWith(QLatin1Char('|')) ? 1 : 0)), qPrintable(text));
    QVERIFY2(!textPart.isEmpty() || verdictText(row).isEmpty(), qPrintable(verdictText(row)));
}

void TestServerVerdict::fileAccess_data()
{
    QTest::addColumn<int>("mode"); // octal permission bits
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("unreadable");
    QTest::newRow("nobody may write it") << 0444 << "" << true << false;
    QTest::newRow("writable") << 0644 << "" << false << false;
#ifndef Q_OS_WIN
    // The file is this test's own: another account is judged by the group and other bits.
    QTest::newRow("another account, owner's bits only") << 0600 << "nobody" << true << true;
    QTest::newRow("another account reads but may not write") << 0644 << "nobody" << true << false;
    QTest::newRow("a Windows-style account name") << 0644 << "DOMAIN\\nobody" << true << false;
    QTest::newRow("the superuser may do anything") << 0400 << "root" << false << false;
#endif
}

void TestServerVerdict::fileAccess()
{
    QFETCH(int, mode);
    QFETCH(QString, account);
    QFETCH(bool, readOnly);
    QFETCH(bool, unreadable);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("ufdata.MDF"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QFile::Permissions p;
    if (mode & 0400)
        p |= QFile::ReadOwner | QFile::ReadUser;
    if (mode & 0200)
        p |= QFile::WriteOwner | QFile::WriteUser;
    if (mode & 0040)
        p |= QFile::ReadGroup;
    if (mode & 0004)
        p |= QFile::ReadOther;
    QVERIFY(QFile::setPermissions(path, p));
    const FileAccess a = fileAccessFor(QDir::toNativeSeparators(path), account);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(a.readOnly, readOnly);
    QCOMPARE(a.unreadable, unreadable);
}

// The other .MDF files: found anywhere under the root but the account-year data files, named
// by their verdict with the log the file lists, and kept from names that are taken.
void TestServerVerdict::otherDataFiles()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    for (const char* name : { "ZT001/2005/ufdata.MDF", "ZT001/2005/extra.mdf", "parked/Books.MDF",
             "parked/books_log.LDF", "ZT001/05/ufdata.MDF", "parked/notes.ndf", "Sales.mdf", "Old.mdf" }) {
        QVERIFY(QDir().mkpath(QFileInfo(root + QLatin1Char('/') + QLatin1String(name)).path()));
        QFile f(root + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    const QList<OtherDataFile> found = walkOtherDataFiles(root, walkDataRoot(root));
    QStringList paths;
    for (const OtherDataFile& f : found)
        paths << QString(f.dataFile).replace(root, QStringLiteral("<root>"));
    QCOMPARE(paths,
        QStringList({ "<root>\\Old.mdf", "<root>\\parked\\Books.MDF", "<root>\\Sales.mdf",
            "<root>\\ZT001\\05\\ufdata.MDF", "<root>\\ZT001\\2005\\extra.mdf" }));

    const QList<ServerDatabase> server { { QStringLiteral("Sales"), QStringLiteral("D:\\Elsewhere\\Sales.mdf") },
        { QStringLiteral("Old"), found.at(0).dataFile } };
    QList<PlanRow> rows = otherFileRows(found, server);
    QCOMPARE(rows.at(0).state, YearState::Attached);
    QCOMPARE(rows.at(0).databaseName, QStringLiteral("Old"));
    const auto verdict = [](const QString& name, const QString& log) {
        FileVerdict v;
        v.answered = true;
        v.recordedName = name;
        v.fileVersion = 957;
        v.files = { { 1, false, name, QStringLiteral("C:\\x\\") + name + QStringLiteral(".mdf") },
            { 2, true, name + QStringLiteral("_log"), log } };
        return v;
    };
    PlanRow year;
    year.databaseName = QStringLiteral("UFDATA_001_2005");
    year.dataFile = QStringLiteral("<year>");
    QList<PlanRow> earlier { year };
    nameOtherFileRow(rows[1], verdict("Books", "C:\\x\\books_log.LDF"), server, earlier, &serverFileExists);
    QCOMPARE(rows.at(1).state, YearState::Ready);
    QCOMPARE(rows.at(1).logFile, root + QStringLiteral("\\parked\\books_log.LDF"));
    nameOtherFileRow(rows[2], verdict("sales", "C:\\x\\s.ldf"), server, earlier, &serverFileExists);
    QCOMPARE(rows.at(2).state, YearState::NameTaken);
    QCOMPARE(rows.at(2).otherFile, QStringLiteral("D:\\Elsewhere\\Sales.mdf"));
    nameOtherFileRow(rows[3], verdict("UFDATA_001_2005", "C:\\x\\u.ldf"), server, earlier, &serverFileExists);
    QCOMPARE(rows.at(3).state, YearState::NameTaken);
    QCOMPARE(rows.at(3).otherFile, QStringLiteral("<year>"));
    nameOtherFileRow(
        rows[4], verdict("Extra", root + QStringLiteral("/parked/Books.MDF")), server, earlier, &serverFileExists);
    QCOMPARE(rows.at(4).state, YearState::Ready); // the log where the file recorded it
    QCOMPARE(rows.at(4).logFile, root + QStringLiteral("/parked/Books.MDF"));
    PlanRow gone = rows.at(4);
    gone.state = YearState::Ready;
    nameOtherFileRow(gone, verdict("Extra2", "C:\\x\\missing.ldf"), server, earlier, &serverFileExists);
    QCOMPARE(gone.state, YearState::LogMissing);
    gone.state = YearState::Ready;
    nameOtherFileRow(gone, FileVerdict {}, server, earlier, &serverFileExists);
    QCOMPARE(gone.state, YearState::CannotOpen);
}

// A year without ufdata.LDF takes the log its data file records only when that log is there
// and no other database or year has it.
void TestServerVerdict::recordedLog_data()
{
    QTest::addColumn<QString>("recorded");
    QTest::addColumn<YearState>("state");
    QTest::newRow("the rebuilt log is there") << "D:\\SQL\\DATA\\UFDATA_001_2007_log.ldf" << YearState::Ready;
    QTest::newRow("the recorded log is gone too") << "D:\\Old\\ufdata.LDF" << YearState::LogMissing;
    QTest::newRow("another database has it") << "D:\\SQL\\DATA\\Books_log.ldf" << YearState::LogMissing;
    QTest::newRow("another year's log (a copied year)") << "d:\\data\\zt001\\2006\\UFDATA.ldf"
                                                        << YearState::LogMissing;
}

void TestServerVerdict::recordedLog()
{
    QFETCH(QString, recorded);
    QFETCH(YearState, state);
    QList<PlanRow> plan(2);
    plan[0].state = YearState::Ready;
    plan[0].dataFile = QStringLiteral("D:\\Data\\ZT001\\2006\\ufdata.MDF");
    plan[0].logFile = QStringLiteral("D:\\Data\\ZT001\\2006\\ufdata.LDF");
    plan[1].state = YearState::LogMissing;
    plan[1].dataFile = QStringLiteral("D:\\Data\\ZT001\\2007\\ufdata.MDF");
    plan[1].logFile = QStringLiteral("D:\\Data\\ZT001\\2007\\ufdata.LDF");
    FileVerdict v;
    v.answered = true;
    v.files = { { 1, false, QStringLiteral("d"), plan[1].dataFile }, { 2, true, QStringLiteral("l"), recorded } };
    const QList<ServerDatabase> server { { QStringLiteral("Books"), QStringLiteral("D:\\SQL\\DATA\\Books.mdf"),
        { QStringLiteral("D:\\SQL\\DATA\\Books.mdf"), QStringLiteral("D:\\SQL\\DATA\\Books_log.ldf") }, {} } };
    QSet<QString> taken = takenFileKeys(server, plan);
    useRecordedLog(plan[1], v, &taken, [](const QString& path) { return !path.contains(QLatin1String("Old")); });
    QCOMPARE(plan[1].state, state);
    const QString scheme = QStringLiteral("D:\\Data\\ZT001\\2007\\ufdata.LDF");
    QCOMPARE(plan[1].logFile, state == YearState::Ready ? recorded : scheme);
}

QTEST_GUILESS_MAIN(TestServerVerdict)
#include "tst_server_verdict.moc"
