#include "DatabaseFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

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

FileReadResult readDatabaseFile(const QString& localPath)
{
    FileReadResult r;
    const QFileInfo info(localPath);
    if (info.isDir()) {
        r.osError = 5;
        return r;
    }
    if (!info.exists()) {
        r.osError = QFileInfo(info.path()).isDir() ? 2 : 3;
        return r;
    }
    QFile f(localPath);
    if (!f.open(QIODevice::ReadOnly)) {
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

bool createDatabaseFile(const QString& localPath, const DatabaseHeader& header, const FileRecord& own, QString* error)
{
    const QByteArray page = headerPage(header);
    if (page.isEmpty()) {
        *error = QStringLiteral("header too large");
        return false;
    }
    QFile f(localPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
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
    if (!ok)
        *error = f.errorString();
    f.close();
    return ok;
}

bool rewriteHeader(const QString& localPath, const DatabaseHeader& header, QString* error)
{
    const QByteArray page = headerPage(header);
    QFile f(localPath);
    if (page.isEmpty() || !f.open(QIODevice::ReadWrite)) {
        *error = f.errorString();
        return false;
    }
    const bool ok = f.seek(0) && f.write(page) == page.size() && f.flush();
    if (!ok)
        *error = f.errorString();
    return ok;
}

bool truncatePages(const QString& localPath, qint32 pages, QString* error)
{
    QFile f(localPath);
    if (f.size() <= qint64(pages) * PageSize)
        return true;
    if (!f.resize(qint64(pages) * PageSize)) {
        *error = f.errorString();
        return false;
    }
    return true;
}

} // namespace standin
