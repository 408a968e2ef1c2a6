// Databases: USE, CREATE DATABASE (new files or FOR ATTACH), sp_attach_db, sp_detach_db,
// ALTER DATABASE ... SET RECOVERY, BACKUP.

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUuid>

namespace standin {

namespace {

    QString bracketed(const QString& name)
    {
        QString n = name;
        n.replace(QLatin1Char(']'), QStringLiteral("]]"));
        return QLatin1Char('[') + n + QLatin1Char(']');
    }

    QString quoted(const QString& value)
    {
        QString v = value;
        v.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QStringLiteral("N'") + v + QLatin1Char('\'');
    }

    QString withoutExtension(const QString& fileName)
    {
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        return dot > 0 ? fileName.left(dot) : fileName;
    }

    qint32 pagesOf(qint64 kb)
    {
        return qint32((kb + 7) / 8);
    }

    // A backup file holds one line per backup set: the marker, then the set as JSON.
    const QByteArray backupSetMarker = QByteArrayLiteral("TPBACKUP ");

    // The number of backup sets in the file; 0 when it is missing or empty, -1 when it holds
    // something else.
    int backupSetCount(const QString& localPath)
    {
        QFile f(localPath);
        if (!f.exists())
            return 0;
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        int sets = 0;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine(1 << 20);
            if (!line.startsWith(backupSetMarker) || !line.endsWith('\n'))
                return -1;
            ++sets;
        }
        return sets;
    }

    // Adds a backup set to the file (or makes it the only one), flushed to disk. Returns 0, or
    // the operating system error SQL Server would quote (112 disk full, 5 otherwise).
    int appendBackupSet(const QString& localPath, const QJsonObject& set, bool replace, QString* error)
    {
        QFile f(localPath);
        if (!f.open(replace ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::Append)) {
            *error = f.errorString();
            return 5;
        }
        const QByteArray line = backupSetMarker + QJsonDocument(set).toJson(QJsonDocument::Compact) + '\n';
        if (f.write(line) != line.size() || !f.flush()) {
            *error = f.errorString();
            return f.error() == QFileDevice::ResourceError ? 112 : 5;
        }
        return 0;
    }

} // namespace

void EngineImpl::runUse(Session& s, const UseStatement& u, Output& out)
{
    const CatalogueDatabase* db = m_catalogue.find(u.database);
    if (!db) {
        out.message(msg(911, { u.database }));
        return;
    }
    const QString old = s.database;
    s.database = db->name;
    out.events.append(DatabaseChange { db->name, old });
    out.message(msg(5701, { db->name }));
}

