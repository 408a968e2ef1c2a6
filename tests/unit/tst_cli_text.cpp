#include "CliOutput.h"
#include "Console.h"
#include "ConsoleOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTest>

// The command line's text at its edges: JSON lines that strict readers take, the pieces a
// Windows console is handed, and the bytes of a password on standard input.
class TestCliText : public QObject
{
    Q_OBJECT
private slots:
    void jsonStrict_data();
    void jsonStrict();
    void jsonOrdinaryAsBefore();
    void tableCellsVisible_data();
    void tableCellsVisible();
    void consoleChunks_data();
    void consoleChunks();
    void inputLine_data();
    void inputLine();
};

void TestCliText::jsonStrict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped"); // what must appear in the line
    QTest::newRow("C0 controls") << QStringLiteral("a\x01\x1b[31mb\x1f") << "a\\u0001\\u001b[31mb\\u001f";
    QTest::newRow("NUL") << QString(QChar(0)) << "\\u0000";
    QTest::newRow("DEL and C1") << QStringLiteral("\x7f\u0085\u009f") << "\\u007f\\u0085\\u009f";
    QTest::newRow("line separators") << QStringLiteral("\u2028\u2029") << "\\u2028\\u2029";
    QTest::newRow("quote, backslash, line ends") << QStringLiteral("\"D:\\x\"\r\n\t") << "\\\"D:\\\\x\\\"\\r\\n\\t";
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + "x"
                                         << "\\ud800x";
    QTest::newRow("lone low surrogate at the end") << "x" + QString(QChar(0xDC00)) << "x\\udc00";
    QTest::newRow("pair the wrong way round") << QString(QChar(0xDC00)) + QChar(0xD800) << "\\udc00\\ud800";
    QTest::newRow("pair and Chinese kept") << QStringLiteral("账套\U0001F600") << "账套\U0001F600";
}

void TestCliText::jsonStrict()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    const QString line = tp::cli::jsonLine({ { QStringLiteral("message"), text } });
    QVERIFY2(line.contains(escaped), qPrintable(line));
    QVERIFY(line.endsWith(QLatin1Char('\n')));
    const QByteArray bytes = line.chopped(1).toUtf8();
    QStringDecoder strict(QStringConverter::Utf8);
    QCOMPARE(strict.decode(bytes), line.chopped(1));
    QVERIFY2(!strict.hasError(), bytes.constData());
    // One line also for readers that end lines at every Unicode line boundary (Python's
    // splitlines: NEL, U+2028, U+2029 and the C0 separators), and no control character raw.
    for (const QChar c : line.chopped(1)) {
        const char16_t u = c.unicode();
        QVERIFY2(u >= 0x20 && (u < 0x7f || u > 0x9f) && u != 0x2028 && u != 0x2029, qPrintable(line));
    }
    QJsonParseError e;
    const QJsonDocument d = QJsonDocument::fromJson(bytes, &e);
    QVERIFY2(e.error == QJsonParseError::NoError, qPrintable(e.errorString()));
    QCOMPARE(d.object().value(QStringLiteral("message")).toString(), text);
}

// The lines scripts read today keep their keys, order and numbers.
void TestCliText::jsonOrdinaryAsBefore()
{
    const QJsonObject row { { QStringLiteral("database"), QStringLiteral("UFDATA_001_2005") },
        { QStringLiteral("dataSize"), double(1310720) }, { QStringLiteral("logSize"), double(-1) },
        { QStringLiteral("ratio"), 0.1 }, { QStringLiteral("logRebuilt"), false }, { QStringLiteral("error"), 5172 },
        { QStringLiteral("dataFile"), QStringLiteral("/srv/账套 数据\\ZT001\\2005\\ufdata.MDF") },
        { QStringLiteral("summary"),
            QJsonObject { { QStringLiteral("attached"), 2 }, { QStringLiteral("names"), QJsonArray { "a", 1 } } } } };
    QCOMPARE(tp::cli::jsonLine(row), QString::fromUtf8(QJsonDocument(row).toJson(QJsonDocument::Compact)) + "\n");
}

