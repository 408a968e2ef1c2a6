#include "EngineImpl.h"

#include "Collation.h"
#include "MessageTable.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace standin {

void Output::message(const Message& m)
{
    events.append(m);
    if (m.isError())
        ++errors;
    if (m.severity >= 20) {
        abortBatch = true;
        closeConnection = true;
    }
}

void reportQueryError(Output& out, const QueryError& error)
{
    out.message(error.message);
    if (error.kind == QueryError::Kind::Compile)
        out.scopeAborted = true;
    else if (error.kind == QueryError::Kind::Batch)
        out.abortBatch = true;
}

DateTimeValue toDateTimeValue(const QDateTime& t)
{
    const QDateTime local = t.toLocalTime();
    DateTimeValue v;
    v.days = qint32(QDate(1900, 1, 1).daysTo(local.date()));
    v.ticks = quint32(qint64(local.time().msecsSinceStartOfDay()) * 300 / 1000);
    v.offsetMinutes = qint16(local.offsetFromUtc() / 60);
    return v;
}

namespace {

    struct SystemDatabase
    {
        const char* name;
        int dbid;
        const char* dataName;
        const char* dataFile;
        const char* logName;
        const char* logFile;
        const char* recovery;
    };

    // dbids, logical names and recovery models of the system databases [dbids and names unconfirmed,
    // widely known].
    const SystemDatabase systemDatabases[] = {
        { "master", 1, "master", "master.mdf", "mastlog", "mastlog.ldf", "SIMPLE" },
        { "tempdb", 2, "tempdev", "tempdb.mdf", "templog", "templog.ldf", "SIMPLE" },
        { "model", 3, "modeldev", "model.mdf", "modellog", "modellog.ldf", "FULL" },
        { "msdb", 4, "MSDBData", "MSDBData.mdf", "MSDBLog", "MSDBLog.ldf", "SIMPLE" },
    };

} // namespace

EngineImpl::EngineImpl(EngineOptions options)
    : m_options(std::move(options))
    , m_facts(versionFacts(m_options.majorVersion))
    , m_version(m_facts.major)
    , m_started(QDateTime::currentDateTime())
{
    QDir().mkpath(m_options.dataDir);
    const QString root = QDir(m_options.dataDir).absolutePath();
    m_defaultDataFolder = root + QStringLiteral("/DATA");
    QDir().mkpath(m_defaultDataFolder);
    m_defaultBackupFolder = root + QStringLiteral("/Backup");
    QDir().mkpath(m_defaultBackupFolder);
    m_cataloguePath = root + QStringLiteral("/catalogue.json");
    QString error;
    if (!m_catalogue.load(m_cataloguePath, &error)) {
        // Keep the unreadable catalogue for inspection rather than overwrite it.
        const QString aside = m_cataloguePath + QStringLiteral(".unreadable-")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
        qWarning("stand-in: %s; moved aside to %s", qPrintable(error), qPrintable(aside));
        QFile::rename(m_cataloguePath, aside);
        m_catalogue = Catalogue();
    }
    ensureSystemDatabases();
    // The attached databases are open again: their primary files say so until a clean stop.
    for (const CatalogueDatabase& db : m_catalogue.databases) {
        if (!db.isSystem())
            markShutdown(db, false);
    }
    if (!m_options.requestLogPath.isEmpty()) {
        m_requestLog = std::make_unique<QFile>(m_options.requestLogPath);
        if (!m_requestLog->open(QIODevice::WriteOnly | QIODevice::Append)) {
            qWarning("stand-in: cannot open the request log %s: %s", qPrintable(m_options.requestLogPath),
                qPrintable(m_requestLog->errorString()));
            m_requestLog.reset();
        }
    }
}

EngineImpl::~EngineImpl()
{
    if (m_killed)
        return;
    for (const CatalogueDatabase& db : m_catalogue.databases) {
        if (!db.isSystem())
            markShutdown(db, true);
    }
}

