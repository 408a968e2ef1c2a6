#include "OleDb.h"

#include "OdbcApi.h"

#include <QFileInfo>
#include <QStringList>

namespace tp {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

// Reads one key, from `pos` up to its single '='. "==" stands for an '=' inside the key.
// Returns false when the rest of the string holds no '=' at all.
bool readKey(const QString& s, int& pos, QString& key)
{
    key.clear();
    const int n = s.size();
    while (pos < n) {
        const QChar c = s.at(pos);
        if (c == QLatin1Char('=')) {
            if (pos + 1 < n && s.at(pos + 1) == QLatin1Char('=')) {
                key += c;
                pos += 2;
                continue;
            }
            ++pos; // past the '='
            return true;
        }
        if (c == QLatin1Char(';')) {
            ++pos; // a key without a value: dropped, as the reader goes on with the next pair
            key.clear();
            return pos < n ? readKey(s, pos, key) : false;
        }
        key += c;
        ++pos;
    }
    return false;
}

QString readValue(const QString& s, int& pos)
{
    const int n = s.size();
    while (pos < n && isBlank(s.at(pos)))
        ++pos;
    if (pos < n && (s.at(pos) == QLatin1Char('\'') || s.at(pos) == QLatin1Char('"'))) {
        const QChar quote = s.at(pos++);
        QString value;
        while (pos < n) {
            const QChar c = s.at(pos);
            if (c == quote) {
                if (pos + 1 < n && s.at(pos + 1) == quote) {
                    value += quote;
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            value += c;
            ++pos;
        }
        // Anything between the closing quote and the next ';' is not part of the value.
        while (pos < n && s.at(pos) != QLatin1Char(';'))
            ++pos;
        if (pos < n)
            ++pos;
        return value;
    }
    const int start = pos;
    while (pos < n && s.at(pos) != QLatin1Char(';'))
        ++pos;
    const QString value = s.mid(start, pos - start).trimmed();
    if (pos < n)
        ++pos;
    return value;
}

bool isLocalAlias(const QString& host)
{
    return host.isEmpty() || host.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0
        || host == QLatin1String(".") || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

// Microsoft's drivers follow ODBC's rule: a value holding one of ; { } = or a blank is put in
// braces, with '}' doubled inside.
QString microsoftOdbcValue(const QString& value)
{
    bool needsBraces = false;
    for (const QChar c : value) {
        if (c == QLatin1Char(';') || c == QLatin1Char('{') || c == QLatin1Char('}') || c == QLatin1Char('=')
            || isBlank(c)) {
            needsBraces = true;
            break;
        }
    }
    if (!needsBraces)
        return value;
    return QStringLiteral("{") + QString(value).replace(QLatin1Char('}'), QLatin1String("}}")) + QLatin1Char('}');
}

// FreeTDS reads a plain value up to the next ';' as it is, '=' and '}' included; only a value
// holding ';', starting with '{' or with blanks at either end needs braces. Inside braces,
// FreeTDS 1.3 ends the value at the first '}' followed by ';' or the end and does not
// undouble "}}"; newer versions follow ODBC's rule. A value the older reading cannot hold
// ("};" inside braces) gives a null string.
QString freeTdsOdbcValue(const QString& value, bool unescapesBraces)
{
    const bool needsBraces = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{'))
        || (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back())));
    if (!needsBraces)
        return value;
    if (unescapesBraces)
        return QStringLiteral("{") + QString(value).replace(QLatin1Char('}'), QLatin1String("}}")) + QLatin1Char('}');
    if (value.contains(QLatin1String("};")))
        return QString();
    return QStringLiteral("{") + value + QLatin1Char('}');
}

QString firstOf(const QMap<QString, QString>& m, std::initializer_list<const char*> keys)
{
    for (const char* k : keys) {
        const auto it = m.constFind(QLatin1String(k));
        if (it != m.constEnd())
            return it.value();
    }
    return QString();
}

bool isMicrosoftDriver(const QString& driver)
{
    return driver.startsWith(QLatin1String("ODBC Driver"), Qt::CaseInsensitive)
        || driver.compare(QLatin1String("SQL Server"), Qt::CaseInsensitive) == 0
        || driver.startsWith(QLatin1String("SQL Server Native Client"), Qt::CaseInsensitive)
        || driver.startsWith(QLatin1String("SQL Native Client"), Qt::CaseInsensitive)
        || QFileInfo(driver).fileName().startsWith(QLatin1String("libmsodbcsql"), Qt::CaseInsensitive);
}

// Microsoft's drivers from 17 on know the Encrypt and TrustServerCertificate keywords; 18
// insists on encryption unless told otherwise, which old servers without TLS cannot give.
bool isModernMicrosoftDriver(const QString& driver)
{
    return driver.startsWith(QLatin1String("ODBC Driver"), Qt::CaseInsensitive)
        || QFileInfo(driver).fileName().startsWith(QLatin1String("libmsodbcsql"), Qt::CaseInsensitive);
}

} // namespace

QMap<QString, QString> parseOleDbConnectionString(const QString& s)
{
    QMap<QString, QString> result;
    int pos = 0;
    const int n = s.size();
    while (pos < n) {
        while (pos < n && (isBlank(s.at(pos)) || s.at(pos) == QLatin1Char(';')))
            ++pos;
        if (pos >= n)
            break;
        QString key;
        if (!readKey(s, pos, key))
            break;
        const QString value = readValue(s, pos);
        key = key.trimmed().toLower();
        if (!key.isEmpty())
            result.insert(key, value); // a later duplicate replaces an earlier one
    }
    return result;
}

QString quoteOleDbValue(const QString& value)
{
    const bool hasDouble = value.contains(QLatin1Char('"'));
    const bool hasSingle = value.contains(QLatin1Char('\''));
    const bool needsQuotes = hasDouble || hasSingle || value.contains(QLatin1Char(';'))
        || value.contains(QLatin1Char('=')) || (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back())));
    if (!needsQuotes)
        return value;
    // Prefer the quote the value does not hold; when it holds both, double the one used.
    const QChar quote = (hasDouble && !hasSingle) ? QLatin1Char('\'') : QLatin1Char('"');
    QString out(quote);
    for (const QChar c : value) {
        out += c;
        if (c == quote)
            out += c;
    }
    out += quote;
    return out;
}