void TestCliText::tableCellsVisible_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("shown");
    QTest::newRow("terminal escape") << QStringLiteral("\x1b[2J\x1b[31mBooks") << "\\u001b[2J\\u001b[31mBooks";
    QTest::newRow("line end and tab") << QStringLiteral("a\r\nb\tc") << "a\\u000d\\u000ab\\u0009c";
    QTest::newRow("C1 and DEL") << QStringLiteral("\u009b\x7f") << "\\u009b\\u007f";
    QTest::newRow("line separators") << QStringLiteral("a\u2028b\u2029") << "a\\u2028b\\u2029";
    QTest::newRow("bidirectional override") << QStringLiteral("fdm.\u202eXLS") << "fdm.\\u202eXLS";
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << "\\ud800";
    QTest::newRow("path, Chinese and a pair kept")
        << QStringLiteral("D:\\账套\\ZT001\U0001F600") << QStringLiteral("D:\\账套\\ZT001\U0001F600");
}

// A name or message with control characters keeps the table's rows on their lines and cannot
// drive the terminal; the cell shows what is there.
void TestCliText::tableCellsVisible()
{
    QFETCH(QString, cell);
    QFETCH(QString, shown);
    QCOMPARE(tp::cli::alignedTable({ QStringLiteral("数据库名"), QStringLiteral("说明") }, { { cell, "x" } })
                 .section(QLatin1Char('\n'), 1, 1)
                 .section(QStringLiteral("  "), 0, 0),
        shown);
}

void TestCliText::consoleChunks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxUnits");
    QTest::addColumn<QStringList>("chunks");
    QTest::newRow("empty") << QString() << 8 << QStringList();
    QTest::newRow("line ends become CR LF once")
        << QStringLiteral("a\nb\r\n\n") << 64 << QStringList { QStringLiteral("a\r\nb\r\n\r\n") };
    QTest::newRow("split at the limit")
        << QStringLiteral("账套数据库") << 2
        << QStringList { QStringLiteral("账套"), QStringLiteral("数据"), QStringLiteral("库") };
    QTest::newRow("pair not split")
        << QStringLiteral("a\U0001F600b") << 2
        << QStringList { QStringLiteral("a"), QStringLiteral("\U0001F600"), QStringLiteral("b") };
    QTest::newRow("pair at the end of a piece")
        << QStringLiteral("ab\U0001F600") << 3 << QStringList { QStringLiteral("ab"), QStringLiteral("\U0001F600") };
}

void TestCliText::consoleChunks()
{
    QFETCH(QString, text);
    QFETCH(int, maxUnits);
    QFETCH(QStringList, chunks);
    QCOMPARE(tp::consoleChunks(text, maxUnits), chunks);
}

void TestCliText::inputLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("codePage");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("text");
    const QByteArray gbk("\xC3\xDC\xC2\xEB"); // 密码 in code page 936
    QTest::newRow("UTF-8") << QByteArray("\xE5\xAF\x86\xE7\xA0\x81") << 936u << true << QStringLiteral("密码");
    QTest::newRow("UTF-8 after a byte order mark") << QByteArray("\xEF\xBB\xBFpw") << 0u << true << "pw";
    QTest::newRow("empty") << QByteArray() << 0u << true << "";
    QTest::newRow("not UTF-8, no code page") << gbk << 0u << false << "";
#ifdef Q_OS_WIN
    QTest::newRow("code page 936") << gbk << 936u << true << QStringLiteral("密码");
    QTest::newRow("a lead byte without its trail") << QByteArray("pw\x81") << 936u << false << "";
#endif
}

void TestCliText::inputLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(uint, codePage);
    QFETCH(bool, read);
    QFETCH(QString, text);
    const std::optional<QString> decoded = tp::decodeInputLine(bytes, codePage);
    QCOMPARE(decoded.has_value(), read);
    if (read)
        QCOMPARE(*decoded, text);
}

QTEST_APPLESS_MAIN(TestCliText)
#include "tst_cli_text.moc"