void EngineImpl::ensureSystemDatabases()
{
    bool changed = false;
    for (const SystemDatabase& sys : systemDatabases) {
        const QString name = QString::fromLatin1(sys.name);
        CatalogueDatabase* db = m_catalogue.find(name);
        if (!db) {
            CatalogueDatabase entry;
            entry.name = name;
            entry.dbid = sys.dbid;
            entry.created = QDateTime::currentDateTime();
            entry.guid = QUuid::createUuid().toString(QUuid::WithoutBraces);
            entry.recovery = QString::fromLatin1(sys.recovery);
            entry.pageVerify = m_version <= 8
                ? (sys.dbid == 2 ? QStringLiteral("NONE") : QStringLiteral("TORN_PAGE_DETECTION"))
                : QStringLiteral("CHECKSUM");
            entry.compatibilityLevel = m_facts.compatibilityLevel;
            entry.fileVersion = m_facts.internalVersion;
            entry.files.append(CatalogueFile { 1, 1, QString::fromLatin1(sys.dataName),
                m_defaultDataFolder + QLatin1Char('/') + QString::fromLatin1(sys.dataFile) });
            entry.files.append(CatalogueFile { 2, 0, QString::fromLatin1(sys.logName),
                m_defaultDataFolder + QLatin1Char('/') + QString::fromLatin1(sys.logFile) });
            m_catalogue.add(entry);
            db = m_catalogue.find(name);
            changed = true;
        }
        if (sys.dbid == 2)
            db->created = m_started; // tempdb is made afresh at every start
        // The files of the system databases are made once, in the stand-in's own format.
        DatabaseHeader header;
        header.kind = FileKind::PrimaryData;
        header.databaseName = db->name;
        header.databaseGuid = db->guid;
        header.version = m_facts.internalVersion;
        header.compatibilityLevel = db->compatibilityLevel;
        header.recovery = db->recovery;
        header.pageVerify = db->pageVerify;
        header.created = db->created;
        for (const CatalogueFile& f : db->files) {
            FileRecord r;
            r.fileId = f.fileId;
            r.groupId = f.groupId;
            r.logicalName = f.logicalName;
            r.physicalName = f.path;
            r.sizePages = f.groupId == 0 ? m_facts.modelLogPages : m_facts.modelDataPages;
            r.usedPages = f.groupId == 0 ? m_facts.modelLogUsedPages : m_facts.modelDataUsedPages;
            r.maxSize = f.groupId == 0 && m_version >= 9 ? 268435456 : -1;
            r.growth = m_facts.growthPages;
            r.status = FileStatusDisk | (f.groupId == 0 ? FileStatusLog : 0)
                | (m_facts.percentGrowth ? FileStatusPercentGrowth : 0);
            header.files.append(r);
        }
        for (const FileRecord& r : header.files) {
            const ServerPath path = resolve(r.physicalName);
            if (QFileInfo::exists(path.local))
                continue;
            DatabaseHeader own = header;
            if (r.fileId != 1) {
                own.kind = r.isLog() ? FileKind::Log : FileKind::SecondaryData;
                own.files = { r };
            }
            QString error;
            if (!createDatabaseFile(path.local, own, r, &error))
                qWarning("stand-in: cannot create %s: %s", qPrintable(path.local), qPrintable(error));
        }
    }
    Q_UNUSED(changed);
    m_catalogueIdentities.clear();
    QString error;
    if (m_catalogue.save(m_cataloguePath, &error) != CatalogueWriteError::None)
        qWarning("stand-in: cannot write the catalogue: %s", qPrintable(error));
}

bool EngineImpl::commitCatalogue(const Catalogue& before, Output& out, const QString& procName)
{
    m_catalogueIdentities.clear();
    QString error;
    const CatalogueWriteError failure = m_catalogue.save(m_cataloguePath, &error, m_catalogueFault);
    if (failure == CatalogueWriteError::None)
        return true;
    qWarning("stand-in: cannot write the catalogue: %s", qPrintable(error));
    m_catalogue = before;
    // What SQL Server says when master cannot take the change: no room to grow, or the
    // operating system refused the write [unconfirmed which error a real server gives here].
    const CatalogueDatabase* master = m_catalogue.find(QStringLiteral("master"));
    const CatalogueFile* file = master ? master->primary() : nullptr;
    // 2005 on: the object, then its index (".'clst'", the clustered index of a system base table
    // [unconfirmed name]), then database and filegroup.
    Message m = failure == CatalogueWriteError::DiskFull
        ? (m_version <= 8
                ? msg(1105, { QStringLiteral("sysdatabases"), QStringLiteral("master"), QStringLiteral("PRIMARY") })
                : msg(1105,
                    { QStringLiteral("sys.sysdbreg"), QStringLiteral(".'clst'"), QStringLiteral("master"),
                        QStringLiteral("PRIMARY") }))
        : msg(823,
            { osErrorText(5), QStringLiteral("write"), QStringLiteral("0x00000000000000"),
                file ? resolve(file->path).shown : QStringLiteral("master.mdf") });
    m.procName = procName;
    out.message(m);
    return false;
}

ServerVersion EngineImpl::version() const
{
    ServerVersion v;
    v.major = m_facts.major;
    v.minor = m_facts.minor;
    v.build = m_facts.build;
    v.productVersion = m_facts.productVersion;
    return v;
}

int EngineImpl::openSession()
{
    const int id = m_nextSession++;
    m_sessions.insert(id, Session());
    return id;
}

void EngineImpl::closeSession(int session)
{
    m_sessions.remove(session);
}

LoginOutcome EngineImpl::login(int session, const QString& user, const QString& password, const QString& database)
{
    LoginOutcome out;
    Session& s = m_sessions[session];
    s = Session();
    Message failed = msg(18456, { user });
    // A password with one NUL after it is taken as that password: some ODBC stacks count the
    // terminator into the last connection-string attribute [unconfirmed what SQL Server does].
    QString given = password;
    if (given.endsWith(QChar(0)))
        given.chop(1);
    if (!sameName(user, QStringLiteral("sa")) || given != m_options.saPassword) {
        out.messages.append(failed);
        return out;
    }
    const QString wanted = database.isEmpty() ? QStringLiteral("master") : database;
    const CatalogueDatabase* db = m_catalogue.find(wanted);
    if (!db) {
        out.messages.append(msg(4060, { wanted }));
        out.messages.append(failed);
        return out;
    }
    s.loggedIn = true;
    s.database = db->name;
    out.ok = true;
    out.database = db->name;
    return out;
}