void EngineImpl::runCreateDatabase(const CreateDatabaseStatement& c, Output& out)
{
    if (m_catalogue.find(c.name)) {
        out.message(msg(1801, { c.name }));
        return;
    }
    // The file list: what the statement gives, the default data folder for what it leaves out.
    struct Planned
    {
        FileRecord record;
        ServerPath path;
    };
    QVector<Planned> plan;
    QVector<FileSpec> fileSpecs = c.files;
    bool anyData = false;
    bool anyLog = false;
    for (const FileSpec& f : fileSpecs) {
        anyData = anyData || !f.log;
        anyLog = anyLog || f.log;
    }
    QString folder = m_defaultDataFolder;
    if (!anyData) {
        FileSpec data;
        data.logicalName = c.name;
        data.hasName = true;
        data.fileName = m_defaultDataFolder + QLatin1Char('/') + c.name + QStringLiteral(".mdf");
        data.hasFileName = true;
        fileSpecs.prepend(data);
    } else {
        folder = serverFolderOf(resolve(fileSpecs.first().fileName).shown);
    }
    if (!anyLog) {
        FileSpec log;
        log.logicalName = c.name + QStringLiteral("_log");
        log.hasName = true;
        log.fileName = folder + QLatin1Char('/') + c.name + QStringLiteral("_log.ldf");
        log.hasFileName = true;
        log.log = true;
        fileSpecs.append(log);
    }
    QStringList groups;
    int nextId = 1;
    QSet<QString> logical;
    QSet<QString> identities;
    // Data files take the first ids in the order given, then the log files.
    for (int pass = 0; pass < 2; ++pass) {
        for (const FileSpec& f : fileSpecs) {
            if (f.log != (pass == 1))
                continue;
            Planned p;
            p.path = resolve(f.fileName);
            FileRecord& r = p.record;
            r.fileId = nextId++;
            r.logicalName = f.hasName ? f.logicalName : withoutExtension(serverFileNameOf(p.path.shown));
            r.physicalName = p.path.shown;
            if (f.log) {
                r.groupId = 0;
            } else if (f.fileGroup.isEmpty() || sameName(f.fileGroup, QStringLiteral("PRIMARY"))) {
                r.groupId = 1;
            } else {
                qsizetype g = 0;
                for (; g < groups.size(); ++g) {
                    if (sameName(groups[g], f.fileGroup))
                        break;
                }
                if (g == groups.size())
                    groups.append(f.fileGroup);
                r.groupId = int(g) + 2;
            }
            const bool primary = r.fileId == 1;
            const qint32 modelPages = f.log ? m_facts.modelLogPages : m_facts.modelDataPages;
            r.sizePages = f.sizeKb >= 0 ? qMax<qint32>(1, pagesOf(f.sizeKb)) : modelPages;
            const qint32 used = f.log ? m_facts.modelLogUsedPages : (primary ? m_facts.modelDataUsedPages : 8);
            if (primary && r.sizePages < used) {
                out.message(msg(1803, { QString::number((qint64(used) * 8 + 1023) / 1024) }));
                return;
            }
            r.usedPages = qMin(used, r.sizePages);
            r.maxSize = f.maxSizeKb >= 0 ? pagesOf(f.maxSizeKb) : (f.log && m_version >= 9 ? 268435456 : -1);
            bool percent = m_facts.percentGrowth;
            r.growth = m_facts.growthPages;
            if (f.growthPercent >= 0) {
                percent = true;
                r.growth = f.growthPercent;
            } else if (f.growthKb >= 0) {
                percent = false;
                r.growth = pagesOf(f.growthKb);
            }
            r.status = FileStatusDisk | (f.log ? FileStatusLog : 0) | (percent ? FileStatusPercentGrowth : 0)
                | (m_version <= 8 ? FileStatusCreatedWithDatabase : 0);
            if (logical.contains(r.logicalName.toCaseFolded().trimmed())) {
                out.message(msg(1828, { r.logicalName }));
                return;
            }
            logical.insert(r.logicalName.toCaseFolded().trimmed());
            plan.append(p);
        }
    }
    // Every file must be creatable before any is made.
    for (const Planned& p : plan) {
        const int error = openError(p.path);
        if (error == 3) {
            // 2000 has no 5133: the folder's error comes with 5123 [derived].
            out.message(
                m_version <= 8 ? createFileFailure(p.path.shown, 3) : msg(5133, { p.path.shown, osErrorText(3) }));
            out.message(failedCreate(1));
            return;
        }
        const bool isFolder = error == 5 && QFileInfo(p.path.local).isDir();
        if (error == 0 || isFolder || identities.contains(p.path.local)) {
            out.message(msg(5170, { p.path.shown }));
            out.message(failedCreate(4));
            return;
        }
        if (error != 2) {
            // The folder may not be entered by the server's account.
            out.message(createFileFailure(p.path.shown, error));
            out.message(failedCreate(4));
            return;
        }
        identities.insert(p.path.local);
    }
    DatabaseHeader header;
    header.kind = FileKind::PrimaryData;
    header.databaseName = c.name;
    header.databaseGuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    header.version = m_facts.internalVersion;
    header.compatibilityLevel = m_facts.compatibilityLevel;
    header.recovery = modelRecovery();
    header.pageVerify = m_version <= 8 ? QStringLiteral("TORN_PAGE_DETECTION") : QStringLiteral("CHECKSUM");
    header.created = QDateTime::currentDateTime();
    header.cleanShutdown = false; // created open: attached from the start
    for (const Planned& p : plan)
        header.files.append(p.record);
    std::sort(header.files.begin(), header.files.end(),
        [](const FileRecord& a, const FileRecord& b) { return a.fileId < b.fileId; });
    for (const Planned& p : plan) {
        DatabaseHeader own = header;
        if (p.record.fileId != 1) {
            own.kind = p.record.isLog() ? FileKind::Log : FileKind::SecondaryData;
            own.files = { p.record };
        }
        QString error;
        int osError = 0;
        if (!createDatabaseFile(p.path.local, own, p.record, &error, &osError)) {
            // Files made so far stay where they are: the engine never deletes a file.
            qWarning("stand-in: cannot create %s: %s", qPrintable(p.path.local), qPrintable(error));
            out.message(createFileFailure(p.path.shown, osError));
            out.message(failedCreate(4));
            return;
        }
    }
    CatalogueDatabase db;
    db.name = c.name;
    db.dbid = m_catalogue.lowestFreeDbid();
    db.created = header.created;
    db.guid = header.databaseGuid;
    db.recovery = header.recovery;
    db.pageVerify = header.pageVerify;
    db.compatibilityLevel = header.compatibilityLevel;
    db.fileVersion = header.version;
    for (const FileRecord& r : header.files)
        db.files.append(CatalogueFile { r.fileId, r.groupId, r.logicalName, r.physicalName });
    const Catalogue before = m_catalogue;
    m_catalogue.add(db);
    commitCatalogue(before, out);
}

