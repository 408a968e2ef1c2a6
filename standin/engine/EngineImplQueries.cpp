// SELECT: the system tables sysdatabases and sysfiles, and the scalar values (versions,
// properties) the clients ask for.

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <algorithm>

namespace standin {

QString EngineImpl::serverName() const
{
    const QString host = QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0).toUpper();
    return host.isEmpty() ? QStringLiteral("STANDIN") : host;
}

Table EngineImpl::sysdatabases() const
{
    Table t;
    t.columns = {
        Column { QStringLiteral("name"), ColumnType::NVarChar, 128, false },
        Column { QStringLiteral("dbid"), ColumnType::SmallInt, 2, true },
        Column { QStringLiteral("sid"), ColumnType::VarBinary, 85, true },
        Column { QStringLiteral("mode"), ColumnType::SmallInt, 2, true },
        Column { QStringLiteral("status"), ColumnType::Int, 4, true },
        Column { QStringLiteral("status2"), ColumnType::Int, 4, true },
        Column { QStringLiteral("crdate"), ColumnType::DateTime, 8, true },
        Column { QStringLiteral("reserved"), ColumnType::DateTime, 8, true },
        Column { QStringLiteral("category"), ColumnType::Int, 4, true },
        Column { QStringLiteral("cmptlevel"), ColumnType::TinyInt, 1, true },
        Column { QStringLiteral("filename"), ColumnType::NVarChar, 260, true },
        Column { QStringLiteral("version"), ColumnType::SmallInt, 2, true },
    };
    // status2 as observed: 0x41000000 on 2000/2005, plus "full text enabled" from 2008 [unconfirmed].
    const qint64 status2 = m_version <= 9 ? 1090519040 : 1627389952;
    QVector<const CatalogueDatabase*> order;
    for (const CatalogueDatabase& db : m_catalogue.databases)
        order.append(&db);
    // No ORDER BY: 2000 walks the clustered index on name, later versions go by dbid [unconfirmed].
    if (m_version <= 8) {
        std::stable_sort(order.begin(), order.end(),
            [](const CatalogueDatabase* a, const CatalogueDatabase* b) { return compareNames(a->name, b->name) < 0; });
    }
    for (const CatalogueDatabase* db : order) {
        const CatalogueFile* primary = db->primary();
        t.rows.append({
            Cell(db->name),
            Cell(qint64(db->dbid)),
            Cell(QByteArray("\x01", 1)),
            Cell(qint64(0)),
            Cell(qint64(databaseStatus(*db))),
            Cell(status2),
            Cell(toDateTimeValue(db->created)),
            Cell(DateTimeValue {}),
            Cell(qint64(0)),
            Cell(qint64(db->compatibilityLevel)),
            primary ? Cell(resolve(primary->path).shown) : Cell(),
            Cell(qint64(m_facts.internalVersion)),
        });
    }
    return t;
}

Table EngineImpl::sysfiles(const CatalogueDatabase& db) const
{
    // 2000: name and filename are fixed-length nchar, blank-padded; 2005 on: nvarchar.
    const bool fixed = m_version <= 8;
    const ColumnType textType = fixed ? ColumnType::NChar : ColumnType::NVarChar;
    Table t;
    t.columns = {
        Column { QStringLiteral("fileid"), ColumnType::SmallInt, 2, true },
        Column { QStringLiteral("groupid"), ColumnType::SmallInt, 2, true },
        Column { QStringLiteral("size"), ColumnType::Int, 4, false },
        Column { QStringLiteral("maxsize"), ColumnType::Int, 4, false },
        Column { QStringLiteral("growth"), ColumnType::Int, 4, false },
        Column { QStringLiteral("status"), ColumnType::Int, 4, true },
        Column { QStringLiteral("perf"), ColumnType::Int, 4, true },
        Column { QStringLiteral("name"), textType, 128, false },
        Column { QStringLiteral("filename"), textType, 260, true },
    };
    for (const CatalogueFile& f : db.files) {
        const FileReadResult r = readFileOf(db, f);
        const FileRecord* rec = r.ok() ? r.header.file(f.fileId) : nullptr;
        const QString shown = resolve(f.path).shown;
        t.rows.append({
            Cell(qint64(f.fileId)),
            Cell(qint64(f.groupId)),
            Cell(qint64(rec ? rec->sizePages : 0)),
            Cell(qint64(rec ? rec->maxSize : -1)),
            Cell(qint64(rec ? rec->growth : 0)),
            Cell(qint64(rec ? rec->status : (FileStatusDisk | (f.groupId == 0 ? FileStatusLog : 0)))),
            Cell(qint64(0)),
            Cell(fixed ? padded(f.logicalName, 128) : f.logicalName),
            Cell(fixed ? padded(shown, 260) : shown),
        });
    }
    return t;
}

