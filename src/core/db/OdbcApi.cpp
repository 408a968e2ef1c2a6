#include "OdbcApi.h"

#include "DbError.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QTime>
#include <QVarLengthArray>
#include <atomic>
#include <iterator>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the access layer reads ODBC's wide strings as UTF-16");

namespace tp {

namespace {

QString fromSqlWChar(const SQLWCHAR* data, qsizetype chars)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(data), chars);
}

QVector<OdbcDiagnostic> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    QVector<OdbcDiagnostic> out;
    if (!handle)
        return out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        QVarLengthArray<SQLWCHAR, 1024> text(1024);
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(),
            SQLSMALLINT(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= text.size()) {
            text.resize(length + 1);
            rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(), SQLSMALLINT(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        OdbcDiagnostic d;
        d.sqlState = fromSqlWChar(state, 5);
        d.nativeError = int(native);
        d.message = fromSqlWChar(text.data(), qMin<qsizetype>(length, text.size() - 1));
        out.push_back(d);
    }
    return out;
}

} // namespace

QStringList installedOdbcDrivers()
{
    QStringList names;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return names;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLWCHAR description[512];
        SQLWCHAR attributes[2048];
        SQLSMALLINT descriptionLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(env, direction, description, SQLSMALLINT(std::size(description)),
            &descriptionLength, attributes, SQLSMALLINT(std::size(attributes)), &attributesLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        names << fromSqlWChar(description, qMin<qsizetype>(descriptionLength, qsizetype(std::size(description)) - 1));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return names;
}

QString freeTdsDriverLibrary()
{
#ifdef Q_OS_WIN
    return QString();
#else
    static const char* const places[] = {
        "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
        "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so",
        "/usr/lib/i386-linux-gnu/odbc/libtdsodbc.so",
        "/usr/lib/arm-linux-gnueabihf/odbc/libtdsodbc.so",
        "/usr/lib64/libtdsodbc.so.0",
        "/usr/lib64/libtdsodbc.so",
        "/usr/lib/libtdsodbc.so.0",
        "/usr/lib/libtdsodbc.so",
        "/usr/local/lib/libtdsodbc.so",
        "/opt/homebrew/lib/libtdsodbc.so",
        "/usr/local/opt/freetds/lib/libtdsodbc.so",
    };
    for (const char* place : places) {
        if (QFileInfo::exists(QLatin1String(place)))
            return QLatin1String(place);
    }
    return QString();
#endif
}

bool freeTdsUnescapesBraces(const QString& driver)
{
    static QHash<QString, bool> known;
    const auto it = known.constFind(driver);
    if (it != known.constEnd())
        return it.value();

    bool unescapes = false;
    OdbcConnection probe;
    probe.setLoginTimeout(2);
    if (probe.connect(QStringLiteral("DRIVER={") + driver
            + QStringLiteral("};Server=127.0.0.1;Port=1;TDS_Version=7.4;UID=probe;PWD={a}b};"))) {
        probe.disconnect();
    } else {
        for (const OdbcDiagnostic& d : probe.diagnostics()) {
            if (d.message.contains(QLatin1String("Syntax error in connection string"), Qt::CaseInsensitive))
                unescapes = true;
        }
    }
    known.insert(driver, unescapes);
    return unescapes;
}

bool odbcDriverMissing(const QString& driver)
{
    OdbcConnection probe;
    if (!probe.isAllocated())
        return false; // no driver manager to ask
    probe.setLoginTimeout(2);
    if (probe.connect(QStringLiteral("DRIVER={") + driver
            + QStringLiteral("};Server=127.0.0.1,1;Port=1;UID=probe;PWD=probe;"))) {
        probe.disconnect();
        return false;
    }
    bool missing = false;
    bool driverAnswered = false;
    for (const OdbcDiagnostic& d : probe.diagnostics()) {
        if (d.sqlState == QLatin1String("IM002") || d.sqlState == QLatin1String("IM003"))
            missing = true;
        else if (d.isError())
            driverAnswered = true;
    }
    return missing || !driverAnswered;
}

namespace {
std::atomic<int> g_connected { 0 };
} // namespace

OdbcConnection::OdbcConnection()
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return;
    m_env = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)))
        m_dbc = dbc;
    else
        m_diagnostics = readDiagnostics(SQL_HANDLE_ENV, env);
}

OdbcConnection::~OdbcConnection()
{
    disconnect();
    if (m_dbc)
        SQLFreeHandle(SQL_HANDLE_DBC, static_cast<SQLHDBC>(m_dbc));
    if (m_env)
        SQLFreeHandle(SQL_HANDLE_ENV, static_cast<SQLHENV>(m_env));
}

void OdbcConnection::setLoginTimeout(int seconds)
{
    if (m_dbc)
        SQLSetConnectAttr(static_cast<SQLHDBC>(m_dbc), SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(qMax(0, seconds))), 0);
}

