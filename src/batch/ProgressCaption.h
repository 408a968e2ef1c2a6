#pragma once

#include <QString>
#include <QtGlobal>

namespace tp {

// The progress window's line: "正在附加数据库 " + name + "，还剩下 " + left + " 个，请稍后．．．．．．"
// (full-width comma and full stops; one blank after 库, around the figure).
QString progressCaption(const QString& databaseName, qint64 left);

} // namespace tp