SqlServerAddress parseDataSource(const QString& dataSource)
{
    SqlServerAddress a;
    QString s = dataSource.trimmed();
    // No server name holds these: a text with them ("host,1;Server=other,2") is no address to
    // take a port or an instance from, and goes whole as the host, which no server answers to.
    for (const char c : { ';', '=', '{', '}' }) {
        if (s.contains(QLatin1Char(c))) {
            a.host = s;
            return a;
        }
    }
    for (const char* prefix : { "tcp:", "lpc:", "admin:" }) {
        if (s.startsWith(QLatin1String(prefix), Qt::CaseInsensitive)) {
            s = s.mid(int(qstrlen(prefix))).trimmed();
            break;
        }
    }

    QString portText;
    const int comma = s.lastIndexOf(QLatin1Char(','));
    if (comma >= 0) {
        portText = s.mid(comma + 1).trimmed();
        s = s.left(comma).trimmed();
    }
    const int backslash = s.indexOf(QLatin1Char('\\'));
    if (backslash >= 0) {
        a.instance = s.mid(backslash + 1).trimmed();
        s = s.left(backslash).trimmed();
    }
    a.host = isLocalAlias(s) ? QStringLiteral("127.0.0.1") : s;

    if (!portText.isEmpty()) {
        bool ok = false;
        const int port = portText.toInt(&ok);
        if (ok && port > 0 && port <= 65535) {
            a.port = port;
        } else {
            // Not a port: keep the text in the host so that the connection fails on it
            // instead of quietly reaching the default port.
            a.host = dataSource.trimmed();
            a.instance.clear();
            a.port = 1433;
        }
    } else if (!a.instance.isEmpty()) {
        a.port = 0;
    }
    return a;
}

