#include "NumberText.h"

#include <QTest>
#include <limits>

class TestNumberText : public QObject
{
    Q_OBJECT
private slots:
    void reading_data();
    void reading();
    void writing_data();
    void writing();
    void adding_data();
    void adding();
};

void TestNumberText::reading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("number");
    constexpr qint64 maxValue = std::numeric_limits<qint64>::max();
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();
    QTest::newRow("empty") << QString() << qint64(0);
    QTest::newRow("year") << QStringLiteral("2005") << qint64(2005);
    QTest::newRow("leading zero") << QStringLiteral("03") << qint64(3);
    QTest::newRow("zero") << QStringLiteral("0") << qint64(0);
    QTest::newRow("not a number") << QStringLiteral("abc") << qint64(0);
    QTest::newRow("digits then letters") << QStringLiteral("12ab") << qint64(12);
    QTest::newRow("letters then digits") << QStringLiteral("ab12") << qint64(0);
    QTest::newRow("leading blanks") << QStringLiteral("  7") << qint64(7);
    QTest::newRow("negative") << QStringLiteral("-1") << qint64(-1);
    QTest::newRow("plus") << QStringLiteral("+4") << qint64(4);
    QTest::newRow("sign alone") << QStringLiteral("-") << qint64(0);
    QTest::newRow("full-width digits") << QStringLiteral("３") << qint64(0);
    QTest::newRow("max") << QStringLiteral("9223372036854775807") << maxValue;
    QTest::newRow("max plus one") << QStringLiteral("9223372036854775808") << maxValue;
    QTest::newRow("huge") << QStringLiteral("99999999999999999999999999999") << maxValue;
    QTest::newRow("huge then letters") << QStringLiteral("99999999999999999999x5") << maxValue;
    QTest::newRow("min") << QStringLiteral("-9223372036854775808") << minValue;
    QTest::newRow("below min") << QStringLiteral("-9223372036854775809") << minValue;
    QTest::newRow("long zeros") << QStringLiteral("0000000000000000000000000012") << qint64(12);
}

void TestNumberText::reading()
{
    QFETCH(QString, text);
    QFETCH(qint64, number);
    QCOMPARE(tp::numberFromText(text), number);
}

void TestNumberText::writing_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("year") << qint64(2008) << QStringLiteral("2008");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0");
    QTest::newRow("minus one") << qint64(-1) << QStringLiteral("-1");
}

void TestNumberText::writing()
{
    QFETCH(qint64, number);
    QFETCH(QString, text);
    QCOMPARE(tp::textFromNumber(number), text);
}

void TestNumberText::adding_data()
{
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<qint64>("sum");
    constexpr qint64 maxValue = std::numeric_limits<qint64>::max();
    constexpr qint64 minValue = std::numeric_limits<qint64>::min();
    QTest::newRow("plain") << qint64(2007) << qint64(1) << qint64(2008);
    QTest::newRow("down to minus one") << qint64(0) << qint64(-1) << qint64(-1);
    QTest::newRow("max plus one") << maxValue << qint64(1) << maxValue;
    QTest::newRow("min minus one") << minValue << qint64(-1) << minValue;
    QTest::newRow("max minus one") << maxValue << qint64(-1) << maxValue - 1;
}

void TestNumberText::adding()
{
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(qint64, sum);
    QCOMPARE(tp::saturatingAdd(a, b), sum);
}

QTEST_APPLESS_MAIN(TestNumberText)
#include "tst_operations_numbertext.moc"