Table EngineImpl::sysaltfiles() const
{
    // Every file of every database, in dbid and fileid order [order unconfirmed]. The same
    // columns on every version; name and filename blank-padded nchar on 2000 as in its sysfiles.
    // sysfiles' columns with dbid before name, and the two LSNs at the end.
    const QVector<Column> fileColumns = sysfiles(CatalogueDatabase {}).columns;
    Table t;
    t.columns = fileColumns.mid(0, 7);
    t.columns << Column { QStringLiteral("dbid"), ColumnType::SmallInt, 2, true } << fileColumns[7] << fileColumns[8]
              << Column { QStringLiteral("createlsn"), ColumnType::Binary, 10, true }
              << Column { QStringLiteral("droplsn"), ColumnType::Binary, 10, true };
    for (const CatalogueDatabase& db : m_catalogue.databases) {
        const Table files = sysfiles(db);
        for (const QVector<Cell>& f : files.rows) {
            QVector<Cell> row = f.mid(0, 7);
            row << Cell(qint64(db.dbid)) << f[7] << f[8] << Cell() << Cell();
            t.rows.append(row);
        }
    }
    return t;
}

Table EngineImpl::serverServices() const
{
    // The columns of sys.dm_server_services as the SQL Server documentation lists them;
    // instant_file_initialization_enabled from 2012 SP4 (the 2012 build played) and 2016 SP1 on.
    const bool ifi = m_version == 11 || m_version >= 13;
    Table t;
    t.columns = {
        Column { QStringLiteral("servicename"), ColumnType::NVarChar, 256, false },
        Column { QStringLiteral("startup_type"), ColumnType::Int, 4, true },
        Column { QStringLiteral("startup_type_desc"), ColumnType::NVarChar, 256, false },
        Column { QStringLiteral("status"), ColumnType::Int, 4, true },
        Column { QStringLiteral("status_desc"), ColumnType::NVarChar, 256, false },
        Column { QStringLiteral("process_id"), ColumnType::Int, 4, false },
        Column { QStringLiteral("last_startup_time"), ColumnType::DateTimeOffset, 10, true },
        Column { QStringLiteral("service_account"), ColumnType::NVarChar, 256, false },
        Column { QStringLiteral("filename"), ColumnType::NVarChar, 256, false },
        Column { QStringLiteral("is_clustered"), ColumnType::NVarChar, 1, false },
        Column { QStringLiteral("cluster_nodename"), ColumnType::NVarChar, 256, true },
    };
    if (ifi)
        t.columns.append(
            Column { QStringLiteral("instant_file_initialization_enabled"), ColumnType::NVarChar, 1, true });
    QString account = m_options.serviceAccount;
    if (account.isEmpty())
        account = qEnvironmentVariable("USER", QStringLiteral("standin"));
    const QString binn
        = QStringLiteral("C:\\Program Files\\Microsoft SQL Server\\MSSQL%1.MSSQLSERVER\\MSSQL\\Binn\\").arg(m_version);
    QVector<Cell> engine { Cell(QStringLiteral("SQL Server (MSSQLSERVER)")), Cell(qint64(2)),
        Cell(QStringLiteral("Automatic")), Cell(qint64(4)), Cell(QStringLiteral("Running")),
        Cell(qint64(QCoreApplication::applicationPid())), Cell(toDateTimeValue(m_started)), Cell(account),
        Cell(QLatin1Char('"') + binn + QStringLiteral("sqlservr.exe\" -sMSSQLSERVER")), Cell(QStringLiteral("N")),
        Cell() };
    QVector<Cell> agent { Cell(QStringLiteral("SQL Server Agent (MSSQLSERVER)")), Cell(qint64(3)),
        Cell(QStringLiteral("Manual")), Cell(qint64(1)), Cell(QStringLiteral("Stopped")), Cell(qint64(0)), Cell(),
        Cell(account), Cell(QLatin1Char('"') + binn + QStringLiteral("SQLAGENT.EXE\" -i MSSQLSERVER")),
        Cell(QStringLiteral("N")), Cell() };
    if (ifi) {
        engine.append(Cell(QStringLiteral("N")));
        agent.append(Cell(QStringLiteral("N")));
    }
    t.rows = { engine, agent };
    return t;
}

