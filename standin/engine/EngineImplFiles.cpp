// Files: DBCC SHRINKFILE (the only statement that changes a database file after it was made)
// and DBCC CHECKPRIMARYFILE (reads a file that is not attached).

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"

namespace standin {

void EngineImpl::runShrinkFile(Session& s, const ShrinkFileStatement& f, Output& out)
{
    // The tests' slow shrink: an attention meanwhile cancels it before any work is done.
    if (waitShrinkDelay(out)) {
        out.attention = true;
        return;
    }
    const CatalogueDatabase* db = m_catalogue.find(s.database);
    const CatalogueFile* file = nullptr;
    if (db) {
        for (const CatalogueFile& c : db->files) {
            if (f.byId ? c.fileId == f.fileId : sameName(c.logicalName, f.fileName))
                file = &c;
        }
    }
    if (!file) {
        out.message(msg(8985, { f.byId ? QString::number(f.fileId) : f.fileName, s.database }));
        return;
    }
    // A read-only database takes no writes [unconfirmed that SHRINKFILE answers 3906].
    if (db->readOnly) {
        out.message(msg(3906, { db->name }));
        return;
    }
    const ServerPath path = resolve(file->path);
    FileReadResult own = readFileOf(*db, *file);
    if (!own.ok() || !own.header.file(file->fileId)) {
        out.message(own.osError ? openFailure(path.shown, own.osError) : msg(5172, { path.shown, own.badProperty }));
        return;
    }
    FileRecord& record = *own.header.file(file->fileId);
    // Without a target the file goes down to what is in use (never below it), as far as the
    // free pages at its end allow; in the stand-in's format all free pages are at the end.
    qint32 target = record.usedPages;
    if (f.targetMb && !f.truncateOnly)
        target = qMax(record.usedPages, qint32(qMin<qint64>(*f.targetMb * 128, record.sizePages)));
    if (f.emptyFile || f.noTruncate)
        target = record.sizePages;
    target = qMin(target, record.sizePages);
    if (target < record.sizePages) {
        QString error;
        int osError = 0;
        record.sizePages = target;
        bool ok = rewriteHeader(path.local, own.header, &error, &osError)
            && truncatePages(path.local, target, &error, &osError);
        if (ok && file->fileId != 1) {
            // The primary file's list of files records the new size too.
            const CatalogueFile* primary = db->primary();
            const ServerPath primaryPath = resolve(primary->path);
            FileReadResult p = readDatabaseFile(primaryPath.local);
            if (p.ok() && p.header.file(file->fileId)) {
                p.header.file(file->fileId)->sizePages = target;
                ok = rewriteHeader(primaryPath.local, p.header, &error, &osError);
            }
        }
        if (!ok) {
            qWarning("stand-in: cannot shrink %s: %s", qPrintable(path.local), qPrintable(error));
            out.message(createFileFailure(path.shown, osError));
            return;
        }
    }
    ResultSet rs;
    rs.columns = {
        Column { QStringLiteral("DbId"), ColumnType::SmallInt, 2, true },
        Column { QStringLiteral("FileId"), ColumnType::Int, 4, true },
        Column { QStringLiteral("CurrentSize"), ColumnType::Int, 4, true },
        Column { QStringLiteral("MinimumSize"), ColumnType::Int, 4, true },
        Column { QStringLiteral("UsedPages"), ColumnType::Int, 4, true },
        Column { QStringLiteral("EstimatedPages"), ColumnType::Int, 4, true },
    };
    rs.rows.append({ Cell(qint64(db->dbid)), Cell(qint64(file->fileId)), Cell(qint64(record.sizePages)),
        Cell(qint64(record.usedPages)), Cell(qint64(record.usedPages)), Cell(qint64(record.usedPages)) });
    out.events.append(rs);
    if (!f.noInfoMessages)
        out.message(msg(2528));
}

void EngineImpl::runCheckPrimaryFile(const CheckPrimaryFileStatement& c, Output& out)
{
    const ServerPath path = resolve(c.path);
    auto finish = [&]() {
        if (!c.noInfoMessages)
            out.message(msg(2528));
    };
    int error = openError(path);
    if (error == 0 && databaseUsingFile(path))
        error = 32;
    if (error != 0) {
        out.message(openFailure(path.shown, error));
        return finish();
    }
    const FileReadResult r = readDatabaseFile(path.local);
    if (r.osError) {
        out.message(openFailure(path.shown, r.osError));
        return finish();
    }
    if (!r.badProperty.isEmpty()) {
        out.message(msg(5172, { path.shown, r.badProperty }));
        return finish();
    }
    const DatabaseHeader& h = r.header;
    const bool primary = h.kind == FileKind::PrimaryData;
    if (c.option < 0 || c.option > 3) {
        out.message(msg(2526));
        return finish();
    }
    if (c.option != 0 && !primary) {
        out.message(msg(5171, { path.shown }));
        return finish();
    }
    ResultSet rs;
    switch (c.option) {
    case 0:
        rs.columns = { Column { QStringLiteral("IsMDF"), ColumnType::Int, 4, true } };
        rs.rows.append({ Cell(qint64(primary ? 1 : 0)) });
        break;
    case 1:
        // The file list in the layout of 2000's sysfiles, blank-padded fixed-length text [unconfirmed].
        rs.columns = {
            Column { QStringLiteral("fileid"), ColumnType::SmallInt, 2, true },
            Column { QStringLiteral("groupid"), ColumnType::SmallInt, 2, true },
            Column { QStringLiteral("size"), ColumnType::Int, 4, true },
            Column { QStringLiteral("maxsize"), ColumnType::Int, 4, true },
            Column { QStringLiteral("growth"), ColumnType::Int, 4, true },
            Column { QStringLiteral("status"), ColumnType::Int, 4, true },
            Column { QStringLiteral("perf"), ColumnType::Int, 4, true },
            Column { QStringLiteral("name"), ColumnType::NChar, 128, true },
            Column { QStringLiteral("filename"), ColumnType::NChar, 260, true },
        };
        for (const FileRecord& f : h.files) {
            rs.rows.append({ Cell(qint64(f.fileId)), Cell(qint64(f.groupId)), Cell(qint64(f.sizePages)),
                Cell(qint64(f.maxSize)), Cell(qint64(f.growth)), Cell(qint64(f.status)), Cell(qint64(0)),
                Cell(padded(f.logicalName, 128)), Cell(padded(f.physicalName, 260)) });
        }
        break;
    case 2:
        rs.columns = { Column { QStringLiteral("property"), ColumnType::NVarChar, 128, true },
            Column { QStringLiteral("value"), ColumnType::Variant, 8016, true } };
        rs.rows.append({ Cell(QStringLiteral("Database name")), Cell(h.databaseName) });
        rs.rows.append({ Cell(QStringLiteral("Database version")), Cell(qint64(h.version)) });
        rs.rows.append({ Cell(QStringLiteral("Collation")), Cell(ServerCollationId) });
        break;
    case 3:
        rs.columns = {
            Column { QStringLiteral("status"), ColumnType::Int, 4, true },
            Column { QStringLiteral("fileid"), ColumnType::Int, 4, true },
            Column { QStringLiteral("name"), ColumnType::NChar, 128, true },
            Column { QStringLiteral("filename"), ColumnType::NChar, 260, true },
        };
        for (const FileRecord& f : h.files) {
            rs.rows.append({ Cell(qint64(f.status)), Cell(qint64(f.fileId)), Cell(padded(f.logicalName, 128)),
                Cell(padded(f.physicalName, 260)) });
        }
        break;
    }
    out.events.append(rs);
    finish();
}

} // namespace standin
