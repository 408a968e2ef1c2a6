#include "ScanStatements.h"

#include "Statements.h"

namespace tp {

QString verdictMarker(int position)
{
    return QStringLiteral("SELECT %1 AS ").arg(position) + QLatin1String(verdictMarkerColumn);
}

QString verdictLookup(const QString& dataFile, int option)
{
    return QStringLiteral("dbcc checkprimaryfile (N'") + sqlQuote(dataFile) + QStringLiteral("',")
        + QString::number(option) + QStringLiteral(") WITH NO_INFOMSGS");
}

QString verdictBatch(const QList<VerdictRequest>& requests, int first, int count)
{
    QStringList lines;
    for (int i = first; i < first + count && i < requests.size(); ++i) {
        lines << verdictMarker(i) << verdictLookup(requests.at(i).dataFile, 2);
        if (requests.at(i).fileList)
            lines << verdictLookup(requests.at(i).dataFile, 3);
    }
    return lines.join(QLatin1Char('\n'));
}

QStringList verdictBatches(const QList<VerdictRequest>& requests)
{
    QStringList batches;
    for (int first = 0; first < requests.size(); first += verdictBatchSize)
        batches << verdictBatch(requests, first, verdictBatchSize);
    return batches;
}

QString serviceAccountQuery()
{
    return QStringLiteral("SELECT servicename, service_account FROM sys.dm_server_services");
}

bool hasServerServices(const QString& productVersion)
{
    const QStringList parts = productVersion.trimmed().split(QLatin1Char('.'));
    const int major = parts.value(0).toInt();
    const int minor = parts.value(1).toInt();
    const int build = parts.value(2).toInt();
    return major > 10 || (major == 10 && minor >= 50 && build >= 2500);
}

} // namespace tp
