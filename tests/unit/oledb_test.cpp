// Reading OLE DB connection strings, server names, the ODBC strings made from them, and the
// three connection strings of the login window.

#include "ConnectionStrings.h"
#include "OleDb.h"

#include <QtTest>

using namespace tp;

namespace {

using Pairs = QList<QPair<QString, QString>>;

// An ODBC connection string read by ODBC's rules: KEY=value pairs split at ';', a value
// that starts with '{' runs to the matching '}' with "}}" standing for '}'.
Pairs readOdbc(const QString& s, bool* wellFormed = nullptr)
{
    Pairs out;
    bool ok = true;
    int i = 0;
    const int n = s.size();
    while (i < n) {
        const int eq = s.indexOf(QLatin1Char('='), i);
        if (eq < 0) {
            ok = ok && s.mid(i).trimmed().isEmpty();
            break;
        }
        const QString key = s.mid(i, eq - i);
        i = eq + 1;
        QString value;
        if (i < n && s.at(i) == QLatin1Char('{')) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (s.at(i) == QLatin1Char('}')) {
                    if (i + 1 < n && s.at(i + 1) == QLatin1Char('}')) {
                        value += QLatin1Char('}');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += s.at(i++);
            }
            ok = ok && closed && (i == n || s.at(i) == QLatin1Char(';'));
        } else {
            const int semi = s.indexOf(QLatin1Char(';'), i);
            value = s.mid(i, (semi < 0 ? n : semi) - i);
            i = semi < 0 ? n : semi;
        }
        out << qMakePair(key, value);
        if (i < n)
            ++i; // past ';'
    }
    if (wellFormed)
        *wellFormed = ok;
    return out;
}

QString valueOf(const Pairs& pairs, const QString& key)
{
    for (const auto& p : pairs) {
        if (p.first.compare(key, Qt::CaseInsensitive) == 0)
            return p.second;
    }
    return QStringLiteral("<missing>");
}

QStringList keysOf(const Pairs& pairs)
{
    QStringList keys;
    for (const auto& p : pairs)
        keys << p.first;
    return keys;
}

QMap<QString, QString> sample(const QString& server, const QString& database = QStringLiteral("master"),
    const QString& password = QStringLiteral("pw"))
{
    QMap<QString, QString> m;
    m.insert(QStringLiteral("provider"), QStringLiteral("SQLOLEDB.1"));
    m.insert(QStringLiteral("data source"), server);
    m.insert(QStringLiteral("initial catalog"), database);
    m.insert(QStringLiteral("user id"), QStringLiteral("sa"));
    m.insert(QStringLiteral("password"), password);
    return m;
}

} // namespace

class OleDbTest : public QObject {
    Q_OBJECT
private slots:
    void parsesOleDbRules_data();
    void parsesOleDbRules();
    void quotedValuesReadBack_data();
    void quotedValuesReadBack();
    void quotesOnlyWhereNeeded_data();
    void quotesOnlyWhereNeeded();
    void readsDataSource_data();
    void readsDataSource();
    void buildsOdbcStrings_data();
    void buildsOdbcStrings();
    void odbcStringKeepsHostileValuesWhole_data();
    void odbcStringKeepsHostileValuesWhole();
    void olderFreeTdsBraces_data();
    void olderFreeTdsBraces();
    void choosesDriver_data();
    void choosesDriver();
    void threeConnectionStringsExactly_data();
    void threeConnectionStringsExactly();
    void connectionStringsKeepHostileValuesWhole_data();
    void connectionStringsKeepHostileValuesWhole();
};