bool EngineImpl::resolveTable(Session& s, const SelectStatement& q, Table* table, Output& out)
{
    const QStringList& parts = q.fromParts;
    const QString object = parts.last();
    const QString schema = parts.size() >= 2 ? parts[parts.size() - 2] : QString();
    const QString database = parts.size() >= 3 ? parts[parts.size() - 3] : QString();
    const bool schemaOk = schema.isEmpty() || sameName(schema, QStringLiteral("dbo"))
        || (m_version >= 9 && sameName(schema, QStringLiteral("sys")));
    const CatalogueDatabase* db = m_catalogue.find(database.isEmpty() ? s.database : database);
    auto invalid = [&]() {
        reportQueryError(out, QueryError { msg(208, { q.fromText }) });
        return false;
    };
    if (!schemaOk || parts.size() > 3 || !db)
        return invalid();
    if (sameName(object, QStringLiteral("sysdatabases"))) {
        // 2000 keeps sysdatabases in master only; from 2005 it is a view every database sees.
        if (m_version <= 8 && !sameName(db->name, QStringLiteral("master")))
            return invalid();
        *table = sysdatabases();
        return true;
    }
    if (sameName(object, QStringLiteral("sysfiles"))) {
        *table = sysfiles(*db);
        return true;
    }
    if (sameName(object, QStringLiteral("sysaltfiles"))) {
        // Like sysdatabases: a table of master on 2000, a view of every database from 2005.
        if (m_version <= 8 && !sameName(db->name, QStringLiteral("master")))
            return invalid();
        *table = sysaltfiles();
        return true;
    }
    // From 2008 R2 SP1 (10.50), i.e. from 2012 among the versions the stand-in plays; the sys
    // schema is required.
    if (sameName(object, QStringLiteral("dm_server_services")) && m_version >= 11
        && sameName(schema, QStringLiteral("sys"))) {
        *table = serverServices();
        return true;
    }
    return invalid();
}

