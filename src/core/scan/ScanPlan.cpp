#include "ScanPlan.h"

#include "Statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace tp {

namespace {

    bool allDigits(QStringView s)
    {
        if (s.isEmpty())
            return false;
        for (const QChar c : s) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        return true;
    }

    // Account sets by number, then by text ("1" before "001" before "2"); years as text
    // (always four digits).
    bool setYearLess(const QString& setA, const QString& yearA, const QString& setB, const QString& yearB)
    {
        if (setA != setB) {
            const qulonglong a = setA.toULongLong();
            const qulonglong b = setB.toULongLong();
            if (a != b)
                return a < b;
            return setA < setB;
        }
        return yearA < yearB;
    }

    QString nameKey(const QString& name)
    {
        return name.toCaseFolded();
    }

    // `path` names something inside the folder `root` (compared as the server compares paths).
    bool isUnderPath(const QString& path, const QString& root)
    {
        QString folder = root;
        while (folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        if (path.size() <= folder.size() + 1)
            return false;
        const QChar sep = path.at(folder.size());
        return (sep == QLatin1Char('\\') || sep == QLatin1Char('/')) && samePath(path.left(folder.size()), folder);
    }

    QString withoutTrailingBlanks(const QString& s)
    {
        int end = s.size();
        while (end > 0 && s.at(end - 1) == QLatin1Char(' '))
            --end;
        return s.left(end);
    }

} // namespace

QString joinServerPath(const QString& root, const QString& relative)
{
    if (root.endsWith(QLatin1Char('\\')) || root.endsWith(QLatin1Char('/')))
        return root + relative;
    return root + QLatin1Char('\\') + relative;
}

QList<DiskYear> walkDataRoot(const QString& root)
{
    QList<DiskYear> years;
    const QDir rootDir(root);
    const QStringList sets = rootDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& setFolder : sets) {
        if (!setFolder.startsWith(QLatin1String("ZT"), Qt::CaseInsensitive)
            || !allDigits(QStringView(setFolder).mid(2)))
            continue;
        const QDir setDir(rootDir.filePath(setFolder));
        const QStringList yearFolders
            = setDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QString& yearFolder : yearFolders) {
            if (yearFolder.size() != 4 || !allDigits(yearFolder))
                continue;
            const QDir yearDir(setDir.filePath(yearFolder));
            const QFileInfoList entries
                = yearDir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
            const QFileInfo* data = nullptr;
            const QFileInfo* log = nullptr;
            for (const QFileInfo& e : entries) {
                if (e.fileName().compare(QLatin1String("ufdata.MDF"), Qt::CaseInsensitive) == 0)
                    data = &e;
                else if (e.fileName().compare(QLatin1String("ufdata.LDF"), Qt::CaseInsensitive) == 0 && e.isFile())
                    log = &e;
            }
            if (!data)
                continue;
            const QString folder = setFolder + QLatin1Char('\\') + yearFolder + QLatin1Char('\\');
            DiskYear y;
            y.accountSet = setFolder.mid(2);
            y.year = yearFolder;
            y.dataFile = joinServerPath(root, folder + data->fileName());
            y.logFile = joinServerPath(root, folder + (log ? log->fileName() : QStringLiteral("ufdata.LDF")));
            y.hasLog = log != nullptr;
            if (data->isFile()) {
                y.dataSize = data->size();
                QFile f(data->filePath());
                y.dataReadable = f.open(QIODevice::ReadOnly);
            }
            if (log)
                y.logSize = log->size();
            years.append(y);
        }
    }
    std::stable_sort(years.begin(), years.end(),
        [](const DiskYear& a, const DiskYear& b) { return setYearLess(a.accountSet, a.year, b.accountSet, b.year); });
    return years;
}

bool parseAccountYearName(const QString& name, QString* accountSet, QString* year)
{
    if (!name.startsWith(QLatin1String("UFDATA_"), Qt::CaseInsensitive))
        return false;
    const int last = name.lastIndexOf(QLatin1Char('_'));
    if (last <= 7)
        return false;
    const QStringView set = QStringView(name).mid(7, last - 7);
    const QStringView y = QStringView(name).mid(last + 1);
    if (!allDigits(set) || y.size() != 4 || !allDigits(y))
        return false;
    *accountSet = set.toString();
    *year = y.toString();
    return true;
}

