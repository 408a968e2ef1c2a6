#include "CliOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTest>

// The command line's text at its edges: JSON lines that strict readers take.
class TestCliText : public QObject
{
    Q_OBJECT
private slots:
    void jsonStrict_data();
    void jsonStrict();
    void jsonOrdinaryAsBefore();
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
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + "x" << "\\ud800x";
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

QTEST_APPLESS_MAIN(TestCliText)
#include "tst_cli_text.moc"
