#include "Catalogue.h"

#include "Collation.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {

const CatalogueFile* CatalogueDatabase::primary() const
{
    for (const CatalogueFile& f : files) {
        if (f.fileId == 1)
            return &f;
    }
    return nullptr;
}

bool Catalogue::load(const QString& path, QString* error)
{
    databases.clear();
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("%1: %2").arg(path, parseError.errorString());
        return false;
    }
    for (const QJsonValue& v : doc.object().value(QStringLiteral("databases")).toArray()) {
        const QJsonObject o = v.toObject();
        CatalogueDatabase db;
        db.name = o.value(QStringLiteral("name")).toString();
        db.dbid = o.value(QStringLiteral("dbid")).toInt();
        db.created = QDateTime::fromString(o.value(QStringLiteral("created")).toString(), Qt::ISODateWithMs);
        db.guid = o.value(QStringLiteral("guid")).toString();
        db.recovery = o.value(QStringLiteral("recovery")).toString(QStringLiteral("FULL"));
        db.pageVerify = o.value(QStringLiteral("pageVerify")).toString(QStringLiteral("CHECKSUM"));
        db.compatibilityLevel = o.value(QStringLiteral("cmptlevel")).toInt();
        db.fileVersion = o.value(QStringLiteral("fileVersion")).toInt();
        db.fullBackupTaken = o.value(QStringLiteral("fullBackup")).toBool();
        db.differentialBase = o.value(QStringLiteral("diffBase")).toBool(db.fullBackupTaken);
        db.readOnly = o.value(QStringLiteral("readOnly")).toBool();
        db.mirroringPartner = o.value(QStringLiteral("partner")).toString();
        for (const QJsonValue& fv : o.value(QStringLiteral("files")).toArray()) {
            const QJsonObject fo = fv.toObject();
            CatalogueFile file;
            file.fileId = fo.value(QStringLiteral("fileid")).toInt();
            file.groupId = fo.value(QStringLiteral("groupid")).toInt();
            file.logicalName = fo.value(QStringLiteral("name")).toString();
            file.path = fo.value(QStringLiteral("path")).toString();
            db.files.append(file);
        }
        if (db.name.isEmpty() || db.dbid <= 0) {
            *error = QStringLiteral("%1: a database entry without name or dbid").arg(path);
            return false;
        }
        add(db);
    }
    return true;
}

CatalogueWriteError Catalogue::save(const QString& path, QString* error, const CatalogueFault& fault) const
{
    QJsonArray list;
    for (const CatalogueDatabase& db : databases) {
        QJsonObject o;
        o[QStringLiteral("name")] = db.name;
        o[QStringLiteral("dbid")] = db.dbid;
        o[QStringLiteral("created")] = db.created.toUTC().toString(Qt::ISODateWithMs);
        o[QStringLiteral("guid")] = db.guid;
        o[QStringLiteral("recovery")] = db.recovery;
        o[QStringLiteral("pageVerify")] = db.pageVerify;
        o[QStringLiteral("cmptlevel")] = db.compatibilityLevel;
        o[QStringLiteral("fileVersion")] = db.fileVersion;
        o[QStringLiteral("fullBackup")] = db.fullBackupTaken;
        o[QStringLiteral("diffBase")] = db.differentialBase;
        if (db.readOnly)
            o[QStringLiteral("readOnly")] = true;
        if (!db.mirroringPartner.isEmpty())
            o[QStringLiteral("partner")] = db.mirroringPartner;
        QJsonArray files;
        for (const CatalogueFile& f : db.files) {
            QJsonObject fo;
            fo[QStringLiteral("fileid")] = f.fileId;
            fo[QStringLiteral("groupid")] = f.groupId;
            fo[QStringLiteral("name")] = f.logicalName;
            fo[QStringLiteral("path")] = f.path;
            files.append(fo);
        }
        o[QStringLiteral("files")] = files;
        list.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("databases")] = list;
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);

    const QString beside = path + QStringLiteral(".new");
    QFile f(beside);
    if (fault.refused) {
        *error = QStringLiteral("%1: Permission denied").arg(beside);
        return CatalogueWriteError::Other;
    }
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("%1: %2").arg(beside, f.errorString());
        return CatalogueWriteError::Other;
    }
    const bool full = fault.spaceLeft >= 0 && fault.spaceLeft < bytes.size();
    const qint64 wanted = full ? fault.spaceLeft : bytes.size();
    bool ok = f.write(bytes.constData(), wanted) == wanted && f.flush();
#ifdef Q_OS_WIN
    ok = ok && ::_commit(f.handle()) == 0;
#else
    ok = ok && ::fsync(f.handle()) == 0;
#endif
    CatalogueWriteError failure = CatalogueWriteError::None;
    if (full) {
        *error = QStringLiteral("%1: No space left on device").arg(beside);
        failure = CatalogueWriteError::DiskFull;
    } else if (!ok) {
        *error = QStringLiteral("%1: %2").arg(beside, f.errorString());
        failure = f.error() == QFileDevice::ResourceError ? CatalogueWriteError::DiskFull : CatalogueWriteError::Other;
    }
    f.close();
    if (failure != CatalogueWriteError::None) {
        QFile::remove(beside);
        return failure;
    }
#ifdef Q_OS_WIN
    QFile::remove(path);
#endif
    if (std::rename(QFile::encodeName(beside).constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("%1: cannot replace the catalogue").arg(path);
        QFile::remove(beside);
        return CatalogueWriteError::Other;
    }
    return CatalogueWriteError::None;
}

CatalogueDatabase* Catalogue::find(const QString& name)
{
    for (CatalogueDatabase& db : databases) {
        if (sameName(db.name, name))
            return &db;
    }
    return nullptr;
}

const CatalogueDatabase* Catalogue::find(const QString& name) const
{
    return const_cast<Catalogue*>(this)->find(name);
}

CatalogueDatabase* Catalogue::findById(int dbid)
{
    for (CatalogueDatabase& db : databases) {
        if (db.dbid == dbid)
            return &db;
    }
    return nullptr;
}

int Catalogue::lowestFreeDbid() const
{
    int id = 5;
    for (const CatalogueDatabase& db : databases) {
        if (db.dbid == id)
            ++id;
        else if (db.dbid > id)
            break;
    }
    return id;
}

void Catalogue::add(const CatalogueDatabase& db)
{
    auto at = std::lower_bound(
        databases.begin(), databases.end(), db.dbid, [](const CatalogueDatabase& d, int id) { return d.dbid < id; });
    databases.insert(at, db);
}

bool Catalogue::remove(const QString& name)
{
    for (qsizetype i = 0; i < databases.size(); ++i) {
        if (sameName(databases[i].name, name)) {
            databases.removeAt(i);
            return true;
        }
    }
    return false;
}

} // namespace standin
