#pragma once
// The one error type of the database access layer. It carries the server's error number
// (or the driver's, when the server never answered) and the driver's description.
// The description never contains the password of the connection that raised it.

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

    // The server's numbers of every message that came with the error, informational ones
    // included, in the order the driver gave them (empty when only number() is known). A
    // refusal often comes as two messages (948 with 1813, 5113 with 1813): the hints look at
    // all of them.
    const QVector<int>& messageNumbers() const { return m_messageNumbers; }
    void setMessageNumbers(const QVector<int>& numbers) { m_messageNumbers = numbers; }

private:
    int m_number;
    QString m_description;
    QString m_sqlState;
    bool m_statementSent = false;
    QVector<int> m_messageNumbers;
};

// Raised before anything is sent when the installed ODBC driver cannot carry a value of the
// connection string at all (FreeTDS and a value holding "};"). Number 0.
class UnsendableValueError : public DbError {
public:
    using DbError::DbError;
};

} // namespace tp
