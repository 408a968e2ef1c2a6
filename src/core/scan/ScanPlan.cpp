#include "ScanPlan.h"

#include "FileLookup.h"
#include "PathIdentity.h"
#include "Statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <filesystem>
#include <system_error>

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

    QString withoutTrailingBlanks(const QString& s)
    {
        int end = s.size();
        while (end > 0 && s.at(end - 1) == QLatin1Char(' '))
            --end;
        return s.left(end);
    }

    bool isAccountSetFolder(const QString& name)
    {
        return name.startsWith(QLatin1String("ZT"), Qt::CaseInsensitive) && allDigits(QStringView(name).mid(2));
    }

    // Whether the folder can be listed. QDir gives an empty list for a folder it may not read
    // as for an empty one; opening it tells them apart. Asked only when the list is empty.
    bool listable(const QString& folder)
    {
        std::error_code error;
        const std::filesystem::directory_iterator it(std::filesystem::path(folder.toStdU16String()), error);
        return !error;
    }

    // A folder of the walk that could not be listed: `relative` is its part of the joined path
    // ("ZT001", "ZT001\2007", "" for the root itself).
    DiskYear unlistedFolder(const QString& root, const QString& relative, const QString& set, const QString& year)
    {
        DiskYear y;
        y.accountSet = set;
        y.year = year;
        y.dataFile = relative.isEmpty() ? root : joinServerPath(root, relative);
        y.folderUnreadable = true;
        return y;
    }

    // The years of one account set: `setDir` is the set's folder, `prefix` its part of the
    // joined path ("ZT001\", or "" when the root is the set's folder).
    void walkAccountSet(
        const QString& root, const QString& setDir, const QString& set, const QString& prefix, QList<DiskYear>* years)
    {
        const QDir dir(setDir);
        const QStringList yearFolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        if (yearFolders.isEmpty() && !prefix.isEmpty() && !listable(setDir)) {
            years->append(unlistedFolder(root, prefix.chopped(1), set, QString()));
            return;
        }
        for (const QString& yearFolder : yearFolders) {
            if (yearFolder.size() != 4 || !allDigits(yearFolder))
                continue;
            const QDir yearDir(dir.filePath(yearFolder));
            const QFileInfoList entries
                = yearDir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
            if (entries.isEmpty() && !listable(yearDir.path())) {
                years->append(unlistedFolder(root, prefix + yearFolder, set, yearFolder));
                continue;
            }
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
            const QString folder = prefix + yearFolder + QLatin1Char('\\');
            DiskYear y;
            y.accountSet = set;
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
            years->append(y);
        }
    }

    // The root's own folder name: "ZT001" for "D:\Data\ZT001\".
    QString lastName(const QString& root)
    {
        QString r = root;
        while (r.endsWith(QLatin1Char('\\')) || r.endsWith(QLatin1Char('/')))
            r.chop(1);
        const int cut = qMax(r.lastIndexOf(QLatin1Char('\\')), r.lastIndexOf(QLatin1Char('/')));
        return r.mid(cut + 1);
    }

    // The key of the folder `root` with a separator after it, for prefix tests.
    QString folderKey(const QString& root)
    {
        QString k = pathKey(root);
        if (!k.endsWith(QLatin1Char('\\')))
            k += QLatin1Char('\\');
        return k;
    }

} // namespace

QString joinServerPath(const QString& root, const QString& relative)
{
    if (root.endsWith(QLatin1Char('\\')) || root.endsWith(QLatin1Char('/')))
        return root + relative;
    return root + QLatin1Char('\\') + relative;
}