void EngineImpl::runAttach(const CreateDatabaseStatement& c, Output& out)
{
    if (m_catalogue.find(c.name)) {
        out.message(msg(1801, { c.name }));
        return;
    }
    if (c.files.isEmpty() || c.files.first().log) {
        out.message(msg(1829));
        return;
    }
    // What a listed file that cannot be opened gives: 5120 + 1802 (2005 on), 5105 + 1813 (2000).
    auto cannotOpen = [&](const QString& shown, int osError) {
        out.message(openFailure(shown, osError));
        out.message(m_version <= 8 ? msg(1813, { c.name }) : failedCreate(4));
    };
    // 1. Open every listed file, in the order given.
    struct Opened
    {
        ServerPath path;
        DatabaseHeader header;
    };
    QVector<Opened> listed;
    for (const FileSpec& f : c.files) {
        Opened o;
        o.path = resolve(f.fileName);
        int error = openError(o.path);
        if (error == 0 && databaseUsingFile(o.path))
            error = 32;
        if (error != 0)
            return cannotOpen(o.path.shown, error);
        const FileReadResult r = readDatabaseFile(o.path.local);
        if (r.osError != 0)
            return cannotOpen(o.path.shown, r.osError);
        if (!r.badProperty.isEmpty()) {
            out.message(msg(5172, { o.path.shown, r.badProperty }));
            out.message(failedCreate(7));
            return;
        }
        o.header = r.header;
        if (listed.isEmpty() && o.header.kind != FileKind::PrimaryData) {
            out.message(msg(5171, { o.path.shown }));
            return;
        }
        listed.append(o);
    }
    const DatabaseHeader& primary = listed.first().header;

    // 2. The version the primary file was written by.
    if (primary.version > m_facts.internalVersion) {
        out.message(msg(1813, { c.name }));
        out.message(msg(948, { c.name, QString::number(primary.version), QString::number(m_facts.internalVersion) }));
        return;
    }
    if (primary.version < m_facts.oldestAttachable) {
        out.message(msg(1813, { c.name }));
        out.message(msg(950, { c.name, QString::number(primary.version), QStringLiteral("515") }));
        return;
    }
    const bool upgrade = primary.version < m_facts.internalVersion;

    // 3. Every other listed file must be a file of this database that the primary lists.
    QHash<int, ServerPath> pathOf;
    pathOf.insert(1, listed.first().path);
    for (qsizetype i = 1; i < listed.size(); ++i) {
        const Opened& o = listed[i];
        const FileRecord* own = o.header.own();
        if (o.header.kind == FileKind::PrimaryData || o.header.databaseGuid != primary.databaseGuid || !own
            || !primary.file(own->fileId) || pathOf.contains(own->fileId)) {
            out.message(msg(5173));
            out.message(m_version <= 8 ? msg(1813, { c.name }) : failedCreate(4));
            return;
        }
        pathOf.insert(own->fileId, o.path);
    }

    // 4. Files the statement leaves out are looked for where the primary file recorded them (FOR
    //    ATTACH_REBUILD_LOG too uses the logs that are there). A single missing log is built anew,
    //    but only for a database that was shut down cleanly: FOR ATTACH beside the primary file,
    //    FOR ATTACH_REBUILD_LOG in the server's default log folder (1 MB).
    QVector<Message> notes;
    std::optional<FileRecord> rebuiltLog;
    int logs = 0;
    for (const FileRecord& r : primary.files)
        logs += r.isLog() ? 1 : 0;
    for (const FileRecord& r : primary.files) {
        if (pathOf.contains(r.fileId))
            continue;
        const ServerPath recorded = resolve(r.physicalName);
        int error = openError(recorded);
        if (error == 0 && databaseUsingFile(recorded))
            error = 32;
        FileReadResult found;
        if (error == 0) {
            found = readDatabaseFile(recorded.local);
            if (found.ok() && found.header.databaseGuid == primary.databaseGuid && found.header.own()
                && found.header.own()->fileId == r.fileId) {
                pathOf.insert(r.fileId, recorded);
                continue;
            }
        }
        if (r.isLog() && logs == 1) {
            // The recorded log cannot be used: say so, as an informational message (2000: 5105).
            Message activation = m_version <= 8 ? msg(5105, { recorded.shown }) : msg(5111, { recorded.shown });
            activation.severity = 10;
            notes.append(activation);
            auto refuse = [&](const Message& why) {
                for (const Message& m : notes)
                    out.message(m);
                out.message(why);
                out.message(msg(1813, { c.name }));
            };
            if (!primary.cleanShutdown)
                return refuse(m_version <= 8 ? msg(1818, { recorded.shown }) : msg(5113));
            if (writeAccessError(listed.first().path.local) != 0 && m_version >= 9)
                return refuse(msg(5129));
            const ServerPath newLog = c.rebuildLog
                ? resolve(m_defaultDataFolder + QLatin1Char('/') + c.name + QStringLiteral("_log.ldf"))
                : resolve(serverFolderOf(listed.first().path.shown) + QLatin1Char('\\') + c.name
                    + QStringLiteral("_log.LDF"));
            if (openError(newLog) != 2) {
                for (const Message& m : notes)
                    out.message(m);
                out.message(msg(5170, { newLog.shown }));
                out.message(msg(1813, { c.name }));
                return;
            }
            FileRecord log = r;
            log.physicalName = newLog.shown;
            log.sizePages = c.rebuildLog ? 128 : m_facts.modelLogPages;
            log.usedPages = qMin(log.sizePages, m_facts.modelLogUsedPages);
            rebuiltLog = log;
            pathOf.insert(r.fileId, newLog);
            notes.append(msg(5182, { newLog.shown }));
            continue;
        }
        if (error != 0) {
            out.message(openFailure(recorded.shown, error));
            out.message(msg(1813, { c.name }));
        } else {
            out.message(msg(5173));
            out.message(msg(1813, { c.name }));
        }
        return;
    }

    // 5. Files the server's account may not write make a read-only database, which cannot be upgraded.
    bool readOnly = false;
    for (const ServerPath& p : std::as_const(pathOf)) {
        if (rebuiltLog && p.local == pathOf.value(rebuiltLog->fileId).local)
            continue;
        if (writeAccessError(p.local) != 0)
            readOnly = true;
    }
    if (readOnly && upgrade) {
        for (const Message& m : notes)
            out.message(m);
        out.message(msg(3415, { c.name }));
        return;
    }

    if (rebuiltLog) {
        DatabaseHeader header = primary;
        header.kind = FileKind::Log;
        header.files = { *rebuiltLog };
        QString error;
        int osError = 0;
        if (!createDatabaseFile(pathOf.value(rebuiltLog->fileId).local, header, *rebuiltLog, &error, &osError)) {
            qWarning("stand-in: cannot create %s: %s", qPrintable(pathOf.value(rebuiltLog->fileId).local),
                qPrintable(error));
            out.message(createFileFailure(rebuiltLog->physicalName, osError));
            out.message(msg(1813, { c.name }));
            return;
        }
    }
    for (const Message& m : notes)
        out.message(m);
    if (m_version >= 10 && upgrade) {
        out.message(msg(944, { c.name, QString::number(primary.version), QString::number(m_facts.internalVersion) }));
    }

    CatalogueDatabase db;
    db.name = c.name;
    db.dbid = m_catalogue.lowestFreeDbid();
    db.created = QDateTime::currentDateTime();
    db.guid = primary.databaseGuid;
    db.recovery = primary.recovery;
    db.pageVerify = primary.pageVerify;
    db.compatibilityLevel = qMax(primary.compatibilityLevel, m_facts.lowestCompatibilityLevel);
    db.fileVersion = primary.version;
    db.readOnly = readOnly;
    for (const FileRecord& r : primary.files)
        db.files.append(CatalogueFile { r.fileId, r.groupId, r.logicalName, pathOf.value(r.fileId).shown });
    const Catalogue before = m_catalogue;
    m_catalogue.add(db);
    if (commitCatalogue(before, out))
        markShutdown(db, false, rebuiltLog ? &*rebuiltLog : nullptr);
}

