// SELECT: the system tables sysdatabases and sysfiles, and the scalar values (versions,
// properties) the clients ask for.

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <algorithm>

namespace standin {

namespace {

    // An error found while running a query. SQL Server finds most of these when it compiles the
    // statement, so the rest of the batch does not run either.
    struct QueryError
    {
        Message message;
    };

    struct Value
    {
        Column column;
        Cell cell;
    };

    struct RowRef
    {
        const Table* table = nullptr;
        qsizetype row = -1;
    };

    QString text(const Cell& c)
    {
        if (const auto* s = std::get_if<QString>(&c))
            return *s;
        if (const auto* i = std::get_if<qint64>(&c))
            return QString::number(*i);
        return QString();
    }

    bool isNull(const Cell& c)
    {
        return std::holds_alternative<std::monostate>(c);
    }

    int columnIndex(const Table& t, const QString& name)
    {
        for (qsizetype i = 0; i < t.columns.size(); ++i) {
            if (sameName(t.columns[i].name, name))
                return int(i);
        }
        return -1;
    }

    QString padded(const QString& s, int length)
    {
        return s.size() >= length ? s.left(length) : s + QString(length - s.size(), QLatin1Char(' '));
    }

    // Compares two cells as SQL Server would for these types: numbers as numbers, text in the
    // server's collation, a number against text by converting the text. nullopt when NULL.
    std::optional<int> compareCells(const Cell& a, const Cell& b, int version)
    {
        if (isNull(a) || isNull(b))
            return std::nullopt;
        const auto* ia = std::get_if<qint64>(&a);
        const auto* ib = std::get_if<qint64>(&b);
        if (ia && ib)
            return *ia < *ib ? -1 : (*ia > *ib ? 1 : 0);
        if (ia || ib) {
            const QString s = text(ia ? b : a);
            bool ok = false;
            const qint64 converted = s.trimmed().toLongLong(&ok);
            if (!ok)
                throw QueryError { serverMessage(
                    245, version, { QStringLiteral("nvarchar"), s, QStringLiteral("int") }) };
            const qint64 x = ia ? *ia : converted;
            const qint64 y = ia ? converted : *ib;
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        if (const auto* da = std::get_if<DateTimeValue>(&a)) {
            if (const auto* db = std::get_if<DateTimeValue>(&b)) {
                if (da->days != db->days)
                    return da->days < db->days ? -1 : 1;
                return da->ticks < db->ticks ? -1 : (da->ticks > db->ticks ? 1 : 0);
            }
        }
        return compareNames(text(a), text(b));
    }

    // LIKE with % and _, case-insensitive; trailing blanks of the value do not count, as in "=".
    // One pass with a single resumption point: work grows with value times pattern length,
    // whatever the pattern.
    bool likeMatch(const QString& value, const QString& pattern)
    {
        const auto matches = [&](qsizetype n) {
            qsizetype v = 0;
            qsizetype p = 0;
            qsizetype starP = -1;
            qsizetype starV = 0;
            while (v < n) {
                if (p < pattern.size() && pattern.at(p) == QLatin1Char('%')) {
                    starP = p++;
                    starV = v;
                } else if (p < pattern.size()
                    && (pattern.at(p) == QLatin1Char('_')
                        || pattern.at(p).toCaseFolded() == value.at(v).toCaseFolded())) {
                    ++p;
                    ++v;
                } else if (starP >= 0) {
                    p = starP + 1;
                    v = ++starV;
                } else {
                    return false;
                }
            }
            while (p < pattern.size() && pattern.at(p) == QLatin1Char('%'))
                ++p;
            return p == pattern.size();
        };
        qsizetype trimmed = value.size();
        while (trimmed > 0 && value.at(trimmed - 1) == QLatin1Char(' '))
            --trimmed;
        return matches(trimmed) || matches(value.size());
    }

} // namespace

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
        Message m = msg(208, { q.fromText });
        out.message(m);
        out.abortBatch = true;
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