void OleDbTest::parsesOleDbRules_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("expected"); // key, value, key, value... in key order

    QTest::newRow("plain") << "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=master;User ID=sa;Password=pw"
                           << QStringList { "data source", "(local)", "initial catalog", "master", "password", "pw",
                                  "provider", "SQLOLEDB", "user id", "sa" };
    QTest::newRow("keys ignore case, later wins") << "DATA SOURCE=one;data source=two;Data Source=three"
                                                  << QStringList { "data source", "three" };
    QTest::newRow("blanks around unquoted values and keys dropped")
        << "  Data Source =  srv one  ;  User ID= sa ;" << QStringList { "data source", "srv one", "user id", "sa" };
    QTest::newRow("double quotes keep ; and =") << "Password=\"a;b=c\";User ID=sa"
                                                << QStringList { "password", "a;b=c", "user id", "sa" };
    QTest::newRow("single quotes, doubled inside") << "Password='it''s';User ID=sa"
                                                   << QStringList { "password", "it's", "user id", "sa" };
    QTest::newRow("double quotes, doubled inside") << "Password=\"say \"\"hi\"\"\""
                                                   << QStringList { "password", "say \"hi\"" };
    QTest::newRow("other quote inside is plain") << "Password=\"it's\";X='a\"b'"
                                                 << QStringList { "password", "it's", "x", "a\"b" };
    QTest::newRow("quoted keeps blanks") << "Password=\"  pw  \"" << QStringList { "password", "  pw  " };
    QTest::newRow("blanks before an opening quote") << "Password=   'x;y'  ;User ID=sa"
                                                    << QStringList { "password", "x;y", "user id", "sa" };
    QTest::newRow("== is an = in a key") << "a==b=c;x=y" << QStringList { "a=b", "c", "x", "y" };
    QTest::newRow("= inside an unquoted value") << "Password=a=b;User ID=sa"
                                                << QStringList { "password", "a=b", "user id", "sa" };
    QTest::newRow("empty value") << "Password=;User ID=sa" << QStringList { "password", "", "user id", "sa" };
    QTest::newRow("empty value at the end") << "User ID=sa;Password=" << QStringList { "password", "", "user id", "sa" };
    QTest::newRow("empty pairs") << ";;Password=x;;;User ID=sa;;" << QStringList { "password", "x", "user id", "sa" };
    QTest::newRow("key without value is dropped") << "junk;Password=x" << QStringList { "password", "x" };
    QTest::newRow("unterminated quote runs to the end") << "User ID=sa;Password=\"abc;def"
                                                        << QStringList { "password", "abc;def", "user id", "sa" };
    QTest::newRow("empty string") << "" << QStringList {};
}

void OleDbTest::parsesOleDbRules()
{
    QFETCH(QString, input);
    QFETCH(QStringList, expected);
    const QMap<QString, QString> m = parseOleDbConnectionString(input);
    QStringList got;
    for (auto it = m.cbegin(); it != m.cend(); ++it)
        got << it.key() << it.value();
    QCOMPARE(got, expected);
}

void OleDbTest::quotedValuesReadBack_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("semicolon") << "pa;ss";
    QTest::newRow("attribute inside") << "x;Initial Catalog=model";
    QTest::newRow("equals") << "a=b";
    QTest::newRow("double quote") << "say \"hi\"";
    QTest::newRow("single quote") << "it's";
    QTest::newRow("both quotes") << "it's \"x\"";
    QTest::newRow("both quotes and ;") << "'\";'\"=;";
    QTest::newRow("leading and trailing blanks") << "  pw  ";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("braces") << "{pw}";
    QTest::newRow("chinese") << QString::fromUtf8("密码;口令");
    QTest::newRow("plain") << "Stand1n#Pw";
    QTest::newRow("empty") << "";
}

void OleDbTest::quotedValuesReadBack()
{
    QFETCH(QString, value);
    const QString s = QStringLiteral("User ID=sa;Password=") + quoteOleDbValue(value) + QStringLiteral(";Data Source=h");
    const QMap<QString, QString> m = parseOleDbConnectionString(s);
    QCOMPARE(m.keys(), (QStringList { "data source", "password", "user id" }));
    QCOMPARE(m.value("password"), value);
    QCOMPARE(m.value("data source"), QStringLiteral("h"));
}

void OleDbTest::quotesOnlyWhereNeeded_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << "Stand1n#Pw" << "Stand1n#Pw";
    QTest::newRow("inner blank") << "my server" << "my server";
    QTest::newRow("(local)") << "(local)" << "(local)";
    QTest::newRow("instance") << "host\\SQLEXPRESS" << "host\\SQLEXPRESS";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("semicolon") << "a;b" << "\"a;b\"";
    QTest::newRow("equals") << "a=b" << "\"a=b\"";
    QTest::newRow("double quote uses single") << "a\"b" << "'a\"b'";
    QTest::newRow("single quote uses double") << "a'b" << "\"a'b\"";
    QTest::newRow("both doubles the double") << "a'\"b" << "\"a'\"\"b\"";
    QTest::newRow("trailing blank") << "pw " << "\"pw \"";
}