bool OdbcConnection::connect(const QString& connectionString)
{
    if (m_connected || !m_dbc)
        return m_connected;
    m_diagnostics.clear();
    QString text = connectionString;
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(static_cast<SQLHDBC>(m_dbc), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
        SQLSMALLINT(text.size()), nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
    if (rc != SQL_SUCCESS)
        m_diagnostics = readDiagnostics(SQL_HANDLE_DBC, static_cast<SQLHDBC>(m_dbc));
    m_connected = SQL_SUCCEEDED(rc);
    if (m_connected)
        ++g_connected;
    return m_connected;
}

void OdbcConnection::disconnect()
{
    if (!m_connected)
        return;
    SQLDisconnect(static_cast<SQLHDBC>(m_dbc));
    m_connected = false;
    --g_connected;
}

int OdbcConnection::connectedCount()
{
    return g_connected;
}

int firstErrorNumber(const QVector<OdbcDiagnostic>& records)
{
    for (const OdbcDiagnostic& d : records) {
        if (d.isError() && d.nativeError != 0)
            return d.nativeError;
    }
    for (const OdbcDiagnostic& d : records) {
        if (d.nativeError != 0)
            return d.nativeError;
    }
    return 0;
}

QString joinedMessages(const QVector<OdbcDiagnostic>& records)
{
    QStringList lines;
    for (const OdbcDiagnostic& d : records) {
        if (!d.message.isEmpty() && (lines.isEmpty() || lines.constLast() != d.message))
            lines << d.message;
    }
    return lines.join(QLatin1Char('\n'));
}

OdbcStatement::OdbcStatement(void* connectionHandle)
{
    if (!connectionHandle)
        return;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, static_cast<SQLHDBC>(connectionHandle), &stmt);
    if (SQL_SUCCEEDED(rc)) {
        m_stmt = stmt;
    } else {
        m_failed = true;
        m_diagnostics += readDiagnostics(SQL_HANDLE_DBC, static_cast<SQLHDBC>(connectionHandle));
    }
}

OdbcStatement::~OdbcStatement()
{
    if (m_stmt)
        SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(m_stmt));
}

void OdbcStatement::setQueryTimeout(int seconds)
{
    if (!m_stmt)
        return;
    const SQLRETURN rc = SQLSetStmtAttr(static_cast<SQLHSTMT>(m_stmt), SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(qMax(0, seconds))), SQL_IS_UINTEGER);
    // A driver that cannot keep the time-out says so with a warning; that is no failure.
    if (rc == SQL_ERROR)
        readDiagnostics(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(m_stmt));
}

void OdbcStatement::collect(short returnCode)
{
    if (returnCode == SQL_ERROR || returnCode == SQL_INVALID_HANDLE)
        m_failed = true;
    if (returnCode == SQL_SUCCESS_WITH_INFO || returnCode == SQL_ERROR) {
        const QVector<OdbcDiagnostic> records = readDiagnostics(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(m_stmt));
        for (const OdbcDiagnostic& d : records) {
            if (d.isError())
                m_failed = true;
        }
        m_diagnostics += records;
    }
}

bool OdbcStatement::execDirect(const QString& sql)
{
    if (!m_stmt)
        return false;
    m_columnsKnown = false;
    m_finished = false;
    // QString's UTF-16 is exactly ODBC's wide string; the length is given, no NUL needed.
    static_assert(sizeof(QChar) == sizeof(SQLWCHAR));
    QString text = sql;
    const SQLRETURN rc = SQLExecDirectW(static_cast<SQLHSTMT>(m_stmt),
        reinterpret_cast<SQLWCHAR*>(text.data()), SQLINTEGER(text.size()));
    collect(rc);
    if (rc == SQL_NO_DATA)
        return true; // a statement that affected no rows
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE)
        return false;
    return true;
}

QVector<OdbcColumn> OdbcStatement::columns()
{
    if (m_columnsKnown || !m_stmt)
        return m_columns;
    m_columns.clear();
    m_columnsKnown = true;
    SQLSMALLINT count = 0;
    SQLRETURN rc = SQLNumResultCols(static_cast<SQLHSTMT>(m_stmt), &count);
    if (!SQL_SUCCEEDED(rc)) {
        collect(rc);
        return m_columns;
    }
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        rc = SQLDescribeColW(static_cast<SQLHSTMT>(m_stmt), SQLUSMALLINT(i), name, SQLSMALLINT(std::size(name)),
            &nameLength, &type, &size, &digits, &nullable);
        OdbcColumn c;
        if (SQL_SUCCEEDED(rc)) {
            c.name = fromSqlWChar(name, qMin<qsizetype>(nameLength, qsizetype(std::size(name)) - 1));
            c.sqlType = type;
        } else {
            collect(rc);
        }
        m_columns.push_back(c);
    }
    return m_columns;
}

