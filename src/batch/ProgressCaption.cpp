#include "ProgressCaption.h"

#include "NumberText.h"

namespace tp {

QString progressCaption(const QString& databaseName, qint64 left)
{
    return QStringLiteral("正在附加数据库 ") + databaseName + QStringLiteral("，还剩下 ") + textFromNumber(left)
        + QStringLiteral(" 个，请稍后．．．．．．");
}

} // namespace tp