void OleDbTest::quotesOnlyWhereNeeded()
{
    QFETCH(QString, value);
    QFETCH(QString, quoted);
    QCOMPARE(quoteOleDbValue(value), quoted);
}

void OleDbTest::readsDataSource_data()
{
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("instance");

    QTest::newRow("(local)") << "(local)" << "127.0.0.1" << 1433 << "";
    QTest::newRow("(LOCAL)") << "(LOCAL)" << "127.0.0.1" << 1433 << "";
    QTest::newRow("dot") << "." << "127.0.0.1" << 1433 << "";
    QTest::newRow("localhost") << "localhost" << "127.0.0.1" << 1433 << "";
    QTest::newRow("empty is the local default instance") << "" << "127.0.0.1" << 1433 << "";
    QTest::newRow("host") << "dbserver" << "dbserver" << 1433 << "";
    QTest::newRow("host,port") << "dbserver,1500" << "dbserver" << 1500 << "";
    QTest::newRow("host\\instance") << "dbserver\\SQLEXPRESS" << "dbserver" << 0 << "SQLEXPRESS";
    QTest::newRow("tcp:host,port") << "tcp:dbserver,14330" << "dbserver" << 14330 << "";
    QTest::newRow("TCP: prefix any case") << "TCP:dbserver" << "dbserver" << 1433 << "";
    QTest::newRow("(local)\\instance") << "(local)\\SQL2000" << "127.0.0.1" << 0 << "SQL2000";
    QTest::newRow(".\\instance") << ".\\SQLEXPRESS" << "127.0.0.1" << 0 << "SQLEXPRESS";
    QTest::newRow("loopback with port") << "127.0.0.1,14330" << "127.0.0.1" << 14330 << "";
    QTest::newRow("instance and port: port wins") << "dbserver\\INST,1500" << "dbserver" << 1500 << "INST";
    QTest::newRow("blanks around parts") << "  dbserver , 1500 " << "dbserver" << 1500 << "";
    QTest::newRow("ip address") << "192.168.1.20" << "192.168.1.20" << 1433 << "";
    QTest::newRow("not a port stays in the host") << "dbserver,abc" << "dbserver,abc" << 1433 << "";
    QTest::newRow("port out of range stays in the host") << "dbserver,70000" << "dbserver,70000" << 1433 << "";
}

void OleDbTest::readsDataSource()
{
    QFETCH(QString, dataSource);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, instance);
    const SqlServerAddress a = parseDataSource(dataSource);
    QCOMPARE(a.host, host);
    QCOMPARE(a.port, port);
    QCOMPARE(a.instance, instance);
}

void OleDbTest::buildsOdbcStrings_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("dataSource");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("expected");

    QTest::newRow("FreeTDS, (local)")
        << "FreeTDS" << "(local)" << "master"
        << "DRIVER={FreeTDS};Server=127.0.0.1;Port=1433;TDS_Version=7.4;ClientCharset=UTF-8;Database=master;UID=sa;"
           "PWD=pw;";
    QTest::newRow("FreeTDS, host,port") << "FreeTDS" << "127.0.0.1,14330" << "UFDATA_001_2007"
                                        << "DRIVER={FreeTDS};Server=127.0.0.1;Port=14330;TDS_Version=7.4;"
                                           "ClientCharset=UTF-8;Database=UFDATA_001_2007;UID=sa;PWD=pw;";
    QTest::newRow("FreeTDS, named instance has no port")
        << "FreeTDS" << "dbserver\\SQLEXPRESS" << "master"
        << "DRIVER={FreeTDS};Server=dbserver\\SQLEXPRESS;TDS_Version=7.4;ClientCharset=UTF-8;Database=master;"
           "UID=sa;PWD=pw;";
    QTest::newRow("FreeTDS, no catalog means the login's default database")
        << "FreeTDS" << "h" << ""
        << "DRIVER={FreeTDS};Server=h;Port=1433;TDS_Version=7.4;ClientCharset=UTF-8;UID=sa;PWD=pw;";
    QTest::newRow("FreeTDS library path")
        << "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so" << "h,1" << "master"
        << "DRIVER={/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so};Server=h;Port=1;TDS_Version=7.4;"
           "ClientCharset=UTF-8;Database=master;UID=sa;PWD=pw;";
    QTest::newRow("Driver 18 takes the server as typed, without encryption")
        << "ODBC Driver 18 for SQL Server" << "(local)" << "master"
        << "DRIVER={ODBC Driver 18 for SQL Server};Server=(local);Database=master;UID=sa;PWD=pw;Encrypt=no;"
           "TrustServerCertificate=yes;";
    QTest::newRow("Driver 17, tcp form") << "ODBC Driver 17 for SQL Server" << "tcp:db,1500" << "master"
                                         << "DRIVER={ODBC Driver 17 for SQL Server};Server=tcp:db,1500;"
                                            "Database=master;UID=sa;PWD=pw;Encrypt=no;TrustServerCertificate=yes;";
    QTest::newRow("Windows' driver, named instance")
        << "SQL Server" << "(local)\\SQL2000" << "master"
        << "DRIVER={SQL Server};Server=(local)\\SQL2000;Database=master;UID=sa;PWD=pw;";
    QTest::newRow("Windows' driver, empty server is the local one")
        << "SQL Server" << "" << "master" << "DRIVER={SQL Server};Server=(local);Database=master;UID=sa;PWD=pw;";
}