    // Evaluates an expression, against a row of the table when there is one.
    std::function<Value(const Expr&, const RowRef&)> eval = [&](const Expr& e, const RowRef& row) -> Value {
        Value v;
        v.column.nullable = true;
        switch (e.kind) {
        case Expr::Kind::Star:
            throw QueryError { msg(263) };
        case Expr::Kind::Column: {
            const int i = row.table ? columnIndex(*row.table, e.name) : -1;
            if (i < 0)
                throw QueryError { msg(207, { e.name }) };
            v.column = row.table->columns[i];
            v.cell = row.row >= 0 ? row.table->rows[row.row][i] : Cell();
            return v;
        }
        case Expr::Kind::Constant:
            if (e.literal.kind == Literal::Kind::Integer) {
                v.column = Column { QString(), ColumnType::Int, 4, false };
                v.cell = Cell(e.literal.integer);
            } else if (e.literal.kind == Literal::Kind::String) {
                const QString value = e.literal.unicode ? e.literal.text : toServerCodePage(e.literal.text);
                v.column = Column { QString(), ColumnType::NVarChar, int(qMax<qsizetype>(1, value.size())), false };
                v.cell = Cell(value);
            } else {
                v.column = Column { QString(), ColumnType::Int, 4, true };
            }
            return v;
        case Expr::Kind::Global: {
            if (e.name == QLatin1String("@@VERSION")) {
                v.column = Column { QString(), ColumnType::NVarChar, 300, true };
                v.cell = Cell(m_facts.versionBanner);
            } else if (e.name == QLatin1String("@@SPID")) {
                v.column = Column { QString(), ColumnType::SmallInt, 2, true };
                v.cell = Cell(qint64(50 + sessionId));
            } else if (e.name == QLatin1String("@@SERVERNAME")) {
                v.column = Column { QString(), ColumnType::NVarChar, 128, true };
                v.cell = Cell(serverName());
            } else if (e.name == QLatin1String("@@TRANCOUNT") || e.name == QLatin1String("@@ERROR")
                || e.name == QLatin1String("@@ROWCOUNT")) {
                v.column = Column { QString(), ColumnType::Int, 4, true };
                v.cell = Cell(qint64(0));
            } else if (e.name == QLatin1String("@@LANGUAGE")) {
                v.column = Column { QString(), ColumnType::NVarChar, 128, true };
                v.cell = Cell(QStringLiteral("us_english"));
            } else if (e.name == QLatin1String("@@MICROSOFTVERSION")) {
                v.column = Column { QString(), ColumnType::Int, 4, true };
                v.cell = Cell(qint64(m_facts.major) << 24 | qint64(m_facts.minor) << 16 | m_facts.build);
            } else {
                throw QueryError { msg(137, { e.name }) };
            }
            return v;
        }
        case Expr::Kind::Variable:
            throw QueryError { msg(137, { e.name }) };
        case Expr::Kind::Function: {
            QVector<Value> args;
            for (const Expr& a : e.args)
                args.append(eval(a, row));
            auto arg = [&](int i) { return i < args.size() ? text(args[i].cell) : QString(); };
            if (e.name == QLatin1String("SERVERPROPERTY") && args.size() == 1) {
                v.column = Column { QString(), ColumnType::Variant, 8016, true };
                const QString p = arg(0).toLower();
                if (p == QLatin1String("productversion"))
                    v.cell = Cell(m_facts.productVersion);
                else if (p == QLatin1String("productlevel"))
                    v.cell = Cell(QStringLiteral("RTM"));
                else if (p == QLatin1String("edition"))
                    v.cell = Cell(QStringLiteral("Developer Edition (64-bit)"));
                else if (p == QLatin1String("engineedition"))
                    v.cell = Cell(qint64(3));
                else if (p == QLatin1String("machinename") || p == QLatin1String("servername"))
                    v.cell = Cell(serverName());
                else if (p == QLatin1String("collation"))
                    v.cell = Cell(serverCollationName());
                else if (p == QLatin1String("productmajorversion") && m_version >= 11)
                    v.cell = Cell(QString::number(m_facts.major));
                return v;
            }
            if (e.name == QLatin1String("DATABASEPROPERTYEX") && args.size() == 2) {
                v.column = Column { QString(), ColumnType::Variant, 8016, true };
                const CatalogueDatabase* db = isNull(args[0].cell) ? nullptr : m_catalogue.find(arg(0));
                const QString p = arg(1).toLower();
                if (!db)
                    return v;
                if (p == QLatin1String("recovery"))
                    v.cell = Cell(db->recovery);
                else if (p == QLatin1String("status"))
                    v.cell = Cell(QStringLiteral("ONLINE"));
                else if (p == QLatin1String("version"))
                    v.cell = Cell(qint64(m_facts.internalVersion));
                else if (p == QLatin1String("collation"))
                    v.cell = Cell(serverCollationName());
                else if (p == QLatin1String("updateability"))
                    v.cell = Cell(db->readOnly ? QStringLiteral("READ_ONLY") : QStringLiteral("READ_WRITE"));
                else if (p == QLatin1String("useraccess"))
                    v.cell = Cell(QStringLiteral("MULTI_USER"));
                return v;
            }
            if (e.name == QLatin1String("DB_NAME") && args.size() <= 1) {
                v.column = Column { QString(), ColumnType::NVarChar, 128, true };
                if (args.isEmpty()) {
                    v.cell = Cell(s.database);
                } else if (const auto* id = std::get_if<qint64>(&args[0].cell)) {
                    for (const CatalogueDatabase& db : m_catalogue.databases) {
                        if (db.dbid == *id)
                            v.cell = Cell(db.name);
                    }
                }
                return v;
            }
            if (e.name == QLatin1String("DB_ID") && args.size() <= 1) {
                v.column = Column { QString(), ColumnType::SmallInt, 2, true };
                const CatalogueDatabase* db = m_catalogue.find(args.isEmpty() ? s.database : arg(0));
                if (db)
                    v.cell = Cell(qint64(db->dbid));
                return v;
            }
            throw QueryError { msg(195, { e.name, QStringLiteral("built-in function name") }) };
        }
        case Expr::Kind::Cast: {
            const Value inner = eval(e.args.value(0), row);
            const QString type = e.typeName;
            if (type == QLatin1String("nvarchar") || type == QLatin1String("varchar")
                || type == QLatin1String("sysname") || type == QLatin1String("nchar")
                || type == QLatin1String("char")) {
                int length = e.typeLength < 0 ? 30 : (e.typeLength == 0 ? 4000 : e.typeLength);
                if (type == QLatin1String("sysname"))
                    length = 128;
                const bool fixed = type == QLatin1String("nchar") || type == QLatin1String("char");
                v.column = Column { QString(), fixed ? ColumnType::NChar : ColumnType::NVarChar, length, true };
                if (!isNull(inner.cell)) {
                    QString value = text(inner.cell).left(length);
                    if (!type.startsWith(QLatin1Char('n')) && type != QLatin1String("sysname"))
                        value = toServerCodePage(value);
                    v.cell = Cell(fixed ? padded(value, length) : value);
                }
                return v;
            }
            if (type == QLatin1String("int") || type == QLatin1String("smallint") || type == QLatin1String("tinyint")
                || type == QLatin1String("bigint")) {
                v.column = Column { QString(),
                    type == QLatin1String("smallint")      ? ColumnType::SmallInt
                        : type == QLatin1String("tinyint") ? ColumnType::TinyInt
                                                           : ColumnType::Int,
                    type == QLatin1String("smallint") ? 2 : (type == QLatin1String("tinyint") ? 1 : 4), true };
                if (const auto* i = std::get_if<qint64>(&inner.cell)) {
                    v.cell = Cell(*i);
                } else if (!isNull(inner.cell)) {
                    bool ok = false;
                    const qint64 n = text(inner.cell).trimmed().toLongLong(&ok);
                    if (!ok)
                        throw QueryError { msg(245, { QStringLiteral("nvarchar"), text(inner.cell), type }) };
                    v.cell = Cell(n);
                }
                return v;
            }
            if (type == QLatin1String("sql_variant")) {
                v.column = Column { QString(), ColumnType::Variant, 8016, true };
                v.cell = inner.cell;
                return v;
            }
            throw QueryError { msg(243, { type }) };
        }
        }
        return v;
    };

