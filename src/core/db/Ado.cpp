#include "Ado.h"

#include "Busy.h"
#include "OdbcApi.h"
#include "OleDb.h"
#include "PasswordScrub.h"

#include <QDateTime>
#include <algorithm>

namespace tp {

namespace {

// The server's number for a failed login. FreeTDS lists it as its general "Unable to connect"
// (0), then "Login failed" (18456), then the server's reason (4060 for a database that cannot
// be opened): the last number that is not 0 is the most telling.
int connectErrorNumber(const QVector<OdbcDiagnostic>& records)
{
    int number = 0;
    for (const OdbcDiagnostic& d : records) {
        if (d.nativeError != 0)
            number = d.nativeError;
    }
    return number;
}

// The handle of an open connection; throws ADO's error for a closed one.
void* openConnectionHandle(void* handle)
{
    if (!handle)
        throw DbError(0, QStringLiteral("Operation is not allowed when the object is closed."));
    return handle;
}

DbError errorOf(const OdbcStatement& st, const Connection& c)
{
    const QVector<OdbcDiagnostic>& records = st.diagnostics();
    // The state of the first error, unless a record tells of a time-out or a lost link: that
    // one says what became of the statement, whatever the server refused before it.
    QString state;
    for (const OdbcDiagnostic& d : records) {
        if (d.isError() && state.isEmpty())
            state = d.sqlState;
        if (linkFaultOf(d.sqlState) != LinkFault::None) {
            state = d.sqlState;
            break;
        }
    }
    // The error records only: informational lines that came with them ("DBCC execution
    // completed...") say nothing about the failure.
    QVector<OdbcDiagnostic> errors;
    for (const OdbcDiagnostic& d : records) {
        if (d.isError())
            errors.push_back(d);
    }
    QString text = joinedMessages(errors.isEmpty() ? records : errors);
    if (text.isEmpty())
        text = QStringLiteral("The statement failed without a message from the driver.");
    DbError error(firstErrorNumber(records), c.scrub(text), state);
    error.setStatementSent(true);
    QList<int> numbers;
    for (const OdbcDiagnostic& d : errors) {
        if (d.nativeError != 0)
            numbers << d.nativeError;
    }
    error.setErrorNumbers(numbers);
    QVector<int> all;
    for (const OdbcDiagnostic& d : records) {
        if (d.nativeError != 0)
            all.push_back(d.nativeError);
    }
    error.setMessageNumbers(all);
    return error;
}

QString variantBytesToText(const QByteArray& bytes)
{
    // An sql_variant of a character base type handed over as its raw UTF-16LE bytes.
    QString s = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    while (s.endsWith(QChar(0)))
        s.chop(1);
    return s;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Connection

Connection::Connection() = default;

Connection::~Connection()
{
    close();
}

QString Connection::connectionString() const
{
    return m_connectionString;
}

void Connection::setConnectionString(const QString& oleDbString)
{
    m_connectionString = oleDbString;
}

void Connection::open()
{
    open(m_connectionString, QString(), QString(), adConnectUnspecified);
}

void Connection::open(const QString& oleDbString, const QString& userId, const QString& password, int options)
{
    Q_UNUSED(options) // only adConnectUnspecified is used: the call waits for the server
    if (isOpen())
        throw DbError(0, QStringLiteral("Operation is not allowed when the object is open."));

    m_connectionString = oleDbString;
    QMap<QString, QString> attributes = parseOleDbConnectionString(oleDbString);
    // As with ADO, a user or password given to Open wins over the one in the string.
    if (!userId.isEmpty())
        attributes.insert(QStringLiteral("user id"), userId);
    if (!password.isEmpty())
        attributes.insert(QStringLiteral("password"), password);
    const QString secret = attributes.value(QStringLiteral("password"));

    int loginTimeout = m_connectionTimeout;
    const QString timeoutText = attributes.value(QStringLiteral("connect timeout"));
    if (!timeoutText.isEmpty()) {
        bool ok = false;
        const int t = timeoutText.toInt(&ok);
        if (ok && t >= 0)
            loginTimeout = t;
    }

    const QString driver = findSqlServerOdbcDriver();
    if (driver.isEmpty())
        throw DriverMissingError(0, QStringLiteral("No ODBC driver for SQL Server is installed on this computer."));
    // Braces inside braced values are written as the installed driver reads them; the
    // (cached) question is only asked when the answer makes a difference.
    QStringList odbc = buildOdbcAttributes(attributes, driver, true);
    const QStringList literal = buildOdbcAttributes(attributes, driver, false);
    if (odbc != literal && !freeTdsUnescapesBraces(driver))
        odbc = literal;
    if (odbc.isEmpty())
        throw UnsendableValueError(0,
            QStringLiteral("The server name, database name or password holds \"};\", which the installed FreeTDS "
                           "ODBC driver cannot take in a connection string."));

    auto odbcConnection = std::make_unique<OdbcConnection>();
    odbcConnection->setLoginTimeout(loginTimeout);
    const QString odbcText = odbc.join(QLatin1Char(';')) + QLatin1Char(';');
    bool opened = false;
    {
        const BusyScope busy;
        OdbcConnection* target = odbcConnection.get();
        const auto attempt = [target, &odbcText, &opened] { opened = target->connect(odbcText); };
        if (m_openWait)
            m_openWait(attempt);
        else
            attempt();
    }
    if (!opened) {
        const QVector<OdbcDiagnostic>& records = odbcConnection->diagnostics();
        QVector<OdbcDiagnostic> errors;
        for (const OdbcDiagnostic& d : records) {
            if (d.isError())
                errors.push_back(d);
        }
        const int number = connectErrorNumber(records);
        QString description = joinedMessages(errors.isEmpty() ? records : errors).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (description.isEmpty())
            description = QStringLiteral("The connection failed without a message from the driver.");
        // No number: the server may never have been asked because the driver is not there.
        if (number == 0 && odbcDriverMissing(driver))
            throw DriverMissingError(0, scrubPassword(description, secret));
        throw DbError(number, scrubPassword(description, secret));
    }
    m_odbc = std::move(odbcConnection);
    m_password = secret;
}

void Connection::execute(const QString& statement)
{
    void* handle = openConnectionHandle(odbcHandle());
    const BusyScope busy;
    OdbcStatement st(handle);
    st.setQueryTimeout(m_commandTimeout);
    st.execDirect(statement);
    // Every result of the batch is read, so that an error of any of its statements is seen.
    st.drain();
    if (st.failed())
        throw errorOf(st, *this);
}

BatchAnswer Connection::executeBatch(const QString& batch)
{
    void* handle = openConnectionHandle(odbcHandle());
    const BusyScope busy;
    OdbcStatement st(handle);
    st.setQueryTimeout(m_commandTimeout);
    BatchAnswer answer;
    int seen = 0;
    // The messages that arrived since the last look go to the result that was current.
    const auto take = [&](QVector<OdbcDiagnostic>& into) {
        const QVector<OdbcDiagnostic>& all = st.diagnostics();
        for (; seen < all.size(); ++seen) {
            OdbcDiagnostic d = all.at(seen);
            d.message = scrub(d.message);
            if (linkFaultOf(d.sqlState, d.nativeError) != LinkFault::None)
                answer.linkLost = true;
            into.push_back(d);
        }
    };
    // A batch whose first statement failed has no first result to read; the others follow.
    bool current = st.execDirect(batch);
    take(answer.leading);
    // Bounded, in case a driver keeps answering with errors.
    for (int i = 0; st.isValid() && i < 1000000; ++i) {
        BatchResult result;
        if (current) {
            for (const OdbcColumn& c : st.columns())
                result.columns << c.name;
            QVector<QVariant> row;
            while (st.fetch(row))
                result.rows.push_back(row);
        }
        answer.results.push_back(result);
        take(answer.results.last().messages);
        const bool more = st.moreResults();
        take(answer.results.last().messages);
        if (!more)
            break;
        current = true;
    }
    if (!answer.linkLost && !isOpen())
        answer.linkLost = true;
    return answer;
}

void Connection::close()
{
    m_odbc.reset();
    m_password.clear();
}

bool Connection::isOpen() const
{
    return m_odbc && m_odbc->isConnected();
}

void* Connection::odbcHandle() const
{
    return m_odbc ? m_odbc->handle() : nullptr;
}

QString Connection::scrub(const QString& text) const
{
    return scrubPassword(text, m_password);
}

// ---------------------------------------------------------------------------------------
// Recordset

Recordset::Recordset() = default;

Recordset::~Recordset() = default;

void Recordset::open(const QString& source, std::shared_ptr<Connection> activeConnection, int cursorType,
    int lockType, int options)
{
    // Every row is read at once into memory, which serves any cursor and lock type asked for.
    Q_UNUSED(cursorType)
    Q_UNUSED(lockType)
    Q_UNUSED(options)
    if (m_open)
        throw DbError(0, QStringLiteral("Operation is not allowed when the object is open."));
    void* handle = openConnectionHandle(activeConnection ? activeConnection->odbcHandle() : nullptr);

    QStringList fields;
    QVector<int> types;
    QVector<QVector<QVariant>> rows;
    {
        const BusyScope busy;
        OdbcStatement st(handle);
        st.setQueryTimeout(activeConnection->commandTimeout());
        if (st.execDirect(source)) {
            // The first result that has columns is the recordset; results before it (row
            // counts of other statements) are passed over, results after it are read to
            // their end so that their errors are seen too.
            for (;;) {
                const QVector<OdbcColumn> columns = st.columns();
                if (!columns.isEmpty()) {
                    for (const OdbcColumn& c : columns) {
                        fields << c.name;
                        types << c.sqlType;
                    }
                    QVector<QVariant> row;
                    while (st.fetch(row))
                        rows.push_back(row);
                    break;
                }
                if (!st.moreResults())
                    break;
            }
        }
        st.drain();
        if (st.failed())
            throw errorOf(st, *activeConnection);
    }
    m_connection = std::move(activeConnection);
    m_fields = fields;
    m_types = types;
    m_rows = std::move(rows);
    m_open = true;
}

void Recordset::close()
{
    m_open = false;
    m_fields.clear();
    m_types.clear();
    m_rows.clear();
    m_connection.reset();
}

bool Recordset::isOpen() const
{
    return m_open;
}

bool Recordset::eof() const
{
    return m_rows.isEmpty();
}

int Recordset::rowCount() const
{
    return int(m_rows.size());
}

int Recordset::columnCount() const
{
    return int(m_fields.size());
}

QStringList Recordset::fieldNames() const
{
    return m_fields;
}

QVariant Recordset::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_rows.at(row).size())
        return QVariant();
    return m_rows.at(row).at(column);
}

QVariant Recordset::field(const QString& name) const
{
    if (m_rows.isEmpty())
        return QVariant();
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return value(0, i);
    }
    return QVariant();
}

QString Recordset::text(int row, int column) const
{
    const QVariant v = value(row, column);
    if (!v.isValid() || v.isNull())
        return QString();
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
    case QMetaType::SChar:
        return v.toString();
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.toString(dt.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                            : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = v.toByteArray();
        if (column < m_types.size() && m_types.at(column) == SqlSsVariant)
            return variantBytesToText(bytes);
        return QStringLiteral("0x") + QString::fromLatin1(bytes.toHex().toUpper());
    }
    default:
        return v.toString();
    }
}

std::shared_ptr<Connection> Recordset::activeConnection() const
{
    return m_connection;
}

} // namespace tp
