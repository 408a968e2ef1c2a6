#include "AccountYear.h"

namespace tp {

AccountYearPaths accountYear(const QString& dataRoot, const QString& accountSet, const QString& year)
{
    AccountYearPaths p;
    p.folder = dataRoot + QStringLiteral("\\ZT") + accountSet + QStringLiteral("\\") + year;
    p.databaseName = QStringLiteral("UFDATA_") + accountSet + QStringLiteral("_") + year;
    p.dataFilePath = p.folder + QStringLiteral("\\ufdata.MDF");
    p.logFilePath = p.folder + QStringLiteral("\\ufdata.LDF");
    return p;
}

} // namespace tp
