#include "DatabaseFile.h"

#include "MessageTable.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

    const QByteArray Magic("TPDBFILE");
    constexpr quint32 FormatRevision = 1;
    constexpr int PreambleSize = 20; // magic 8, revision 4, kind 4, JSON length 4
    const QByteArray PageStamp("TPPAGE\0\0", 8);

    QJsonObject toJson(const FileRecord& f)
    {
        QJsonObject o;
        o[QStringLiteral("fileid")] = f.fileId;
        o[QStringLiteral("groupid")] = f.groupId;
        o[QStringLiteral("name")] = f.logicalName;
        o[QStringLiteral("filename")] = f.physicalName;
        o[QStringLiteral("size")] = f.sizePages;
        o[QStringLiteral("maxsize")] = f.maxSize;
        o[QStringLiteral("growth")] = f.growth;
        o[QStringLiteral("status")] = f.status;
        o[QStringLiteral("used")] = f.usedPages;
        return o;
    }

    bool fromJson(const QJsonObject& o, FileRecord* f)
    {
        if (!o.value(QStringLiteral("fileid")).isDouble() || !o.value(QStringLiteral("name")).isString()
            || !o.value(QStringLiteral("filename")).isString() || !o.value(QStringLiteral("size")).isDouble())
            return false;
        f->fileId = o.value(QStringLiteral("fileid")).toInt();
        f->groupId = o.value(QStringLiteral("groupid")).toInt();
        f->logicalName = o.value(QStringLiteral("name")).toString();
        f->physicalName = o.value(QStringLiteral("filename")).toString();
        f->sizePages = o.value(QStringLiteral("size")).toInt();
        f->maxSize = o.value(QStringLiteral("maxsize")).toInt(-1);
        f->growth = o.value(QStringLiteral("growth")).toInt();
        f->status = o.value(QStringLiteral("status")).toInt();
        f->usedPages = o.value(QStringLiteral("used")).toInt(1);
        return true;
    }

    QByteArray headerPage(const DatabaseHeader& h)
    {
        QJsonObject o;
        o[QStringLiteral("database")] = h.databaseName;
        o[QStringLiteral("guid")] = h.databaseGuid;
        o[QStringLiteral("version")] = h.version;
        o[QStringLiteral("cmptlevel")] = h.compatibilityLevel;
        o[QStringLiteral("recovery")] = h.recovery;
        o[QStringLiteral("pageVerify")] = h.pageVerify;
        o[QStringLiteral("created")] = h.created.toUTC().toString(Qt::ISODateWithMs);
        if (h.kind == FileKind::PrimaryData)
            o[QStringLiteral("clean")] = h.cleanShutdown;
        QJsonArray files;
        for (const FileRecord& f : h.files)
            files.append(toJson(f));
        o[QStringLiteral("files")] = files;
        const QByteArray json = QJsonDocument(o).toJson(QJsonDocument::Compact);

        QByteArray page(PageSize, '\0');
        if (PreambleSize + json.size() > PageSize)
            return QByteArray();
        char* p = page.data();
        memcpy(p, Magic.constData(), 8);
        qToLittleEndian<quint32>(FormatRevision, p + 8);
        qToLittleEndian<quint32>(quint32(h.kind), p + 12);
        qToLittleEndian<quint32>(quint32(json.size()), p + 16);
        memcpy(p + PreambleSize, json.constData(), size_t(json.size()));
        return page;
    }

    // The Windows error for a failed call: errno when it says something, else what Qt says.
    int failureError(const QFileDevice& f, int savedErrno)
    {
        if (savedErrno != 0)
            return windowsError(savedErrno);
        return f.error() == QFileDevice::ResourceError ? 112 : 5;
    }

} // namespace

const FileRecord* DatabaseHeader::file(int fileId) const
{
    for (const FileRecord& f : files) {
        if (f.fileId == fileId)
            return &f;
    }
    return nullptr;
}

FileRecord* DatabaseHeader::file(int fileId)
{
    for (FileRecord& f : files) {
        if (f.fileId == fileId)
            return &f;
    }
    return nullptr;
}

int openPathError(const QString& localPath)
{
    const QByteArray path = QFile::encodeName(localPath);
    struct stat st;
    if (::stat(path.constData(), &st) != 0) {
        const int e = errno;
        if (e != ENOENT)
            return windowsError(e);
        // Missing: the file (2) when its folder is there, else the path (3).
        const QByteArray folder = QFile::encodeName(QFileInfo(localPath).path());
        struct stat parent;
        if (::stat(folder.constData(), &parent) == 0)
            return S_ISDIR(parent.st_mode) ? 2 : 3;
        return errno == ENOENT || errno == ENOTDIR ? 3 : windowsError(errno);
    }
    if (S_ISDIR(st.st_mode))
        return 5;
    return 0;
}

int writeAccessError(const QString& localPath)
{
    const QByteArray path = QFile::encodeName(localPath);
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return windowsError(errno);
    if ((st.st_mode & 0222) == 0)
        return 5; // the read-only attribute: nobody writes it, not even an administrator
    if (::access(path.constData(), W_OK) != 0)
        return windowsError(errno);
    return 0;
}

