#include "FileAttachLogic.h"

#include "Statements.h"

namespace tp {

QString checkPrimaryFileStatement(const QString& mdfPath, int option)
{
    return QStringLiteral("dbcc checkprimaryfile (N'") + sqlQuote(mdfPath) + QStringLiteral("',")
        + QString::number(option) + QStringLiteral(") ");
}

QString cleanRecordedPath(const QString& cell)
{
    qsizetype end = cell.size();
    while (end > 0) {
        const QChar c = cell.at(end - 1);
        if (c != QLatin1Char(' ') && c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            break;
        --end;
    }
    return cell.left(end);
}

int logFileRow(const QVector<QVariant>& groupIds)
{
    for (int row = 0; row < groupIds.size(); ++row) {
        const QVariant& id = groupIds.at(row);
        if (id.isNull())
            continue;
        bool ok = false;
        const int value = id.toString().trimmed().toInt(&ok);
        if (ok && value == 0)
            return row;
    }
    return 1;
}

} // namespace tp
