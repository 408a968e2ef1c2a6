#pragma once
// The ODBC calls of the access layer: the list of installed drivers, the connection, and
// statements run on its handle, reading every result and every message of a batch.
// The ODBC headers stay inside OdbcApi.cpp.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tp {

// Names of the ODBC drivers the driver manager knows (Windows: the registry's list;
// unixODBC: odbcinst.ini). Empty when the driver manager cannot be asked.
QStringList installedOdbcDrivers();

// The FreeTDS ODBC library at one of its usual places, for machines where it is installed but
// not registered; empty when there is none (always empty on Windows).
QString freeTdsDriverLibrary();

// Whether the FreeTDS ODBC driver `driver` reads "}}" inside a braced value as one '}' (as
// ODBC's rules say and newer FreeTDS does), or ends a braced value at the first '}' that a
// ';' or the end follows, taking every other '}' as it is (FreeTDS 1.3 and before). Found
// out once per driver by letting it parse a string that only the first kind refuses; the
// second kind then tries 127.0.0.1 port 1, which is refused at once.
bool freeTdsUnescapesBraces(const QString& driver);

// Whether the driver manager cannot load the driver `driver` (a name or a library path): a
// connection attempt through it to 127.0.0.1 port 1 (refused at once) fails with the driver
// manager's IM002 or IM003, or with no error record at all (unixODBC reports a library it
// cannot open as a warning only). False when the driver answers, whatever it says.
bool odbcDriverMissing(const QString& driver);

// One diagnostic record: SQLSTATE, the server's (or driver's) native number, the text.
struct OdbcDiagnostic {
    QString sqlState;
    int nativeError = 0;
    QString message;
    // Class "01" is a warning (an informational message of the server); all else is an error.
    bool isError() const { return !sqlState.startsWith(QLatin1String("01")); }
};

// The server's number of the first error among the records (0 if none carries one), and
// every message in order, one a line.
int firstErrorNumber(const QVector<OdbcDiagnostic>& records);
QString joinedMessages(const QVector<OdbcDiagnostic>& records);

// One ODBC connection of the access layer's own: an environment (ODBC 3) and a connection
// handle, opened with SQLDriverConnect. Nothing goes to the server beyond the login: no set-up
// statements, no type catalogue look-ups. The handles belong to no thread: connect() may run on
// another thread than the later statements, one thread at a time. The destructor disconnects.
class OdbcConnection {
public:
    OdbcConnection();
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    // Seconds the driver waits for the server at connect().
    void setLoginTimeout(int seconds);
    // Connects with a complete ODBC connection string; false on failure, with diagnostics().
    bool connect(const QString& connectionString);
    void disconnect();
    bool isConnected() const { return m_connected; }
    bool isAllocated() const { return m_dbc != nullptr; } // false when the driver manager gave no handle
    void* handle() const { return m_connected ? m_dbc : nullptr; } // SQLHDBC while connected
    const QVector<OdbcDiagnostic>& diagnostics() const { return m_diagnostics; }

    // Connections of this kind connected in this process right now.
    static int connectedCount();

private:
    void* m_env = nullptr;
    void* m_dbc = nullptr;
    bool m_connected = false;
    QVector<OdbcDiagnostic> m_diagnostics;
};

struct OdbcColumn {
    QString name;
    int sqlType = 0; // SQL_* type code as the driver describes it
};

// The ODBC type code drivers for SQL Server use for sql_variant columns.
constexpr int SqlSsVariant = -150;

// One statement handle on an open connection handle (SQLHDBC, as OdbcConnection::handle()
// gives it). Forward-only and read-only, which is what ODBC gives a new
// statement: the text goes to the server as a plain batch, with no server cursor.
// Every call records the diagnostics it produced; failed() tells whether any was an error
// or any call returned SQL_ERROR. The handle is freed by the destructor.
class OdbcStatement {
public:
    explicit OdbcStatement(void* connectionHandle);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    void setQueryTimeout(int seconds);

    // Sends the text. Returns false when the call failed (the first result is an error).
    bool execDirect(const QString& sql);
    // The columns of the current result; empty for a result without rows (a row count).
    QVector<OdbcColumn> columns();
    // Reads the next row of the current result into `row`; false at the end or on error.
    bool fetch(QVector<QVariant>& row);
    // Moves to the next result of the batch; false when there is none (or on an error that
    // leaves the statement unable to go on).
    bool moreResults();
    // Reads every remaining result of the batch, skipping rows.
    void drain();

    bool failed() const { return m_failed; }
    const QVector<OdbcDiagnostic>& diagnostics() const { return m_diagnostics; }

private:
    void collect(short returnCode);
    QVariant readCell(int column, int sqlType);

    void* m_stmt = nullptr;
    bool m_failed = false;
    bool m_finished = false;
    int m_silentErrors = 0; // SQL_ERROR answers in a row that came without a record
    QVector<OdbcDiagnostic> m_diagnostics;
    QVector<OdbcColumn> m_columns;
    bool m_columnsKnown = false;
};

} // namespace tp