void OleDbTest::buildsOdbcStrings()
{
    QFETCH(QString, driver);
    QFETCH(QString, dataSource);
    QFETCH(QString, database);
    QFETCH(QString, expected);
    const QString s = buildOdbcConnectionString(sample(dataSource, database), driver);
    QCOMPARE(s, expected);
    QCOMPARE(buildOdbcAttributes(sample(dataSource, database), driver).join(';') + ';', expected);
}

void OleDbTest::odbcStringKeepsHostileValuesWhole_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("expectedPwdAttribute");

    struct Case {
        const char* name;
        const char* password;
        const char* database;
        const char* freeTds; // the PWD attribute for FreeTDS
        const char* microsoft; // ... and for Microsoft's drivers
    };
    const Case cases[] = {
        { "; and = in the password", "a;UID=x;b=c", "master", "PWD={a;UID=x;b=c}", "PWD={a;UID=x;b=c}" },
        { "braces in the password", "}{pw}", "master", "PWD=}{pw}", "PWD={}}{pw}}}" },
        { "brace and ; at the end", "pw};", "master", "PWD={pw}};}", "PWD={pw}};}" },
        { "opening brace first", "{pw", "master", "PWD={{pw}", "PWD={{pw}" },
        { "blanks at the ends kept", " pw ", "master", "PWD={ pw }", "PWD={ pw }" },
        { "quotes and inner blank", "it's \"x\"", "master", "PWD=it's \"x\"", "PWD={it's \"x\"}" },
        { "empty password", "", "master", "PWD=", "PWD=" },
        { "attribute in the database name", "pw", "x;Database=model", "PWD=pw", "PWD=pw" },
        { ".dsn in the password", "a.dsn", "master", "PWD=a.dsn", "PWD=a.dsn" },
    };
    for (const Case& c : cases) {
        for (const char* driver : { "FreeTDS", "ODBC Driver 18 for SQL Server", "SQL Server" }) {
            const bool freeTds = qstrcmp(driver, "FreeTDS") == 0;
            QTest::newRow((QByteArray(driver) + ": " + c.name).constData())
                << driver << QString::fromUtf8(c.password) << c.database << (freeTds ? c.freeTds : c.microsoft);
        }
    }
}

void OleDbTest::odbcStringKeepsHostileValuesWhole()
{
    QFETCH(QString, driver);
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(QString, expectedPwdAttribute);

    const QString s = buildOdbcConnectionString(sample(QStringLiteral("h,1500"), database, password), driver);
    QVERIFY2(s.endsWith(';'), qPrintable(s));
    QVERIFY2(s.contains(';' + expectedPwdAttribute + ';'), qPrintable(s));
    bool wellFormed = false;
    const Pairs pairs = readOdbc(s, &wellFormed);
    QVERIFY2(wellFormed, qPrintable(s));
    QCOMPARE(valueOf(pairs, "PWD"), password);
    QCOMPARE(valueOf(pairs, "Database"), database);
    QCOMPARE(valueOf(pairs, "UID"), QStringLiteral("sa"));
    QCOMPARE(valueOf(pairs, "DRIVER"), driver);
    // No attribute twice, none that the values brought in.
    QStringList keys = keysOf(pairs);
    const QStringList allowed { "DRIVER", "Server", "Port", "TDS_Version", "ClientCharset", "Database", "UID", "PWD",
        "Encrypt", "TrustServerCertificate" };
    for (const QString& k : keys)
        QVERIFY2(allowed.contains(k), qPrintable(k + " in " + s));
    keys.removeDuplicates();
    QCOMPARE(keys.size(), pairs.size());
}