QList<DiskYear> walkDataRoot(const QString& givenRoot)
{
    const QString root = absoluteLocalPath(givenRoot);
    QList<DiskYear> years;
    const QDir rootDir(root);
    const QStringList sets = rootDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    const QString own = lastName(root);
    if (sets.isEmpty() && !listable(root))
        return { unlistedFolder(root, QString(), isAccountSetFolder(own) ? own.mid(2) : QString(), QString()) };
    for (const QString& setFolder : sets) {
        if (isAccountSetFolder(setFolder))
            walkAccountSet(root, rootDir.filePath(setFolder), setFolder.mid(2), setFolder + QLatin1Char('\\'), &years);
    }
    if (years.isEmpty() && isAccountSetFolder(own))
        walkAccountSet(root, root, own.mid(2), QString(), &years);
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

    // The disk's files, their keys and identities read once; the names they bear.
    QList<LocalFile> dataFiles, logFiles;
    dataFiles.reserve(disk.size());
    logFiles.reserve(disk.size());
    QSet<QString> diskNames;
    for (const DiskYear& y : disk) {
        dataFiles.append(LocalFile(y.dataFile));
        logFiles.append(LocalFile(y.logFile));
        if (y.folderUnreadable)
            continue;
        diskNames.insert(dataFiles.last().nameKey());
        diskNames.insert(logFiles.last().nameKey());
    }

    // Every file of every database, by key and, where it bears a disk file's name and is on
    // this machine, by identity. The first database that names a file owns it.
    QHash<QString, const ServerDatabase*> byFile;
    QHash<FileIdentity, const ServerDatabase*> byIdentity;
    QHash<const ServerDatabase*, FileIdentity> primaryIdentity;
    byFile.reserve(server.size());
    for (const ServerDatabase& db : server) {
        QStringList files { db.primaryFile };
        files += db.files;
        for (int i = 0; i < files.size(); ++i) {
            const QString& f = files.at(i);
            const QString key = pathKey(f);
            if (!byFile.contains(key))
                byFile.insert(key, &db);
            if (!diskNames.contains(fileNameKey(f)) || !isLocalName(f))
                continue;
            const FileIdentity id = fileIdentity(withoutTrailingBlanks(f));
            if (!id.valid)
                continue;
            if (!byIdentity.contains(id))
                byIdentity.insert(id, &db);
            if (i == 0)
                primaryIdentity.insert(&db, id);
        }
    }
    const auto owner = [&](const LocalFile& file) -> const ServerDatabase* {
        if (const ServerDatabase* db = byFile.value(file.key()))
            return db;
        return file.identity().valid ? byIdentity.value(file.identity()) : nullptr;
    };

    // The files of the disk years before, that are attached or to be attached: a second
    // account-year reaching them (one folder a link to another) is not ready as well.
    QHash<QString, QString> claimedKeys;
    QHash<FileIdentity, QString> claimedIds;
    const auto claimant = [&](const LocalFile& file) {
        const QString byKey = claimedKeys.value(file.key());
        if (!byKey.isEmpty() || !file.identity().valid)
            return byKey;
        return claimedIds.value(file.identity());
    };
    const auto claim = [&](const LocalFile& file, const QString& database) {
        claimedKeys.insert(file.key(), database);
        if (file.identity().valid)
            claimedIds.insert(file.identity(), database);
    };

    // The account-year names of the disk years before that are attached or to be attached,
    // with their data files: a second copy of a year (ZT001 and zt001 side by side where case
    // counts) cannot take the name as well.
    QHash<QString, QString> claimedNames;

    QList<PlanRow> rows;
    rows.reserve(disk.size());
    QSet<QString> onDisk; // account-year names found on disk
    QStringList unlisted; // the keys of the folders that could not be listed
    for (int i = 0; i < disk.size(); ++i) {
        const DiskYear& y = disk.at(i);
        const LocalFile& data = dataFiles.at(i);
        const LocalFile& log = logFiles.at(i);
        PlanRow r;
        r.accountSet = y.accountSet;
        r.year = y.year;
        if (!y.year.isEmpty())
            r.databaseName = QStringLiteral("UFDATA_") + y.accountSet + QLatin1Char('_') + y.year;
        r.dataFile = y.dataFile;
        if (y.folderUnreadable) {
            r.state = YearState::FolderUnreadable;
            unlisted.append(folderKey(y.dataFile));
            if (!r.databaseName.isEmpty())
                onDisk.insert(nameKey(r.databaseName));
            rows.append(r);
            continue;
        }
        r.logFile = y.logFile;
        r.dataSize = y.dataSize;
        r.logSize = y.logSize;
        const ServerDatabase* db = byName.value(nameKey(r.databaseName));
        const ServerDatabase* user = db ? nullptr : owner(data);
        if (!db && !user && y.hasLog)
            user = owner(log);
        QString earlier;
        if (!db && !user) {
            earlier = claimant(data);
            if (earlier.isEmpty() && y.hasLog)
                earlier = claimant(log);
        }
        const QString earlierName = claimedNames.value(nameKey(r.databaseName));
        if (db
            && (data.key() == pathKey(db->primaryFile)
                || (data.identity().valid && primaryIdentity.value(db) == data.identity()))) {
            r.state = YearState::Attached;
            // The log the server has, which need not be the one beside the data file.
            if (!db->logFile.isEmpty() && !log.isSameAs(db->logFile)) {
                r.logFile = withoutTrailingBlanks(db->logFile);
                const QFileInfo attachedLog(localFileName(r.logFile));
                r.logSize = isLocalName(r.logFile) && attachedLog.isFile() ? attachedLog.size() : -1;
            }
        } else if (db) {
            r.state = YearState::NameTaken;
            r.otherFile = withoutTrailingBlanks(db->primaryFile);
        } else if (user) {
            r.state = YearState::FilesInUse;
            r.otherDatabase = withoutTrailingBlanks(user->name);
        } else if (!earlier.isEmpty()) {
            r.state = YearState::FilesInUse;
            r.otherDatabase = earlier;
        } else if (!earlierName.isEmpty()) {
            r.state = YearState::NameTaken;
            r.otherFile = earlierName;
        } else if (y.dataFile.size() > serverPathLimit || (y.hasLog && y.logFile.size() > serverPathLimit)) {
            r.state = YearState::PathTooLong;
            r.verdictHint = pathTooLongHint(y.dataFile.size() > serverPathLimit ? y.dataFile : y.logFile);
        } else if (!y.dataReadable) {
            r.state = YearState::Unreadable;
        } else if (y.dataSize >= 0 && y.dataSize < databasePageSize) {
            // Not even a file header: nothing the server could attach.
            r.state = YearState::NotDatabase;
            r.verdictHint = QStringLiteral("文件“%1”只有 %2 字节，比数据库文件的一页（8 KB）还短，不是数据库文件"
                                           "（可能是空文件，或没有复制完），不能附加。请找回完好的文件，或从备份还原。")
                                .arg(y.dataFile)
                                .arg(y.dataSize);
        } else if (!y.hasLog) {
            r.state = YearState::LogMissing;
        } else {
            r.state = YearState::Ready;
        }
        if (r.state == YearState::Attached || r.state == YearState::Ready || r.state == YearState::LogMissing) {
            claim(data, r.databaseName);
            if (y.hasLog)
                claim(log, r.databaseName);
            claimedNames.insert(nameKey(r.databaseName), r.dataFile);
        }
        onDisk.insert(nameKey(r.databaseName));
        rows.append(r);
    }

    // Under the root as written, or under the folder its links lead to.
    QStringList under { folderKey(root) };
    const QString canonical = QFileInfo(localFileName(absoluteLocalPath(root))).canonicalFilePath();
    if (!canonical.isEmpty() && folderKey(canonical) != under.first())
        under.append(folderKey(canonical));
    const auto isUnderRoot = [&under](const QString& file) {
        const QString key = pathKey(file);
        for (const QString& folder : under) {
            if (key.size() > folder.size() && key.startsWith(folder))
                return true;
        }
        return false;
    };

    QList<PlanRow> gone;
    for (const ServerDatabase& db : server) {
        PlanRow r;
        const QString name = withoutTrailingBlanks(db.name);
        if (!parseAccountYearName(name, &r.accountSet, &r.year))
            continue;
        if (onDisk.contains(nameKey(name)))
            continue; // listed as the disk year: attached from its files, or the name taken
        const QString file = withoutTrailingBlanks(db.primaryFile);
        if (!isUnderRoot(file) || (fileExists && fileExists(file)))
            continue;
        // Under a folder that could not be listed the file may well be there.
        const QString key = pathKey(file);
        if (std::any_of(unlisted.begin(), unlisted.end(), [&](const QString& f) { return key.startsWith(f); }))
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
    case YearState::NoAccess:
        return QStringLiteral("服务器无权读取");
    case YearState::TooOld:
        return QStringLiteral("版本过旧");
    case YearState::TooNew:
        return QStringLiteral("版本过新");
    case YearState::ReadOnly:
        return QStringLiteral("文件只读");
    case YearState::NotDatabase:
        return QStringLiteral("不是数据库文件");
    case YearState::CannotOpen:
        return QStringLiteral("服务器无法打开");
    case YearState::FolderUnreadable:
        return QStringLiteral("文件夹无法读取");
    case YearState::PathTooLong:
        return QStringLiteral("路径过长");
    }
    return QString();
}

bool isRefusal(YearState state)
{
    return (int(state) >= int(YearState::NoAccess) && int(state) <= int(YearState::CannotOpen))
        || state == YearState::PathTooLong;
}

QString pathTooLongHint(const QString& file)
{
    return QStringLiteral("文件“%1”的路径有 %2 个字符，SQL Server 只接受不超过 %3 个字符的文件路径，"
                          "这个年度不能附加。请把账套文件夹移到路径较短的位置（例如磁盘根目录下），再扫描。")
        .arg(file)
        .arg(file.size())
        .arg(serverPathLimit);
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
