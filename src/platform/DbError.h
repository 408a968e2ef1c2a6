#pragma once
// The one error type of the database access layer. It carries the server's error number
// (or the driver's, when the server never answered) and the driver's description.
// The description never contains the password of the connection that raised it.

#include <QString>
#include <stdexcept>

namespace tp {

class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& description, const QString& sqlState = QString());

    int number() const { return m_number; } // 0 when neither server nor driver gave one
    const QString& description() const { return m_description; }
    const QString& sqlState() const { return m_sqlState; }

private:
    int m_number;
    QString m_description;
    QString m_sqlState;
};

} // namespace tp