int EngineImpl::runAttachProcedure(Session& s, int sessionId, const QVector<ProcArg>& args, Output& out)
{
    const QString proc = QStringLiteral("sp_attach_db");
    QStringList params { QStringLiteral("@dbname") };
    for (int i = 1; i <= 16; ++i)
        params.append(QStringLiteral("@filename%1").arg(i));
    QVector<ProcArg> bound;
    if (!bindArguments(proc, params, args, &bound, out))
        return 1;
    // The parameters are sysname and nvarchar(260): longer values are cut when bound [unconfirmed].
    const QString name = textOrNumber(bound[0].value).left(128);
    const QString first = textOrNumber(bound[1].value).left(260);
    if (isNullCell(bound[0].value) || isNullCell(bound[1].value) || name.isEmpty() || first.isEmpty()) {
        Message m = msg(15004);
        m.procName = proc;
        out.message(m);
        return 1;
    }
    // The procedure builds CREATE DATABASE ... FOR ATTACH and runs it with EXEC (string): errors
    // from there carry line 1 of that text and no procedure name.
    QStringList files;
    for (int i = 1; i <= 16; ++i) {
        if (!isNullCell(bound[i].value))
            files.append(QStringLiteral("(FILENAME = %1)").arg(quoted(textOrNumber(bound[i].value).left(260))));
    }
    const QString statement
        = QStringLiteral("CREATE DATABASE %1 ON %2 FOR ATTACH").arg(bracketed(name), files.join(QStringLiteral(", ")));
    const int before = out.errors;
    runBatchText(s, sessionId, statement, Done::Kind::DoneInProc, out);
    return out.errors > before ? 1 : 0;
}