FileReadResult readDatabaseFile(const QString& localPath)
{
    FileReadResult r;
    r.osError = openPathError(localPath);
    if (r.osError != 0)
        return r;
    const QByteArray encoded = QFile::encodeName(localPath);
    const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        r.osError = windowsError(errno);
        return r;
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        r.osError = 5;
        return r;
    }
    const qint64 length = f.size();
    const QByteArray page = f.read(PageSize);
    if (length < PageSize || length % PageSize != 0 || page.size() != PageSize) {
        r.badProperty = QStringLiteral("FILE SIZE");
        return r;
    }
    const char* p = page.constData();
    const quint32 kind = qFromLittleEndian<quint32>(p + 12);
    const quint32 jsonLength = qFromLittleEndian<quint32>(p + 16);
    if (page.left(8) != Magic || qFromLittleEndian<quint32>(p + 8) != FormatRevision || kind < 1 || kind > 3
        || jsonLength > PageSize - PreambleSize) {
        r.badProperty = QStringLiteral("PageAudit");
        return r;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(page.mid(PreambleSize, int(jsonLength)), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        r.badProperty = QStringLiteral("PageAudit");
        return r;
    }
    const QJsonObject o = doc.object();
    DatabaseHeader& h = r.header;
    h.kind = FileKind(kind);
    h.databaseName = o.value(QStringLiteral("database")).toString();
    h.databaseGuid = o.value(QStringLiteral("guid")).toString();
    h.version = o.value(QStringLiteral("version")).toInt();
    h.compatibilityLevel = o.value(QStringLiteral("cmptlevel")).toInt();
    h.recovery = o.value(QStringLiteral("recovery")).toString(QStringLiteral("FULL"));
    h.pageVerify = o.value(QStringLiteral("pageVerify")).toString(QStringLiteral("CHECKSUM"));
    h.created = QDateTime::fromString(o.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs);
    h.cleanShutdown = o.value(QStringLiteral("clean")).toBool(true);
    for (const QJsonValue& v : o.value(QStringLiteral("files")).toArray()) {
        FileRecord rec;
        if (!fromJson(v.toObject(), &rec)) {
            r.badProperty = QStringLiteral("PageAudit");
            return r;
        }
        h.files.append(rec);
    }
    if (h.files.isEmpty() || h.databaseGuid.isEmpty() || h.version <= 0) {
        r.badProperty = QStringLiteral("PageAudit");
        return r;
    }
    return r;
}

bool createDatabaseFile(
    const QString& localPath, const DatabaseHeader& header, const FileRecord& own, QString* error, int* osError)
{
    int ignored = 0;
    int& os = osError ? *osError : ignored;
    os = 0;
    const QByteArray page = headerPage(header);
    if (page.isEmpty()) {
        *error = QStringLiteral("header too large");
        os = 5;
        return false;
    }
    QFile f(localPath);
    errno = 0;
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        os = failureError(f, errno);
        *error = f.errorString();
        return false;
    }
    bool ok = f.write(page) == page.size();
    // Used pages get a stamp at their start; the rest of the file stays zero (and sparse).
    for (qint32 n = 1; ok && n < own.usedPages; ++n) {
        QByteArray stamp = PageStamp;
        stamp.resize(16);
        qToLittleEndian<quint32>(quint32(own.fileId), stamp.data() + 8);
        qToLittleEndian<quint32>(quint32(n), stamp.data() + 12);
        ok = f.seek(n * PageSize) && f.write(stamp) == stamp.size();
    }
    ok = ok && f.resize(qint64(own.sizePages) * PageSize);
    if (!ok) {
        os = failureError(f, errno);
        *error = f.errorString();
    }
    f.close();
    return ok;
}

bool rewriteHeader(const QString& localPath, const DatabaseHeader& header, QString* error, int* osError)
{
    int ignored = 0;
    int& os = osError ? *osError : ignored;
    os = 0;
    const QByteArray page = headerPage(header);
    QFile f(localPath);
    errno = 0;
    if (page.isEmpty() || !f.open(QIODevice::ReadWrite)) {
        os = page.isEmpty() ? 5 : failureError(f, errno);
        *error = page.isEmpty() ? QStringLiteral("header too large") : f.errorString();
        return false;
    }
    const bool ok = f.seek(0) && f.write(page) == page.size() && f.flush();
    if (!ok) {
        os = failureError(f, errno);
        *error = f.errorString();
    }
    return ok;
}

bool truncatePages(const QString& localPath, qint32 pages, QString* error, int* osError)
{
    int ignored = 0;
    int& os = osError ? *osError : ignored;
    os = 0;
    QFile f(localPath);
    if (f.size() <= qint64(pages) * PageSize)
        return true;
    errno = 0;
    if (!f.resize(qint64(pages) * PageSize)) {
        os = failureError(f, errno);
        *error = f.errorString();
        return false;
    }
    return true;
}

} // namespace standin
