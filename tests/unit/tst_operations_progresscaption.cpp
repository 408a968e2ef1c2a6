#include "ProgressCaption.h"

#include <QTest>

class TestProgressCaption : public QObject
{
    Q_OBJECT
private slots:
    void caption_data();
    void caption();
};

void TestProgressCaption::caption_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("left");
    QTest::addColumn<QString>("caption");
    QTest::newRow("two left") << "UFDATA_001_2005" << qint64(2)
                              << QStringLiteral("正在附加数据库 UFDATA_001_2005，还剩下 2 个，请稍后．．．．．．");
    QTest::newRow("none left") << "UFDATA_001_2007" << qint64(0)
                               << QStringLiteral("正在附加数据库 UFDATA_001_2007，还剩下 0 个，请稍后．．．．．．");
    QTest::newRow("large") << "UFDATA_1_9" << qint64(9223372036854775806LL)
                           << QStringLiteral(
                                  "正在附加数据库 UFDATA_1_9，还剩下 9223372036854775806 个，请稍后．．．．．．");
    QTest::newRow("empty boxes") << "UFDATA__" << qint64(1)
                                 << QStringLiteral("正在附加数据库 UFDATA__，还剩下 1 个，请稍后．．．．．．");
}

void TestProgressCaption::caption()
{
    QFETCH(QString, name);
    QFETCH(qint64, left);
    QFETCH(QString, caption);
    QCOMPARE(tp::progressCaption(name, left), caption);
}

QTEST_APPLESS_MAIN(TestProgressCaption)
#include "tst_operations_progresscaption.moc"