int EngineImpl::runDetachProcedure(const QVector<ProcArg>& args, Output& out)
{
    const QString proc = QStringLiteral("sp_detach_db");
    QStringList params { QStringLiteral("@dbname"), QStringLiteral("@skipchecks") };
    if (m_version >= 9)
        params.append(QStringLiteral("@keepfulltextindexfile"));
    QVector<ProcArg> bound;
    if (!bindArguments(proc, params, args, &bound, out))
        return 1;
    auto fail = [&](const Message& m) {
        Message withProc = m;
        withProc.procName = proc;
        out.message(withProc);
        return 1;
    };
    if (isNullCell(bound[0].value))
        return fail(msg(15354));
    const QString name = textOrNumber(bound[0].value).left(128);
    const CatalogueDatabase* db = m_catalogue.find(name);
    if (!db)
        return fail(msg(15010, { name }));
    if (db->isSystem())
        return fail(msg(7940));
    if (inUse(db->name))
        return fail(msg(3703, { db->name }));
    // A detach always shuts the database down cleanly: the primary file says so, and the files are
    // otherwise as they were; the server forgets the database.
    const CatalogueDatabase detached = *db;
    const Catalogue before = m_catalogue;
    m_catalogue.remove(db->name);
    if (!commitCatalogue(before, out, proc))
        return 1;
    markShutdown(detached, true);
    return 0;
}

// An ALTER DATABASE that changes nothing: the refusal, then from 2005 on "ALTER DATABASE
// statement failed."
void EngineImpl::refuseAlter(const Message& m, Output& out) const
{
    out.message(m);
    if (m_version >= 9)
        out.message(msg(5069));
}

// An ALTER DATABASE of a database the server does not have: 911 on 2000, 5011 after.
void EngineImpl::refuseMissingAlterTarget(const QString& database, Output& out) const
{
    if (m_version <= 8)
        out.message(msg(911, { database }));
    else
        refuseAlter(msg(5011, { database }), out);
}