QStringList buildOdbcAttributes(const QMap<QString, QString>& oleDb, const QString& driver, bool unescapesBraces)
{
    const QString dataSource = firstOf(oleDb, { "data source", "server", "address", "addr", "network address" });
    const QString database = firstOf(oleDb, { "initial catalog", "database" });
    const QString user = firstOf(oleDb, { "user id", "uid", "user" });
    const QString password = firstOf(oleDb, { "password", "pwd" });

    const bool microsoft = isMicrosoftDriver(driver);
    QStringList parts;
    bool representable = true;
    auto add = [&](const char* key, const QString& value) {
        const QString v = microsoft ? microsoftOdbcValue(value) : freeTdsOdbcValue(value, unescapesBraces);
        if (v.isNull() && !value.isNull())
            representable = false;
        parts << QLatin1String(key) + QLatin1Char('=') + v;
    };
    parts << QStringLiteral("DRIVER={") + QString(driver).replace(QLatin1Char('}'), QLatin1String("}}"))
            + QLatin1Char('}');

    if (microsoft) {
        // Microsoft's drivers read a server name exactly as the original provider did:
        // "(local)", ".", "host", "host,port", "host\instance", "tcp:host,port".
        const QString server = dataSource.trimmed();
        add("Server", server.isEmpty() ? QStringLiteral("(local)") : server);
        if (!database.isEmpty())
            add("Database", database);
        add("UID", user);
        add("PWD", password);
        if (isModernMicrosoftDriver(driver)) {
            parts << QStringLiteral("Encrypt=no") << QStringLiteral("TrustServerCertificate=yes");
        }
    } else {
        // FreeTDS: host and port apart; a named instance as "host\instance", which FreeTDS
        // resolves through the server's browser service.
        const SqlServerAddress a = parseDataSource(dataSource);
        if (a.instance.isEmpty()) {
            add("Server", a.host);
            add("Port", QString::number(a.port));
        } else {
            add("Server", a.host + QLatin1Char('\\') + a.instance);
            if (a.port > 0)
                add("Port", QString::number(a.port));
        }
        parts << QStringLiteral("TDS_Version=7.4") << QStringLiteral("ClientCharset=UTF-8");
        if (!database.isEmpty())
            add("Database", database);
        add("UID", user);
        add("PWD", password);
    }
    return representable ? parts : QStringList();
}

QString buildOdbcConnectionString(const QMap<QString, QString>& oleDb, const QString& driver, bool unescapesBraces)
{
    const QStringList attributes = buildOdbcAttributes(oleDb, driver, unescapesBraces);
    if (attributes.isEmpty())
        return QString();
    // The final ';' matters: Qt's ODBC driver (6.4) hands the driver manager a length that
    // counts the terminating NUL, which would otherwise end up in the last value.
    return attributes.join(QLatin1Char(';')) + QLatin1Char(';');
}

QString chooseSqlServerOdbcDriver(const QStringList& installed, const QString& freeTdsLibrary, bool windows)
{
    auto has = [&installed](const char* name) {
        for (const QString& d : installed) {
            if (d.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return d;
        }
        return QString();
    };
    for (const char* preferred : { "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server" }) {
        const QString d = has(preferred);
        if (!d.isEmpty())
            return d;
    }
    if (windows) {
        const QString own = has("SQL Server");
        if (!own.isEmpty())
            return own;
    }
    for (const char* name : { "FreeTDS", "TDS" }) {
        const QString d = has(name);
        if (!d.isEmpty())
            return d;
    }
    // Windows' own driver is on every Windows, even when the list cannot be read. A Windows
    // whose list names FreeTDS but not it (wine, which hands ODBC to the host's driver
    // manager) has FreeTDS chosen above.
    return windows ? QStringLiteral("SQL Server") : freeTdsLibrary;
}

QString findSqlServerOdbcDriver()
{
#ifdef Q_OS_WIN
    constexpr bool windows = true;
#else
    constexpr bool windows = false;
#endif
    static const QString found = chooseSqlServerOdbcDriver(installedOdbcDrivers(), freeTdsDriverLibrary(), windows);
    return found;
}

} // namespace tp
