#include "PasswordScrub.h"

#include <QTest>

class TestPasswordScrub : public QObject
{
    Q_OBJECT
private slots:
    void scrub_data();
    void scrub();
};

void TestPasswordScrub::scrub_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("scrubbed");
    const QString serverText
        = QStringLiteral("[FreeTDS][SQL Server]The database 'data' cannot be opened. Login failed for user 'sa'.");
    // The letters of the password elsewhere in a message stay as they are.
    for (const char* pw : { "e", "ab", "sa'.", "data" })
        QTest::newRow(qPrintable(QStringLiteral("text untouched, password %1").arg(pw)))
            << QString::fromLatin1(pw) << serverText << serverText;
    QTest::newRow("1 character, bare") << "e"
                                       << "DRIVER={FreeTDS};SERVER=e;PWD=e;DATABASE=e"
                                       << "DRIVER={FreeTDS};SERVER=e;PWD=***;DATABASE=e";
    QTest::newRow("2 characters, OLE DB") << "ab"
                                          << "Provider=SQLOLEDB;Data Source=tab;Password=ab"
                                          << "Provider=SQLOLEDB;Data Source=tab;Password=***";
    QTest::newRow("4 characters with ; in braces") << "a;}b"
                                                   << "Connection string: DRIVER={FreeTDS};PWD={a;}}b};Server=x;"
                                                   << "Connection string: DRIVER={FreeTDS};PWD=***;Server=x;";
    QTest::newRow("4 characters with ; bare, as typed") << "Pw;9"
                                                        << "Login failed; PWD=Pw;9;"
                                                        << "Login failed; PWD=***;";
    QTest::newRow("common word, quoted, any case") << "data"
                                                   << "password = \"data\"; database=data"
                                                   << "password = ***; database=data";
    QTest::newRow("another password's value") << "data"
                                              << "Pwd={other}}x};UID=sa"
                                              << "Pwd=***;UID=sa";
    QTest::newRow("empty value stays") << "e"
                                       << "Password=;Data Source=e"
                                       << "Password=;Data Source=e";
    QTest::newRow("after any punctuation") << "Se;cret!"
                                           << "Invalid attribute:PWD=Se;cret!;\n[Pwd=Se;cret!"
                                           << "Invalid attribute:PWD=***;\n[Pwd=***";
    QTest::newRow("not an attribute name") << "e"
                                           << "NoPWD=e"
                                           << "NoPWD=e";
}

void TestPasswordScrub::scrub()
{
    QFETCH(QString, password);
    QFETCH(QString, text);
    QFETCH(QString, scrubbed);
    QCOMPARE(tp::scrubPassword(text, password), scrubbed);
}

QTEST_APPLESS_MAIN(TestPasswordScrub)
#include "tst_password_scrub.moc"