void EngineImpl::runSelect(Session& s, int sessionId, const SelectStatement& q, Done::Kind doneKind, Output& out)
{
    const int before = out.errors;
    Table table;
    if (q.hasFrom && !resolveTable(s, q, &table, out)) {
        endStatement(out, doneKind, before);
        return;
    }

    const auto eval = [&](const Expr& e, const RowRef& row) { return evaluate(s, sessionId, e, row, out); };
    const auto check = [&](const Condition& c, const RowRef& row) { return test(s, sessionId, c, row, out); };

    QVector<const Expr*> assigns;
    for (const Expr& e : q.items) {
        if (!e.assignTo.isEmpty())
            assigns.append(&e);
    }
    ResultSet rs;
    quint64 rowCount = 0;
    try {
        // Columns: from the select list, checked against the table even when no row matches.
        const RowRef probe { q.hasFrom ? &table : nullptr, -1 };
        QVector<std::pair<const Expr*, int>> items; // expression, or table column for '*'
        for (const Expr& e : q.items) {
            if (e.kind == Expr::Kind::Star) {
                if (!q.hasFrom)
                    throw QueryError { msg(263) };
                for (qsizetype i = 0; i < table.columns.size(); ++i) {
                    items.append({ nullptr, int(i) });
                    rs.columns.append(table.columns[i]);
                }
                continue;
            }
            Value v = eval(e, probe);
            if (e.hasAlias)
                v.column.name = e.alias;
            else if (e.kind != Expr::Kind::Column)
                v.column.name.clear();
            items.append({ &e, -1 });
            rs.columns.append(v.column);
        }
        if (q.where)
            check(*q.where, probe);

        QVector<qsizetype> rows;
        if (q.hasFrom) {
            for (qsizetype r = 0; r < table.rows.size(); ++r) {
                if (!q.where || check(*q.where, RowRef { &table, r }).value_or(false))
                    rows.append(r);
            }
        } else {
            rows.append(-1);
        }
        // ORDER BY: a column, an expression, or the position of a select-list item.
        QVector<std::function<Cell(qsizetype)>> keys;
        for (const OrderItem& o : q.orderBy) {
            if (o.expr.kind == Expr::Kind::Constant && o.expr.literal.kind == Literal::Kind::Integer) {
                const qint64 n = o.expr.literal.integer;
                if (n < 1 || n > items.size())
                    throw QueryError { msg(108, { QString::number(n) }) };
                const auto item = items[n - 1];
                keys.append([&, item](qsizetype r) {
                    if (!item.first)
                        return table.rows[r][item.second];
                    return eval(*item.first, RowRef { q.hasFrom ? &table : nullptr, r }).cell;
                });
                continue;
            }
            const Expr* ex = &o.expr;
            // An alias of the select list may be ordered by.
            if (ex->kind == Expr::Kind::Column && (!q.hasFrom || columnIndex(table, ex->name) < 0)) {
                for (const Expr& e : q.items) {
                    if (e.hasAlias && sameName(e.alias, ex->name))
                        ex = &e;
                }
            }
            eval(*ex, probe);
            keys.append([&, ex](qsizetype r) { return eval(*ex, RowRef { q.hasFrom ? &table : nullptr, r }).cell; });
        }
        if (!keys.isEmpty()) {
            std::stable_sort(rows.begin(), rows.end(), [&](qsizetype a, qsizetype b) {
                for (qsizetype k = 0; k < keys.size(); ++k) {
                    const Cell ca = keys[k](a);
                    const Cell cb = keys[k](b);
                    int c = 0;
                    if (isNullCell(ca) || isNullCell(cb))
                        c = isNullCell(ca) == isNullCell(cb) ? 0 : (isNullCell(ca) ? -1 : 1);
                    else
                        c = compareCells(ca, cb, m_version).value_or(0);
                    if (q.orderBy[k].descending)
                        c = -c;
                    if (c != 0)
                        return c < 0;
                }
                return false;
            });
        }
        if (q.top >= 0 && rows.size() > q.top)
            rows.resize(q.top);
        rowCount = quint64(rows.size());
        for (qsizetype r : rows) {
            QVector<Cell> cells;
            for (const auto& item : items) {
                if (!item.first) {
                    cells.append(table.rows[r][item.second]);
                    continue;
                }
                const Value v = eval(*item.first, RowRef { q.hasFrom ? &table : nullptr, r });
                if (!item.first->assignTo.isEmpty())
                    assignVariable(out, item.first->assignTo, v);
                cells.append(v.cell);
            }
            if (assigns.isEmpty())
                rs.rows.append(cells);
        }
    } catch (const QueryError& error) {
        reportQueryError(out, error);
        endStatement(out, doneKind, before);
        return;
    }
    // SELECT @v = ...: no result set; each row assigns in turn, so the last one's values stay.
    if (assigns.isEmpty())
        out.events.append(rs);
    endStatement(out, doneKind, before, 0xC1, rowCount, s.noCount);
}

} // namespace standin