void OleDbTest::olderFreeTdsBraces_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected"); // the whole string; empty when it cannot be written

    const QString head = QStringLiteral("DRIVER={FreeTDS};Server=h;Port=1433;TDS_Version=7.4;ClientCharset=UTF-8;"
                                        "Database=master;UID=sa;");
    QTest::newRow("brace inside braces stays single") << "a;b}c" << head + "PWD={a;b}c};";
    QTest::newRow("brace at the end of braces") << "a;b}" << head + "PWD={a;b}};";
    QTest::newRow("no braces needed") << "a}b" << head + "PWD=a}b;";
    QTest::newRow("}; cannot be written") << "x};Server=elsewhere" << "";
}

void OleDbTest::olderFreeTdsBraces()
{
    QFETCH(QString, password);
    QFETCH(QString, expected);
    const QString s = buildOdbcConnectionString(sample(QStringLiteral("h"), QStringLiteral("master"), password),
        QStringLiteral("FreeTDS"), false);
    QCOMPARE(s, expected);
    QCOMPARE(s.isNull(), expected.isEmpty());
}

void OleDbTest::choosesDriver_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("expected");

    const QString lib = QStringLiteral("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so");
    QTest::newRow("linux: FreeTDS registered") << QStringList { "PostgreSQL", "FreeTDS" } << lib << false << "FreeTDS";
    QTest::newRow("linux: Microsoft's 18 first")
        << QStringList { "FreeTDS", "ODBC Driver 17 for SQL Server", "ODBC Driver 18 for SQL Server" } << lib << false
        << "ODBC Driver 18 for SQL Server";
    QTest::newRow("linux: 17 over FreeTDS") << QStringList { "FreeTDS", "ODBC Driver 17 for SQL Server" } << lib
                                            << false << "ODBC Driver 17 for SQL Server";
    QTest::newRow("linux: registered as TDS") << QStringList { "TDS" } << lib << false << "TDS";
    QTest::newRow("linux: nothing registered, library on disk") << QStringList {} << lib << false << lib;
    QTest::newRow("linux: nothing at all") << QStringList { "MySQL" } << QString() << false << QString();
    QTest::newRow("windows: 18") << QStringList { "SQL Server", "ODBC Driver 18 for SQL Server" } << QString() << true
                                 << "ODBC Driver 18 for SQL Server";
    QTest::newRow("windows: only its own") << QStringList { "SQL Server", "Microsoft Access Driver (*.mdb)" }
                                           << QString() << true << "SQL Server";
    QTest::newRow("windows: list unreadable") << QStringList {} << QString() << true << "SQL Server";
    QTest::newRow("windows: FreeTDS is not chosen over its own")
        << QStringList { "FreeTDS", "SQL Server" } << QString() << true << "SQL Server";
    QTest::newRow("windows: 17 over its own") << QStringList { "SQL Server", "ODBC Driver 17 for SQL Server" }
                                              << QString() << true << "ODBC Driver 17 for SQL Server";
    QTest::newRow("windows: FreeTDS listed without its own (wine)")
        << QStringList { "FreeTDS" } << QString() << true << "FreeTDS";
}

void OleDbTest::choosesDriver()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, library);
    QFETCH(bool, windows);
    QFETCH(QString, expected);
    QCOMPARE(chooseSqlServerOdbcDriver(installed, library, windows), expected);
}

