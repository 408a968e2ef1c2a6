#include "DbError.h"

namespace tp {

DbError::DbError(int number, const QString& description, const QString& sqlState)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(description)
    , m_sqlState(sqlState)
{
}

} // namespace tp
