#pragma once
// The one error type of the database access layer. It carries the server's error number
// (or the driver's, when the server never answered) and the driver's description.
// The description never contains the password of the connection that raised it.

#include <QList>
#include <QString>
#include <QVector>
#include <stdexcept>

namespace tp {

// What a diagnostic record says of the link to the server: its SQLSTATE, in the ODBC 3 form
// or, to an application that asked for ODBC 2 behaviour, the
// ODBC 2 form (FreeTDS then reports a query time-out as S1T00 and the cancel that follows it
// as S1008 instead of HYT00 and HY008), or FreeTDS's own number, which is the same in both
// (its "unable to connect" comes as the general S1000 in ODBC 2, its end of stream with no
// state at all). This is the one place that tells them apart.
enum class LinkFault {
    None, // an answer: the server (or the driver) refused something, or nothing is known
    TimedOut, // the driver stopped waiting: HYT00/S1T00, HYT01, the cancel HY008/S1008, FreeTDS 20003
    Lost, // the link broke or was never made: 08xxx but the server's own 08004; FreeTDS 20004,
          // 20006 (read, write failed), 20009 (unreachable), 20017 (end of stream), 20047 (dead)
};
LinkFault linkFaultOf(const QString& sqlState, int nativeError = 0);

class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& description, const QString& sqlState = QString());

    int number() const { return m_number; } // 0 when neither server nor driver gave one
    const QString& description() const { return m_description; }
    const QString& sqlState() const { return m_sqlState; }
    // What the failure says of the link: linkFaultOf() of its state and number, else of the
    // first of messageNumbers() that tells (the access layer gives the failure the state of
    // the record that tells of a time-out or a lost link, whatever the server said before).
    LinkFault linkFault() const;

    // True when the error came after the statement had been handed to the server (from
    // Execute or a query), false when it came while connecting: a link that broke after the
    // statement left may have let the server do it.
    bool statementSent() const { return m_statementSent; }
    void setStatementSent(bool sent) { m_statementSent = sent; }

    // Every error number of the failure in the order the server sent them (a refused ALTER
    // DATABASE: the reason, then 5069); empty when only number() is known.
    const QList<int>& errorNumbers() const { return m_errorNumbers; }
    void setErrorNumbers(const QList<int>& numbers) { m_errorNumbers = numbers; }
    // The numbers of every message that came with the failure, informational ones included
    // (5113 explains the 1813 after it), in the order the driver gave them; empty when not
    // known.
    const QVector<int>& messageNumbers() const { return m_messageNumbers; }
    void setMessageNumbers(const QVector<int>& numbers) { m_messageNumbers = numbers; }

private:
    int m_number;
    QString m_description;
    QString m_sqlState;
    bool m_statementSent = false;
    QList<int> m_errorNumbers;
    QVector<int> m_messageNumbers;
};

// Raised before anything is sent when the installed ODBC driver cannot carry a value of the
// connection string at all (FreeTDS and a value holding "};"). Number 0.
class UnsendableValueError : public DbError {
public:
    using DbError::DbError;
};

// Raised by Connection::open when this machine has no ODBC driver for SQL Server, or the
// driver manager cannot load the one chosen (its IM002 or IM003, unixODBC's "Can't open lib"):
// nothing reached a server. Number 0.
class DriverMissingError : public DbError {
public:
    using DbError::DbError;
};

} // namespace tp
