#include "DbError.h"

namespace tp {

LinkFault linkFaultOf(const QString& sqlState, int nativeError)
{
    switch (nativeError) {
    case 20003:
        return LinkFault::TimedOut;
    case 20004:
    case 20006:
    case 20009:
    case 20017:
    case 20047:
        return LinkFault::Lost;
    default:
        break;
    }
    const QString state = sqlState.trimmed().toUpper();
    if (state == QLatin1String("HYT00") || state == QLatin1String("S1T00") || state == QLatin1String("HYT01")
        || state == QLatin1String("HY008") || state == QLatin1String("S1008"))
        return LinkFault::TimedOut;
    // 08004: the server rejected the connection (4060, a database it cannot open): an answer.
    if (state.startsWith(QLatin1String("08")) && state != QLatin1String("08004"))
        return LinkFault::Lost;
    return LinkFault::None;
}

DbError::DbError(int number, const QString& description, const QString& sqlState)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(description)
    , m_sqlState(sqlState)
{
}

LinkFault DbError::linkFault() const
{
    const LinkFault own = linkFaultOf(m_sqlState, m_number);
    if (own != LinkFault::None)
        return own;
    for (int n : m_messageNumbers) {
        const LinkFault f = linkFaultOf(QString(), n);
        if (f != LinkFault::None)
            return f;
    }
    return LinkFault::None;
}

} // namespace tp
