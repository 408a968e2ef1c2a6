#pragma once
// The one error type of the database access layer. It carries the server's error number
// (or the driver's, when the server never answered) and the driver's description.
// The description never contains the password of the connection that raised it.

#include <QList>
#include <QString>
#include <QVector>
#include <stdexcept>

namespace tp {

class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& description, const QString& sqlState = QString());

    int number() const { return m_number; } // 0 when neither server nor driver gave one
    const QString& description() const { return m_description; }
    const QString& sqlState() const { return m_sqlState; }

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