Message EngineImpl::msg(int number, const QStringList& args) const
{
    return serverMessage(number, m_version, args);
}

ServerPath EngineImpl::resolve(const QString& given) const
{
    return resolveServerPath(given, m_defaultDataFolder);
}

const CatalogueDatabase* EngineImpl::databaseUsingFile(const ServerPath& path, const QString& except) const
{
    const QString id = fileIdentity(path);
    if (id.isEmpty())
        return nullptr;
    for (const CatalogueDatabase& db : m_catalogue.databases) {
        if (!except.isEmpty() && sameName(db.name, except))
            continue;
        for (const CatalogueFile& f : db.files) {
            if (catalogueFileIdentity(f.path) == id)
                return &db;
        }
    }
    return nullptr;
}

QString EngineImpl::catalogueFileIdentity(const QString& recordedPath) const
{
    const auto it = m_catalogueIdentities.constFind(recordedPath);
    if (it != m_catalogueIdentities.constEnd())
        return it.value();
    const QString id = fileIdentity(resolve(recordedPath));
    m_catalogueIdentities.insert(recordedPath, id);
    return id;
}

bool EngineImpl::inUse(const QString& database) const
{
    for (const Session& s : m_sessions) {
        if (s.loggedIn && sameName(s.database, database))
            return true;
    }
    return false;
}

QString EngineImpl::modelRecovery() const
{
    const CatalogueDatabase* model = m_catalogue.find(QStringLiteral("model"));
    return model ? model->recovery : QStringLiteral("FULL");
}

qint32 EngineImpl::databaseStatus(const CatalogueDatabase& db) const
{
    qint32 status = 0;
    if (db.pageVerify == QLatin1String("TORN_PAGE_DETECTION"))
        status |= 16;
    else if (db.pageVerify == QLatin1String("CHECKSUM"))
        status |= 65536;
    if (db.recovery == QLatin1String("SIMPLE"))
        status |= 8;
    else if (db.recovery == QLatin1String("BULK_LOGGED"))
        status |= 4;
    if (db.readOnly)
        status |= 1024;
    return status;
}

FileReadResult EngineImpl::readFileOf(const CatalogueDatabase&, const CatalogueFile& f) const
{
    const ServerPath path = resolve(f.path);
    if (!path.reachable()) {
        FileReadResult r;
        r.osError = 3;
        return r;
    }
    return readDatabaseFile(path.local);
}

Message EngineImpl::openFailure(const QString& shownPath, int osError) const
{
    if (m_version <= 8)
        return msg(5105, { shownPath });
    return msg(5120, { shownPath, QString::number(osError), osErrorText(osError) });
}

Message EngineImpl::failedCreate(int state) const
{
    Message m = msg(1802);
    m.state = quint8(state);
    return m;
}

Message EngineImpl::createFileFailure(const QString& shownPath, int osError) const
{
    return msg(5123, { osErrorText(osError == 0 ? 5 : osError), shownPath });
}

bool EngineImpl::markShutdown(const CatalogueDatabase& db, bool clean, const FileRecord* rebuiltLog)
{
    if (db.readOnly)
        return true;
    const CatalogueFile* primary = db.primary();
    if (!primary)
        return false;
    const ServerPath path = resolve(primary->path);
    if (!path.reachable())
        return false;
    FileReadResult r = readDatabaseFile(path.local);
    if (!r.ok() || r.header.kind != FileKind::PrimaryData || r.header.databaseGuid != db.guid)
        return false;
    bool changed = r.header.cleanShutdown != clean;
    r.header.cleanShutdown = clean;
    // The primary file's list names each file where the database has it: where it was attached
    // from when that is another file than the one recorded (the same file under another spelling
    // keeps its record), and a log built at the attach with its new name and size.
    for (FileRecord& f : r.header.files) {
        if (rebuiltLog && rebuiltLog->fileId == f.fileId) {
            f = *rebuiltLog;
            changed = true;
        }
        for (const CatalogueFile& c : db.files) {
            if (c.fileId == f.fileId && resolve(c.path).local != resolve(f.physicalName).local) {
                f.physicalName = c.path;
                changed = true;
            }
        }
    }
    if (!changed)
        return true;
    QString error;
    if (!rewriteHeader(path.local, r.header, &error)) {
        qWarning(
            "stand-in: cannot mark %s %s: %s", qPrintable(path.local), clean ? "shut down" : "open", qPrintable(error));
        return false;
    }
    return true;
}

int EngineImpl::databaseWriteError(const CatalogueDatabase& db) const
{
    for (const CatalogueFile& f : db.files) {
        const ServerPath path = resolve(f.path);
        if (!path.reachable())
            return 3;
        if (const int error = writeAccessError(path.local))
            return error;
    }
    return 0;
}

} // namespace standin