QList<PlanRow> buildPlan(const QString& root, const QList<DiskYear>& disk, const QList<ServerDatabase>& server,
    bool (*fileExists)(const QString& path))
{
    QHash<QString, const ServerDatabase*> byName;
    byName.reserve(server.size());
    for (const ServerDatabase& db : server)
        byName.insert(nameKey(withoutTrailingBlanks(db.name)), &db);

    // The same file however the server writes its path (see samePath).
    const auto fileKey = [](const QString& path) {
        return withoutTrailingBlanks(path).replace(QLatin1Char('/'), QLatin1Char('\\')).toCaseFolded();
    };
    QHash<QString, const ServerDatabase*> byFile;
    byFile.reserve(server.size());
    for (const ServerDatabase& db : server)
        byFile.insert(fileKey(db.primaryFile), &db);

    QList<PlanRow> rows;
    rows.reserve(disk.size());
    QHash<QString, bool> onDisk; // account-year names found on disk, attached from these files or not
    for (const DiskYear& y : disk) {
        PlanRow r;
        r.accountSet = y.accountSet;
        r.year = y.year;
        r.databaseName = QStringLiteral("UFDATA_") + y.accountSet + QLatin1Char('_') + y.year;
        r.dataFile = y.dataFile;
        r.logFile = y.logFile;
        r.dataSize = y.dataSize;
        r.logSize = y.logSize;
        const ServerDatabase* db = byName.value(nameKey(r.databaseName));
        if (db && samePath(db->primaryFile, y.dataFile)) {
            r.state = YearState::Attached;
        } else if (db) {
            r.state = YearState::NameTaken;
            r.otherFile = withoutTrailingBlanks(db->primaryFile);
        } else if (const ServerDatabase* owner = byFile.value(fileKey(y.dataFile))) {
            r.state = YearState::FilesInUse;
            r.otherDatabase = withoutTrailingBlanks(owner->name);
        } else if (!y.dataReadable) {
            r.state = YearState::Unreadable;
        } else if (!y.hasLog) {
            r.state = YearState::LogMissing;
        } else {
            r.state = YearState::Ready;
        }
        onDisk.insert(nameKey(r.databaseName), r.state == YearState::Attached);
        rows.append(r);
    }

    QList<PlanRow> gone;
    for (const ServerDatabase& db : server) {
        PlanRow r;
        const QString name = withoutTrailingBlanks(db.name);
        if (!parseAccountYearName(name, &r.accountSet, &r.year))
            continue;
        if (onDisk.value(nameKey(name), false))
            continue; // attached from the files found on disk
        const QString file = withoutTrailingBlanks(db.primaryFile);
        if (!isUnderPath(file, root) || (fileExists && fileExists(file)))
            continue;
        r.databaseName = name;
        r.state = YearState::Gone;
        r.dataFile = file;
        gone.append(r);
    }
    if (gone.isEmpty())
        return rows;
    rows.append(gone);
    std::stable_sort(rows.begin(), rows.end(),
        [](const PlanRow& a, const PlanRow& b) { return setYearLess(a.accountSet, a.year, b.accountSet, b.year); });
    return rows;
}

bool serverFileExists(const QString& path)
{
    QString local = path;
    local.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QFileInfo(local).isFile();
}

QString stateText(YearState state)
{
    switch (state) {
    case YearState::Attached:
        return QStringLiteral("已附加");
    case YearState::NameTaken:
        return QStringLiteral("名称已被占用");
    case YearState::Ready:
        return QStringLiteral("可附加");
    case YearState::LogMissing:
        return QStringLiteral("缺少日志文件");
    case YearState::Unreadable:
        return QStringLiteral("文件无法读取");
    case YearState::Gone:
        return QStringLiteral("文件已不存在");
    case YearState::FilesInUse:
        return QStringLiteral("文件已被其他数据库使用");
    }
    return QString();
}

QString stateDetailText(const PlanRow& row)
{
    if (row.state == YearState::NameTaken)
        return stateText(row.state) + QStringLiteral("（") + row.otherFile + QStringLiteral("）");
    if (row.state == YearState::FilesInUse)
        return stateText(row.state) + QStringLiteral("（") + row.otherDatabase + QStringLiteral("）");
    return stateText(row.state);
}

QString sizeText(qint64 bytes)
{
    if (bytes < 0)
        return QString();
    if (bytes < 1024)
        return QString::number(bytes) + QStringLiteral(" B");
    static const char* units[] = { "KB", "MB", "GB", "TB" };
    double v = bytes / 1024.0;
    int unit = 0;
    while (v >= 1024.0 && unit < 3) {
        v /= 1024.0;
        ++unit;
    }
    return QString::number(v, 'f', 1) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace tp