bool OdbcStatement::fetch(QVector<QVariant>& row)
{
    row.clear();
    if (!m_stmt || m_finished)
        return false;
    const QVector<OdbcColumn> cols = columns();
    if (cols.isEmpty())
        return false;
    const SQLRETURN rc = SQLFetch(static_cast<SQLHSTMT>(m_stmt));
    if (rc == SQL_NO_DATA)
        return false;
    collect(rc);
    if (!SQL_SUCCEEDED(rc))
        return false;
    row.reserve(cols.size());
    for (int i = 0; i < cols.size(); ++i)
        row.push_back(readCell(i, cols.at(i).sqlType));
    return true;
}

QVariant OdbcStatement::readCell(int column, int sqlType)
{
    SQLHSTMT stmt = static_cast<SQLHSTMT>(m_stmt);
    const SQLUSMALLINT col = SQLUSMALLINT(column + 1);
    SQLLEN indicator = 0;

    switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT: {
        SQLINTEGER v = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_SLONG, &v, sizeof v, &indicator);
        collect(rc);
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
            return QVariant();
        return QVariant(int(v));
    }
    case SQL_BIGINT: {
        SQLBIGINT v = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_SBIGINT, &v, sizeof v, &indicator);
        collect(rc);
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
            return QVariant();
        return QVariant(qlonglong(v));
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
        SQLDOUBLE v = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_DOUBLE, &v, sizeof v, &indicator);
        collect(rc);
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
            return QVariant();
        return QVariant(double(v));
    }
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: {
        TIMESTAMP_STRUCT v = {};
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_TIMESTAMP, &v, sizeof v, &indicator);
        collect(rc);
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
            return QVariant();
        // The server's datetime is a wall-clock reading without a zone. Taken as UTC it is
        // kept exactly as read: a local time would move a reading in a daylight-saving gap,
        // and on Windows every local QDateTime asks the system for the zone's rules (under
        // wine some 80 us a value, most of a sign-in with thousands of databases).
        return QVariant(QDateTime(QDate(v.year, v.month, v.day),
            QTime(v.hour, v.minute, v.second, int(v.fraction / 1000000)), Qt::UTC));
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
        QByteArray out;
        char buffer[8192];
        for (;;) {
            const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_BINARY, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA)
                break;
            collect(rc);
            if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA)
                return out.isEmpty() ? QVariant() : QVariant(out);
            const bool truncated = indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof buffer);
            out.append(buffer, truncated ? int(sizeof buffer) : int(indicator));
            if (!truncated)
                break;
        }
        return QVariant(out);
    }
    default:
        break;
    }

    // Text of every other type, sql_variant included: the driver converts the value (of a
    // variant: its base type, int or nvarchar alike) into characters.
    QString out;
    SQLWCHAR buffer[4096];
    constexpr SQLLEN bufferBytes = SQLLEN(sizeof buffer);
    constexpr qsizetype bufferChars = qsizetype(std::size(buffer));
    bool gotAny = false;
    for (;;) {
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_WCHAR, buffer, bufferBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        collect(rc);
        if (!SQL_SUCCEEDED(rc))
            return gotAny ? QVariant(out) : QVariant();
        if (indicator == SQL_NULL_DATA)
            return QVariant();
        gotAny = true;
        const bool truncated = indicator == SQL_NO_TOTAL || indicator > bufferBytes - SQLLEN(sizeof(SQLWCHAR));
        if (truncated) {
            out += fromSqlWChar(buffer, bufferChars - 1);
            continue;
        }
        out += fromSqlWChar(buffer, qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR))));
        break;
    }
    return QVariant(out);
}

bool OdbcStatement::moreResults()
{
    if (!m_stmt || m_finished)
        return false;
    m_columnsKnown = false;
    const SQLRETURN rc = SQLMoreResults(static_cast<SQLHSTMT>(m_stmt));
    if (rc == SQL_NO_DATA) {
        m_finished = true;
        return false;
    }
    const int before = m_diagnostics.size();
    collect(rc);
    if (rc == SQL_INVALID_HANDLE) {
        m_finished = true;
        return false;
    }
    if (rc == SQL_ERROR) {
        // A failed statement of the batch: the following ones may still have results (the
        // driver may also report the failed statement's end as a second error without a
        // record). A lost connection or a call the driver refuses ends it.
        bool fatal = false;
        for (int i = before; i < m_diagnostics.size(); ++i) {
            const QString& state = m_diagnostics.at(i).sqlState;
            // A function sequence error is HY010 in ODBC 3 and S1010 in ODBC 2.
            if (linkFaultOf(state, m_diagnostics.at(i).nativeError) != LinkFault::None || state.startsWith(QLatin1String("IM"))
                || state == QLatin1String("HY010") || state == QLatin1String("S1010"))
                fatal = true;
        }
        m_silentErrors = m_diagnostics.size() == before ? m_silentErrors + 1 : 0;
        if (fatal || m_silentErrors > 16) {
            m_finished = true;
            return false;
        }
    } else {
        m_silentErrors = 0;
    }
    return true;
}

void OdbcStatement::drain()
{
    // Bounded, in case a driver keeps answering with errors.
    for (int i = 0; i < 100000 && moreResults(); ++i) {
    }
}

} // namespace tp