void EngineImpl::runAlterRecovery(const AlterRecoveryStatement& a, Output& out)
{
    if (!a.updateability.isEmpty())
        return runAlterUpdateability(a, out);
    // Taken before `db` points into the catalogue: a change through `db` must not reach the copy.
    const Catalogue before = m_catalogue;
    CatalogueDatabase* db = m_catalogue.find(a.database);
    auto refuse = [&](const Message& m) { refuseAlter(m, out); };
    if (!db)
        return refuseMissingAlterTarget(a.database, out);
    if (!a.model.isEmpty() && db->dbid == 2 && a.model != QLatin1String("SIMPLE"))
        return refuse(msg(5058, { QStringLiteral("RECOVERY"), db->name }));
    // A read-only database cannot take a checkpoint: no option changes.
    if (!a.model.isEmpty() && db->readOnly)
        return refuse(msg(5004));
    if (a.model.isEmpty()) {
        // Mirroring: the stand-in takes the partner as given; a real server first needs the
        // mirror copy restored WITH NORECOVERY on the partner [unconfirmed what it checks first].
        if (a.partnerOff) {
            if (db->mirroringPartner.isEmpty())
                return refuse(msg(1416, { db->name }));
            db->mirroringPartner.clear();
        } else {
            // SQL Server's refusal for a system database was not found [unconfirmed]: system
            // databases go through the same checks (master, msdb and tempdb are SIMPLE: 1465).
            if (db->recovery != QLatin1String("FULL"))
                return refuse(msg(1465, { db->name }));
            db->mirroringPartner = a.partner;
        }
        if (!commitCatalogue(before, out) && m_version >= 9)
            out.message(msg(5069));
        return;
    }
    if (db->recovery == a.model)
        return;
    // A mirrored database cannot leave FULL recovery; nothing changes.
    if (!db->mirroringPartner.isEmpty())
        return refuse(msg(1468, { db->name }));
    // Leaving SIMPLE does not make log backups possible before a database backup is taken.
    if (db->recovery == QLatin1String("SIMPLE"))
        db->fullBackupTaken = false;
    db->recovery = a.model;
    if (!commitCatalogue(before, out) && m_version >= 9)
        out.message(msg(5069));
}

void EngineImpl::runAlterUpdateability(const AlterRecoveryStatement& a, Output& out)
{
    const Catalogue before = m_catalogue;
    CatalogueDatabase* db = m_catalogue.find(a.database);
    auto refuse = [&](const Message& m) { refuseAlter(m, out); };
    if (!db)
        return refuseMissingAlterTarget(a.database, out);
    // master and tempdb stay writable [unconfirmed number].
    if (db->dbid == 1 || db->dbid == 2)
        return refuse(msg(5058, { a.updateability, db->name }));
    const bool readOnly = a.updateability == QLatin1String("READ_ONLY");
    if (db->readOnly == readOnly)
        return;
    if (!readOnly) {
        // The files must take writes again [unconfirmed: 5120 with the operating system's error on
        // 2005 on, 3510 on 2000].
        for (const CatalogueFile& f : db->files) {
            const ServerPath path = resolve(f.path);
            const int error = path.reachable() ? writeAccessError(path.local) : 3;
            if (error != 0) {
                if (m_version <= 8)
                    return refuse(msg(3510, { db->name }));
                return refuse(msg(5120, { path.shown, QString::number(error), osErrorText(error) }));
            }
        }
    }
    // The state lives in the catalogue only (not in the primary file): after a detach and attach
    // the database is as its files allow [derived simplification].
    db->readOnly = readOnly;
    const CatalogueDatabase changed = *db;
    if (!commitCatalogue(before, out)) {
        if (m_version >= 9)
            out.message(msg(5069));
        return;
    }
    if (!readOnly)
        markShutdown(changed, false);
}