void OleDbTest::threeConnectionStringsExactly_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");

    QTest::newRow("login") << 0 << "" << "(local)" << "Stand1n#Pw"
                           << "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=master;User ID=sa;Password=Stand1n#Pw";
    QTest::newRow("login, empty password") << 0 << "" << "(local)" << ""
                                           << "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=master;User "
                                              "ID=sa;Password=";
    QTest::newRow("login, empty server") << 0 << "" << "" << "pw"
                                         << "Provider=SQLOLEDB;Data Source=;Initial Catalog=master;User ID=sa;Password=pw";
    QTest::newRow("master") << 1 << "" << "127.0.0.1,14330" << "pw"
                            << "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data "
                               "Source=127.0.0.1,14330;Password=pw";
    QTest::newRow("master, instance") << 1 << "" << "host\\SQLEXPRESS" << "p w"
                                      << "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial "
                                         "Catalog=master;Data Source=host\\SQLEXPRESS;Password=p w";
    QTest::newRow("database") << 2 << "UFDATA_001_2007" << "(local)" << "pw"
                              << "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial "
                                 "Catalog=UFDATA_001_2007;Data Source=(local);Password=pw";
    QTest::newRow("database, empty name") << 2 << "" << "(local)" << ""
                                          << "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial "
                                             "Catalog=;Data Source=(local);Password=";
}

void OleDbTest::threeConnectionStringsExactly()
{
    QFETCH(int, form);
    QFETCH(QString, database);
    QFETCH(QString, server);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    const QString got = form == 0 ? buildLoginConnectionString(server, password)
        : form == 1               ? buildMasterConnectionString(server, password)
                                  : buildDatabaseConnectionString(database, server, password);
    QCOMPARE(got, expected);
}

void OleDbTest::connectionStringsKeepHostileValuesWhole_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");

    QTest::newRow("; in the password") << "db" << "(local)" << "pa;ss";
    QTest::newRow("attribute in the password") << "db" << "(local)" << "x;Initial Catalog=model;User ID=bob";
    QTest::newRow("= in the password") << "db" << "(local)" << "a=b";
    QTest::newRow("quotes in the password") << "db" << "(local)" << "it's \"so\"";
    QTest::newRow("blanks around the password") << "db" << "(local)" << "  pw  ";
    QTest::newRow("; in the server") << "db" << "host;Password=guess" << "pw";
    QTest::newRow("quote in the server") << "db" << "o'host" << "pw";
    QTest::newRow("; and = in the database") << "x;Initial Catalog=master" << "(local)" << "pw";
    QTest::newRow("quotes in the database") << "O'Brien \"2007\"" << "(local)" << "pw";
    QTest::newRow("everything at once") << "a'b;c=d" << "h\";e" << "'\";=";
}

void OleDbTest::connectionStringsKeepHostileValuesWhole()
{
    QFETCH(QString, database);
    QFETCH(QString, server);
    QFETCH(QString, password);

    const QMap<QString, QString> login = parseOleDbConnectionString(buildLoginConnectionString(server, password));
    QCOMPARE(login.keys(), (QStringList { "data source", "initial catalog", "password", "provider", "user id" }));
    QCOMPARE(login.value("data source"), server);
    QCOMPARE(login.value("password"), password);
    QCOMPARE(login.value("initial catalog"), QStringLiteral("master"));
    QCOMPARE(login.value("user id"), QStringLiteral("sa"));

    const QStringList laterKeys { "data source", "initial catalog", "password", "persist security info", "provider",
        "user id" };
    const QMap<QString, QString> master = parseOleDbConnectionString(buildMasterConnectionString(server, password));
    QCOMPARE(master.keys(), laterKeys);
    QCOMPARE(master.value("data source"), server);
    QCOMPARE(master.value("password"), password);
    QCOMPARE(master.value("initial catalog"), QStringLiteral("master"));

    const QMap<QString, QString> db
        = parseOleDbConnectionString(buildDatabaseConnectionString(database, server, password));
    QCOMPARE(db.keys(), laterKeys);
    QCOMPARE(db.value("initial catalog"), database);
    QCOMPARE(db.value("data source"), server);
    QCOMPARE(db.value("password"), password);
    QCOMPARE(db.value("user id"), QStringLiteral("sa"));

    // And on to ODBC: still exactly one value each.
    const Pairs odbc = readOdbc(buildOdbcConnectionString(db, QStringLiteral("FreeTDS")));
    QCOMPARE(valueOf(odbc, "PWD"), password);
    QCOMPARE(valueOf(odbc, "Database"), database);
    QCOMPARE(valueOf(odbc, "UID"), QStringLiteral("sa"));
}

QTEST_GUILESS_MAIN(OleDbTest)
#include "oledb_test.moc"
