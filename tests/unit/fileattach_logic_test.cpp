#include "FileAttachLogic.h"

#include <QtTest>

using namespace tp;

class FileAttachLogicTest : public QObject
{
    Q_OBJECT
private slots:
    void lookupStatement_data();
    void lookupStatement();
    void cleanRecordedPath_data();
    void cleanRecordedPath();
    void logFileRow_data();
    void logFileRow();
};

void FileAttachLogicTest::lookupStatement_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("expected");

    QTest::newRow("file list") << "C:\\ZT001\\2007\\ufdata.MDF" << 1
                               << "dbcc checkprimaryfile (N'C:\\ZT001\\2007\\ufdata.MDF',1) ";
    QTest::newRow("database name") << "C:\\ZT001\\2007\\ufdata.MDF" << 2
                                   << "dbcc checkprimaryfile (N'C:\\ZT001\\2007\\ufdata.MDF',2) ";
    QTest::newRow("blank in folder kept")
        << "/srv/sql data/books.mdf" << 1 << "dbcc checkprimaryfile (N'/srv/sql data/books.mdf',1) ";
    QTest::newRow("apostrophe doubled") << "/srv/O'Brien's/books.mdf" << 1
                                        << "dbcc checkprimaryfile (N'/srv/O''Brien''s/books.mdf',1) ";
    QTest::newRow("apostrophe doubled, option 2") << "'.mdf" << 2 << "dbcc checkprimaryfile (N'''.mdf',2) ";
    QTest::newRow("chinese folder") << "D:\\账套\\ufdata.MDF" << 2
                                    << "dbcc checkprimaryfile (N'D:\\账套\\ufdata.MDF',2) ";
}

void FileAttachLogicTest::lookupStatement()
{
    QFETCH(QString, path);
    QFETCH(int, option);
    QFETCH(QString, expected);
    QCOMPARE(checkPrimaryFileStatement(path, option), expected);
}

void FileAttachLogicTest::cleanRecordedPath_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("expected");

    const QString padded = QStringLiteral("C:\\ZT001\\2007\\ufdata.MDF") + QString(236, QLatin1Char(' '));
    QTest::newRow("nchar(260) padding") << padded << "C:\\ZT001\\2007\\ufdata.MDF";
    QTest::newRow("no padding") << "C:\\ZT001\\2007\\ufdata.MDF"
                                << "C:\\ZT001\\2007\\ufdata.MDF";
    QTest::newRow("blank in folder name") << "C:\\Program Files\\Data\\books.mdf      "
                                          << "C:\\Program Files\\Data\\books.mdf";
    QTest::newRow("blanks on both sides of a folder") << "/srv/a  b /c.mdf  "
                                                      << "/srv/a  b /c.mdf";
    QTest::newRow("line ends and blanks at the end") << "C:\\d\\x.mdf \r\n  \r\n"
                                                     << "C:\\d\\x.mdf";
    QTest::newRow("line end inside kept") << "C:\\d\r\n\\x.mdf "
                                          << "C:\\d\r\n\\x.mdf";
    QTest::newRow("leading blank kept") << " C:\\x.mdf "
                                        << " C:\\x.mdf";
    QTest::newRow("only padding") << "     "
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
}

void FileAttachLogicTest::cleanRecordedPath()
{
    QFETCH(QString, cell);
    QFETCH(QString, expected);
    QCOMPARE(tp::cleanRecordedPath(cell), expected);
}

void FileAttachLogicTest::logFileRow_data()
{
    QTest::addColumn<QVector<QVariant>>("groupIds");
    QTest::addColumn<int>("expected");

    QTest::newRow("data then log") << QVector<QVariant> { 1, 0 } << 1;
    QTest::newRow("three data files before the log") << QVector<QVariant> { 1, 1, 2, 0 } << 3;
    QTest::newRow("log before a second data file") << QVector<QVariant> { 1, 0, 1 } << 1;
    QTest::newRow("two logs: the first") << QVector<QVariant> { 1, 1, 0, 0 } << 2;
    QTest::newRow("group ids as text") << QVector<QVariant> { QString("1"), QString("1"), QString("0 ") } << 2;
    QTest::newRow("no row marked: row 1") << QVector<QVariant> { 1, 1, 1 } << 1;
    QTest::newRow("null group id is no mark") << QVector<QVariant> { 1, QVariant(QMetaType::fromType<int>()), 0 } << 2;
    QTest::newRow("empty text is no mark") << QVector<QVariant> { 1, QString(), 0 } << 2;
    QTest::newRow("empty list: row 1") << QVector<QVariant> {} << 1;
}

void FileAttachLogicTest::logFileRow()
{
    QFETCH(QVector<QVariant>, groupIds);
    QFETCH(int, expected);
    QCOMPARE(tp::logFileRow(groupIds), expected);
}

QTEST_APPLESS_MAIN(FileAttachLogicTest)
#include "fileattach_logic_test.moc"
