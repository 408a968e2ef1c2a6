#pragma once
// A thin stand-in for ADO over ODBC. Connection strings are OLE DB strings
// (Provider=SQLOLEDB...); they are read and turned into an ODBC connection to SQL Server (see
// OleDb.h). The server receives the login and the caller's own statements, nothing else; every
// query runs forward-only as a plain batch. Failures throw DbError; nothing here shows any
// user interface.

#include "DbError.h"
#include "OdbcApi.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace tp {

// One result of a batch as Connection::executeBatch reads it: its columns (none for a
// statement that returns no rows) and rows, and the messages the driver gave while this
// result was the current one and while it moved on to the next. Messages that reach the
// client before a result's columns were sent before that result: they belong to the
// statements before it.
struct BatchResult
{
    QStringList columns;
    QVector<QVector<QVariant>> rows;
    QVector<OdbcDiagnostic> messages;
};

struct BatchAnswer
{
    QVector<OdbcDiagnostic> leading; // messages before the first result
    QVector<BatchResult> results;
    bool linkLost = false; // the link broke (or the server closed it) before the batch's end
};

constexpr int adOpenStatic = 3;
constexpr int adLockOptimistic = 3;
constexpr int adConnectUnspecified = -1;
constexpr int adCmdUnspecified = -1;

// How a caller waits while a connection opens: it runs `attempt` on a thread of its own and
// returns once that is over (the windows stay painted meanwhile). The attempt touches no Qt
// object and throws nothing.
using OpenWait = std::function<void(const std::function<void()>& attempt)>;

class Connection {
public:
    Connection();
    ~Connection(); // closes the connection if it is still open
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString connectionString() const;
    void setConnectionString(const QString& oleDbString);

    // Open with no arguments: uses connectionString(). Throws DbError; before any server is
    // reached UnsendableValueError (a value the driver cannot carry) or DriverMissingError.
    void open();
    // The four-argument form: user and password travel only inside the string when empty here.
    void open(const QString& oleDbString, const QString& userId, const QString& password, int options);

    // Sends one statement text (possibly a batch of several statements) and reads every
    // result of it; throws DbError for an error raised by any statement of the batch.
    void execute(const QString& statement);

    // Sends a batch and reads every result and message of it in order, without failing for
    // the refusal of any of its statements: the caller tells them apart. Texts have the
    // password scrubbed. Throws DbError only when the connection is not open.
    BatchAnswer executeBatch(const QString& batch);

    void close(); // no effect when not open
    bool isOpen() const;

    // For the access layer's own Recordset: the ODBC connection handle while open, else null.
    void* odbcHandle() const;

    // How open() waits for the server; without one (the default) it waits on the calling thread.
    void setOpenWait(OpenWait wait) { m_openWait = std::move(wait); }

    // ADO's ConnectionTimeout (seconds to wait for the server at Open, default 15; a
    // "Connect Timeout" in the string wins) and CommandTimeout (seconds a statement or
    // query may run, default 30; 0 waits for ever).
    int connectionTimeout() const { return m_connectionTimeout; }
    void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }
    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }

    // `text` with the password of the open connection replaced by "***" where a connection
    // string or attribute shows it (scrubPassword).
    QString scrub(const QString& text) const;

private:
    QString m_connectionString;
    std::unique_ptr<OdbcConnection> m_odbc; // while open
    OpenWait m_openWait;
    QString m_password; // kept only to scrub it from error texts
    int m_connectionTimeout = 15;
    int m_commandTimeout = 30;
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs the source on the active connection and reads all rows. The recordset keeps the
    // connection alive for as long as the recordset lives. Throws DbError.
    void open(const QString& source, std::shared_ptr<Connection> activeConnection, int cursorType, int lockType,
        int options);
    void close();
    bool isOpen() const;

    bool eof() const; // true when there is no current row (an empty result)
    int rowCount() const;
    int columnCount() const;
    QStringList fieldNames() const;
    QVariant value(int row, int column) const; // as the driver gave it
    QVariant field(const QString& name) const; // value of the first row, invalid if none

    // The text a grid cell shows for a value: strings as they are (padding kept), numbers in
    // decimal, and an sql_variant that the driver hands over as raw UTF-16LE bytes decoded.
    QString text(int row, int column) const;

    std::shared_ptr<Connection> activeConnection() const;

private:
    std::shared_ptr<Connection> m_connection;
    QStringList m_fields;
    QVector<int> m_types; // ODBC type of each field
    QVector<QVector<QVariant>> m_rows;
    bool m_open = false;
};

} // namespace tp
