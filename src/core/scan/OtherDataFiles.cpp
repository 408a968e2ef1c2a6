#include "OtherDataFiles.h"

#include "FileLookup.h"
#include "PathIdentity.h"
#include "Statements.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>

namespace tp {

namespace {

    QString fileKey(const QString& path)
    {
        return pathKey(path);
    }

    QString serverFolderOf(const QString& path)
    {
        const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
        return cut < 0 ? QString() : path.left(cut);
    }

    QString serverFileNameOf(const QString& path)
    {
        const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
        return path.mid(cut + 1);
    }

} // namespace

QList<OtherDataFile> walkOtherDataFiles(const QString& root, const QList<DiskYear>& years)
{
    QSet<QString> yearFiles;
    for (const DiskYear& y : years)
        yearFiles.insert(fileKey(y.dataFile));
    QList<OtherDataFile> found;
    const QDir rootDir(root);
    // Names are matched without case; only the files that match are looked at more closely.
    QDirIterator it(
        root, { QStringLiteral("*.mdf") }, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo e = it.fileInfo();
        OtherDataFile f;
        f.dataFile
            = joinServerPath(root, rootDir.relativeFilePath(e.filePath()).replace(QLatin1Char('/'), QLatin1Char('\\')));
        if (yearFiles.contains(fileKey(f.dataFile)))
            continue;
        f.size = e.size();
        QFile file(e.filePath());
        f.readable = file.open(QIODevice::ReadOnly);
        found.append(f);
    }
    std::stable_sort(found.begin(), found.end(), [](const OtherDataFile& a, const OtherDataFile& b) {
        return a.dataFile.compare(b.dataFile, Qt::CaseInsensitive) < 0;
    });
    return found;
}

QList<PlanRow> otherFileRows(const QList<OtherDataFile>& files, const QList<ServerDatabase>& server)
{
    QHash<QString, const ServerDatabase*> byFile;
    for (const ServerDatabase& db : server)
        byFile.insert(fileKey(db.primaryFile), &db);
    QList<PlanRow> rows;
    for (const OtherDataFile& f : files) {
        PlanRow r;
        r.otherDataFile = true;
        r.dataFile = f.dataFile;
        r.dataSize = f.size;
        if (const ServerDatabase* db = byFile.value(fileKey(f.dataFile))) {
            r.state = YearState::Attached;
            r.databaseName = logicalFileName(db->name);
        } else {
            r.state = f.readable ? YearState::Ready : YearState::Unreadable;
        }
        rows.append(r);
    }
    return rows;
}

void nameOtherFileRow(PlanRow& row, const FileVerdict& verdict, const QList<ServerDatabase>& server,
    const QList<PlanRow>& earlier, bool (*fileExists)(const QString& path))
{
    if (row.state != YearState::Ready || (verdict.answered && verdict.error != 0))
        return; // a refusal is the verdict's to apply
    if (!verdict.answered || verdict.recordedName.isEmpty()) {
        row.state = YearState::CannotOpen;
        row.verdictHint = QStringLiteral("服务器没有读出这个文件记录的数据库名，所以不附加它。")
            + (verdict.message.isEmpty() ? QString() : QStringLiteral("（") + verdict.message + QStringLiteral("）"));
        return;
    }
    row.databaseName = verdict.recordedName;

    const QString folder = serverFolderOf(row.dataFile);
    const RecordedFile* log = nullptr;
    for (const RecordedFile& f : verdict.files) {
        if (f.log) {
            log = &f;
            break;
        }
    }
    const QString beside = folder + QLatin1Char('\\')
        + (log ? serverFileNameOf(log->path) : verdict.recordedName + QStringLiteral("_log.LDF"));
    row.logFile = beside;
    if (log && fileExists && fileExists(beside)) {
        row.logSize = QFileInfo(localFileName(beside)).size();
    } else if (log && fileExists && fileExists(log->path)) {
        row.logFile = log->path;
        row.logSize = QFileInfo(localFileName(log->path)).size();
    } else {
        row.state = YearState::LogMissing;
    }

    const QString key = verdict.recordedName.toCaseFolded();
    for (const ServerDatabase& db : server) {
        if (logicalFileName(db.name).toCaseFolded() == key) {
            row.state = YearState::NameTaken;
            row.otherFile = logicalFileName(db.primaryFile);
            return;
        }
    }
    for (const PlanRow& r : earlier) {
        if (!r.databaseName.isEmpty() && r.databaseName.toCaseFolded() == key) {
            row.state = YearState::NameTaken;
            row.otherFile = r.dataFile;
            return;
        }
    }
}

} // namespace tp