    std::function<std::optional<bool>(const Condition&, const RowRef&)> test
        = [&](const Condition& c, const RowRef& row) -> std::optional<bool> {
        switch (c.kind) {
        case Condition::Kind::And:
        case Condition::Kind::Or: {
            // Three-valued: AND is false when a term is false, OR true when a term is true;
            // otherwise unknown when a term is unknown. Every term is evaluated, so that a bad
            // column is reported whatever the other terms give.
            const bool decisive = c.kind == Condition::Kind::Or;
            bool decided = false;
            bool unknown = false;
            for (const Condition& term : c.children) {
                const auto v = test(term, row);
                if (!v)
                    unknown = true;
                else if (*v == decisive)
                    decided = true;
            }
            if (decided)
                return decisive;
            if (unknown)
                return std::nullopt;
            return !decisive;
        }
        case Condition::Kind::Not: {
            const auto a = test(c.children[0], row);
            if (!a)
                return std::nullopt;
            return !*a;
        }
        case Condition::Kind::IsNull:
            return isNull(eval(c.left, row).cell);
        case Condition::Kind::IsNotNull:
            return !isNull(eval(c.left, row).cell);
        case Condition::Kind::Like:
        case Condition::Kind::NotLike: {
            const Value l = eval(c.left, row);
            const Value r = eval(c.right, row);
            if (isNull(l.cell) || isNull(r.cell))
                return std::nullopt;
            const bool m = likeMatch(text(l.cell), text(r.cell));
            return c.kind == Condition::Kind::Like ? m : !m;
        }
        case Condition::Kind::Compare: {
            const auto cmp = compareCells(eval(c.left, row).cell, eval(c.right, row).cell, m_version);
            if (!cmp)
                return std::nullopt;
            const int x = *cmp;
            if (c.op == QLatin1String("="))
                return x == 0;
            if (c.op == QLatin1String("<>") || c.op == QLatin1String("!="))
                return x != 0;
            if (c.op == QLatin1String("<"))
                return x < 0;
            if (c.op == QLatin1String("<=") || c.op == QLatin1String("!>"))
                return x <= 0;
            if (c.op == QLatin1String(">"))
                return x > 0;
            return x >= 0; // >= and !<
        }
        }
        return std::nullopt;
    };

    ResultSet rs;
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
            test(*q.where, probe);

        QVector<qsizetype> rows;
        if (q.hasFrom) {
            for (qsizetype r = 0; r < table.rows.size(); ++r) {
                if (!q.where || test(*q.where, RowRef { &table, r }).value_or(false))
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
                    if (isNull(ca) || isNull(cb))
                        c = isNull(ca) == isNull(cb) ? 0 : (isNull(ca) ? -1 : 1);
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
        for (qsizetype r : rows) {
            QVector<Cell> cells;
            for (const auto& item : items) {
                if (!item.first)
                    cells.append(table.rows[r][item.second]);
                else
                    cells.append(eval(*item.first, RowRef { q.hasFrom ? &table : nullptr, r }).cell);
            }
            rs.rows.append(cells);
        }
    } catch (const QueryError& error) {
        out.message(error.message);
        out.abortBatch = true;
        endStatement(out, doneKind, before);
        return;
    }
    const quint64 count = quint64(rs.rows.size());
    out.events.append(rs);
    endStatement(out, doneKind, before, 0xC1, count, s.noCount);
}

} // namespace standin