void EngineImpl::runBackup(Session& s, const BackupStatement& b, Output& out)
{
    Q_UNUSED(s);
    const QString what = b.log ? QStringLiteral("BACKUP LOG") : QStringLiteral("BACKUP DATABASE");
    // Taken before `db` points into the catalogue: a change through `db` must not reach the copy.
    const Catalogue before = m_catalogue;
    CatalogueDatabase* db = m_catalogue.find(b.database);
    if (!db) {
        out.message(msg(911, { b.database }));
        out.message(msg(3013, { what }));
        return;
    }
    if (db->dbid == 2) {
        out.message(msg(3147));
        out.message(msg(3013, { what }));
        return;
    }
    if (b.truncateOnly) {
        // The inactive log is thrown away; the log chain is broken until the next database backup.
        db->fullBackupTaken = false;
        if (!commitCatalogue(before, out))
            out.message(msg(3013, { what }));
        return;
    }
    // Every device must be usable before anything is written: the null device discards the
    // backup, a file receives it as one more backup set (or the only one WITH INIT / FORMAT).
    struct Device
    {
        QString given;
        ServerPath path; // unreachable for NUL
        bool null = false;
    };
    QVector<Device> devices;
    for (const QString& disk : b.disks) {
        Device d;
        d.given = disk;
        d.null = disk.trimmed().compare(QLatin1String("NUL"), Qt::CaseInsensitive) == 0;
        if (!d.null) {
            // A relative path names a file in the default backup folder.
            d.path = resolveServerPath(disk, m_defaultBackupFolder);
            int error = openError(d.path);
            if (error == 0 && databaseUsingFile(d.path))
                error = 32;
            if (error != 0 && error != 2) {
                out.message(msg(3201, { disk, osErrorText(error) })); // 2000: the text has no error part
                out.message(msg(3013, { what }));
                return;
            }
            if (error == 0 && !b.init && backupSetCount(d.path.local) < 0) {
                out.message(msg(3241, { disk }));
                out.message(msg(3013, { what }));
                return;
            }
        }
        devices.append(d);
    }
    if (b.log && db->recovery == QLatin1String("SIMPLE")) {
        out.message(msg(4208));
        out.message(msg(3013, { what }));
        return;
    }
    // A differential needs a database backup to be based on; it neither mends nor breaks the log chain.
    if (!b.log && b.differential && !db->differentialBase) {
        out.message(msg(3035, { db->name }));
        out.message(msg(3013, { what }));
        return;
    }
    QVector<Message> warnings;
    if (b.log && !db->fullBackupTaken) {
        // 2000 warns (severity 10) and backs the log up; later versions refuse.
        if (m_version <= 8) {
            warnings.append(msg(4214));
        } else {
            out.message(msg(4214));
            out.message(msg(3013, { what }));
            return;
        }
    }
    // The position of the new backup set on its media ("on file N").
    int position = 1;
    for (const Device& d : devices) {
        if (!d.null && !b.init)
            position = qMax(position, backupSetCount(d.path.local) + 1);
    }
    QVector<Message> processed;
    qint64 pages = 0;
    for (const CatalogueFile& f : db->files) {
        if (b.log != (f.groupId == 0))
            continue;
        const FileReadResult r = readFileOf(*db, f);
        const qint32 used = r.ok() && r.header.file(f.fileId) ? r.header.file(f.fileId)->usedPages : 0;
        pages += used;
        processed.append(msg(4035, { QString::number(used), db->name, f.logicalName, QString::number(position) }));
    }
    if (!b.log) {
        // A database backup also carries the active part of the log [unconfirmed: 2 pages].
        for (const CatalogueFile& f : db->files) {
            if (f.groupId == 0) {
                processed.append(
                    msg(4035, { QStringLiteral("2"), db->name, f.logicalName, QString::number(position) }));
                pages += 2;
            }
        }
    }
    for (const Device& d : devices) {
        if (d.null)
            continue;
        QJsonObject set;
        set[QStringLiteral("type")] = b.log
            ? QStringLiteral("LOG")
            : (b.differential ? QStringLiteral("DIFFERENTIAL") : QStringLiteral("DATABASE"));
        set[QStringLiteral("database")] = db->name;
        set[QStringLiteral("guid")] = db->guid;
        set[QStringLiteral("pages")] = pages;
        set[QStringLiteral("finished")] = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        QString error;
        const int osError = appendBackupSet(d.path.local, set, b.init, &error);
        if (osError != 0) {
            qWarning("stand-in: cannot write the backup %s: %s", qPrintable(d.path.local), qPrintable(error));
            // 2000 quotes the bare number ("status = 112").
            out.message(msg(3202, { d.given, m_version <= 8 ? QString::number(osError) : osErrorText(osError) }));
            out.message(msg(3013, { what }));
            return;
        }
    }
    for (const Message& m : warnings)
        out.message(m);
    for (const Message& m : processed)
        out.message(m);
    if (!b.log && !b.differential) {
        db->fullBackupTaken = true;
        db->differentialBase = true;
        if (!commitCatalogue(before, out)) {
            out.message(msg(3013, { what }));
            return;
        }
    }
    const double seconds = 0.010;
    const double mbPerSecond = double(pages) * 8192.0 / 1048576.0 / seconds;
    out.message(msg(3014,
        { what, QString::number(pages), QString::number(seconds, 'f', 3), QString::number(mbPerSecond, 'f', 3) }));
}

} // namespace standin
