// Expressions and conditions: literals, columns of the row at hand, variables, @@globals, the
// built-in functions the clients use, CAST/CONVERT, + - * / %, and the comparisons of WHERE and IF.

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"

#include <limits>

namespace standin {

namespace {

    bool isText(const Column& c)
    {
        return c.type == ColumnType::NVarChar || c.type == ColumnType::NChar;
    }

    bool isInteger(const Column& c)
    {
        return c.type == ColumnType::Int || c.type == ColumnType::SmallInt || c.type == ColumnType::TinyInt
            || c.type == ColumnType::BigInt || c.type == ColumnType::Bit;
    }

    // The type's name as SQL Server words it in conversion and operator errors.
    QString typeName(const Column& c)
    {
        switch (c.type) {
        case ColumnType::NVarChar:
            return QStringLiteral("nvarchar");
        case ColumnType::NChar:
            return QStringLiteral("nchar");
        case ColumnType::Int:
            return QStringLiteral("int");
        case ColumnType::SmallInt:
            return QStringLiteral("smallint");
        case ColumnType::TinyInt:
            return QStringLiteral("tinyint");
        case ColumnType::BigInt:
            return QStringLiteral("bigint");
        case ColumnType::Bit:
            return QStringLiteral("bit");
        case ColumnType::DateTime:
            return QStringLiteral("datetime");
        case ColumnType::DateTimeOffset:
            return QStringLiteral("datetimeoffset");
        case ColumnType::VarBinary:
            return QStringLiteral("varbinary");
        case ColumnType::Binary:
            return QStringLiteral("binary");
        case ColumnType::Variant:
            return QStringLiteral("sql_variant");
        }
        return QString();
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

    // The sql_variant data type families, higher ranks compare greater whatever the values
    // (datetime over numbers over Unicode over binary).
    int variantFamily(const Cell& c)
    {
        if (std::holds_alternative<DateTimeValue>(c))
            return 3;
        if (std::holds_alternative<qint64>(c))
            return 2;
        if (std::holds_alternative<QString>(c))
            return 1;
        return 0;
    }

    bool fitsInt(qint64 v)
    {
        return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
    }

    // l op r in 64 bits; false when the result does not fit.
    bool arithmetic(char op, qint64 l, qint64 r, qint64* result)
    {
        constexpr qint64 max = std::numeric_limits<qint64>::max();
        constexpr qint64 min = std::numeric_limits<qint64>::min();
        switch (op) {
        case '+':
            if ((r > 0 && l > max - r) || (r < 0 && l < min - r))
                return false;
            *result = l + r;
            return true;
        case '-':
            if ((r < 0 && l > max + r) || (r > 0 && l < min + r))
                return false;
            *result = l - r;
            return true;
        case '*':
            if (l != 0 && r != 0) {
                const bool fits = l > 0 ? (r > 0 ? l <= max / r : r >= min / l) : (r > 0 ? l >= min / r : r >= max / l);
                if (!fits)
                    return false;
            }
            *result = l * r;
            return true;
        case '/':
            if (l == min && r == -1)
                return false;
            *result = l / r;
            return true;
        default:
            *result = r == -1 ? 0 : l % r;
            return true;
        }
    }

} // namespace

std::optional<int> compareCells(const Cell& a, const Cell& b, int version)
{
    if (isNullCell(a) || isNullCell(b))
        return std::nullopt;
    const auto* ia = std::get_if<qint64>(&a);
    const auto* ib = std::get_if<qint64>(&b);
    if (ia && ib)
        return *ia < *ib ? -1 : (*ia > *ib ? 1 : 0);
    if (ia || ib) {
        const QString s = textOrNumber(ia ? b : a);
        bool ok = false;
        const qint64 converted = s.trimmed().toLongLong(&ok);
        if (!ok)
            throw QueryError { serverMessage(245, version, { QStringLiteral("nvarchar"), s, QStringLiteral("int") }),
                QueryError::Kind::Batch };
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
    return compareNames(textOrNumber(a), textOrNumber(b));
}

Value EngineImpl::convert(const Value& v, const Column& to) const
{
    Value out;
    out.column = to;
    out.column.nullable = true;
    if (isNullCell(v.cell))
        return out;
    const QString source = typeName(v.column);
    switch (to.type) {
    case ColumnType::NVarChar:
    case ColumnType::NChar: {
        QString value = textOrNumber(v.cell);
        if (const auto* b = std::get_if<QByteArray>(&v.cell))
            value = QString::fromLatin1(*b);
        if (to.maxLength > 0)
            value = value.left(to.maxLength);
        out.cell = Cell(to.type == ColumnType::NChar ? padded(value, to.maxLength) : value);
        return out;
    }
    case ColumnType::Int:
    case ColumnType::SmallInt:
    case ColumnType::TinyInt:
    case ColumnType::BigInt:
    case ColumnType::Bit: {
        qint64 n = 0;
        if (const auto* i = std::get_if<qint64>(&v.cell)) {
            n = *i;
        } else {
            bool ok = false;
            n = textOrNumber(v.cell).trimmed().toLongLong(&ok);
            if (!ok || !std::holds_alternative<QString>(v.cell))
                throw QueryError { msg(245, { source, textOrNumber(v.cell), typeName(to) }), QueryError::Kind::Batch };
        }
        if (to.type == ColumnType::Bit) {
            out.cell = Cell(qint64(n != 0));
            return out;
        }
        const bool fits = to.type == ColumnType::BigInt || (to.type == ColumnType::Int && fitsInt(n))
            || (to.type == ColumnType::SmallInt && n >= -32768 && n <= 32767)
            || (to.type == ColumnType::TinyInt && n >= 0 && n <= 255);
        if (!fits)
            throw QueryError { msg(8115, { QStringLiteral("expression"), typeName(to) }), QueryError::Kind::Statement };
        out.cell = Cell(n);
        return out;
    }
    case ColumnType::Variant:
        out.cell = v.cell;
        return out;
    case ColumnType::DateTime:
    case ColumnType::DateTimeOffset:
        if (std::holds_alternative<DateTimeValue>(v.cell)) {
            out.cell = v.cell;
            return out;
        }
        throw QueryError { msg(241), QueryError::Kind::Batch };
    case ColumnType::VarBinary:
    case ColumnType::Binary:
        if (const auto* b = std::get_if<QByteArray>(&v.cell)) {
            out.cell = Cell(to.maxLength > 0 ? b->left(to.maxLength) : *b);
            return out;
        }
        throw QueryError { msg(529, { source, typeName(to) }) };
    }
    return out;
}

Value EngineImpl::evaluate(Session& s, int sessionId, const Expr& e, const RowRef& row, Output& out) const
{
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
            v.column = Column { QString(), fitsInt(e.literal.integer) ? ColumnType::Int : ColumnType::BigInt,
                fitsInt(e.literal.integer) ? 4 : 8, false };
            v.cell = Cell(e.literal.integer);
        } else if (e.literal.kind == Literal::Kind::String) {
            const QString value = e.literal.unicode ? e.literal.text : toServerCodePage(e.literal.text);
            v.column = Column { QString(), ColumnType::NVarChar, int(qMax<qsizetype>(1, value.size())), false };
            v.cell = Cell(value);
        } else {
            v.column = Column { QString(), ColumnType::Int, 4, true };
        }
        return v;
    case Expr::Kind::Variable: {
        const QString key = e.name.toLower();
        if (out.scopes.isEmpty() || !out.scopes.last().contains(key))
            throw QueryError { msg(137, { e.name }) };
        const Variable& var = out.scopes.last()[key];
        v.column = var.type;
        v.cell = var.value;
        return v;
    }
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
        } else if (e.name == QLatin1String("@@ERROR")) {
            v.column = Column { QString(), ColumnType::Int, 4, true };
            v.cell = Cell(qint64(s.lastError));
        } else if (e.name == QLatin1String("@@TRANCOUNT") || e.name == QLatin1String("@@ROWCOUNT")) {
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
    case Expr::Kind::Function: {
        // The error functions: the failure whose CATCH block runs, NULL outside one (2005 on).
        if (m_version >= 9 && e.name.startsWith(QLatin1String("ERROR_"))) {
            static const char* names[]
                = { "ERROR_NUMBER", "ERROR_SEVERITY", "ERROR_STATE", "ERROR_LINE", "ERROR_PROCEDURE", "ERROR_MESSAGE" };
            int which = -1;
            for (int i = 0; i < 6; ++i) {
                if (e.name == QLatin1String(names[i]))
                    which = i;
            }
            if (which >= 0) {
                if (!e.args.isEmpty())
                    throw QueryError { msg(174, { e.name, QStringLiteral("0") }) };
                v.column = which == 4 ? Column { QString(), ColumnType::NVarChar, 128, true }
                    : which == 5      ? Column { QString(), ColumnType::NVarChar, 4000, true }
                                      : Column { QString(), ColumnType::Int, 4, true };
                if (out.caught.isEmpty())
                    return v;
                // The last error of the failure is the one the functions describe.
                const QVector<Message>& failure = out.caught.last();
                const Message* last = nullptr;
                for (const Message& m : failure) {
                    if (m.isError())
                        last = &m;
                }
                if (!last)
                    return v;
                switch (which) {
                case 0:
                    v.cell = Cell(qint64(last->number));
                    break;
                case 1:
                    v.cell = Cell(qint64(last->severity));
                    break;
                case 2:
                    v.cell = Cell(qint64(last->state));
                    break;
                case 3:
                    v.cell = Cell(qint64(last->line));
                    break;
                case 4:
                    if (!last->procName.isEmpty())
                        v.cell = Cell(last->procName);
                    break;
                default:
                    v.cell = Cell(last->text);
                    break;
                }
                return v;
            }
        }
        QVector<Value> args;
        for (const Expr& a : e.args)
            args.append(evaluate(s, sessionId, a, row, out));
        auto arg = [&](int i) { return i < args.size() ? textOrNumber(args[i].cell) : QString(); };
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
            const CatalogueDatabase* db = isNullCell(args[0].cell) ? nullptr : m_catalogue.find(arg(0));
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
        const Value inner = evaluate(s, sessionId, e.args.value(0), row, out);
        const QString type = e.typeName;
        Column to { QString(), ColumnType::NVarChar, 30, true };
        if (type == QLatin1String("nvarchar") || type == QLatin1String("varchar") || type == QLatin1String("sysname")
            || type == QLatin1String("nchar") || type == QLatin1String("char")) {
            to.maxLength = e.typeLength < 0 ? 30 : (e.typeLength == 0 ? 4000 : e.typeLength);
            if (type == QLatin1String("sysname"))
                to.maxLength = 128;
            if (type == QLatin1String("nchar") || type == QLatin1String("char"))
                to.type = ColumnType::NChar;
            Value converted = convert(inner, to);
            // varchar and char hold what the server's code page can.
            if (!type.startsWith(QLatin1Char('n')) && type != QLatin1String("sysname") && !isNullCell(converted.cell))
                converted.cell = Cell(toServerCodePage(textOrNumber(converted.cell)));
            return converted;
        }
        if (type == QLatin1String("int"))
            to = Column { QString(), ColumnType::Int, 4, true };
        else if (type == QLatin1String("smallint"))
            to = Column { QString(), ColumnType::SmallInt, 2, true };
        else if (type == QLatin1String("tinyint"))
            to = Column { QString(), ColumnType::TinyInt, 1, true };
        else if (type == QLatin1String("bigint"))
            to = Column { QString(), ColumnType::BigInt, 8, true };
        else if (type == QLatin1String("bit"))
            to = Column { QString(), ColumnType::Bit, 1, true };
        else if (type == QLatin1String("sql_variant"))
            to = Column { QString(), ColumnType::Variant, 8016, true };
        else
            throw QueryError { msg(243, { type }) };
        return convert(inner, to);
    }
    case Expr::Kind::Negate: {
        const Value inner = evaluate(s, sessionId, e.args.value(0), row, out);
        if (!isInteger(inner.column))
            throw QueryError { msg(8117, { typeName(inner.column), QStringLiteral("minus") }) };
        v.column = inner.column;
        if (const auto* i = std::get_if<qint64>(&inner.cell))
            v.cell = Cell(-*i);
        return v;
    }
    case Expr::Kind::Binary: {
        const Value a = evaluate(s, sessionId, e.args.value(0), row, out);
        const Value b = evaluate(s, sessionId, e.args.value(1), row, out);
        const char op = e.name.isEmpty() ? '+' : char(e.name.at(0).unicode());
        const QString opName = op == '+' ? QStringLiteral("add")
            : op == '-'                  ? QStringLiteral("subtract")
            : op == '*'                  ? QStringLiteral("multiply")
            : op == '/'                  ? QStringLiteral("divide")
                                         : QStringLiteral("modulo");
        if (a.column.type == ColumnType::Variant || b.column.type == ColumnType::Variant)
            throw QueryError { msg(402, { typeName(a.column), typeName(b.column), opName }) };
        if (isText(a.column) && isText(b.column)) {
            if (op != '+')
                throw QueryError { msg(8117, { typeName(a.column), opName }) };
            v.column
                = Column { QString(), ColumnType::NVarChar, qMin(4000, a.column.maxLength + b.column.maxLength), true };
            if (!isNullCell(a.cell) && !isNullCell(b.cell))
                v.cell = Cell(textOrNumber(a.cell) + textOrNumber(b.cell));
            return v;
        }
        // A number and text: the text is converted to the number's type, which takes precedence.
        const bool wide = a.column.type == ColumnType::BigInt || b.column.type == ColumnType::BigInt;
        const Column numeric { QString(), wide ? ColumnType::BigInt : ColumnType::Int, wide ? 8 : 4, true };
        if ((!isInteger(a.column) && !isText(a.column)) || (!isInteger(b.column) && !isText(b.column)))
            throw QueryError { msg(402, { typeName(a.column), typeName(b.column), opName }) };
        const Value x = convert(a, numeric);
        const Value y = convert(b, numeric);
        v.column = numeric;
        if (isNullCell(x.cell) || isNullCell(y.cell))
            return v;
        const qint64 l = std::get<qint64>(x.cell);
        const qint64 r = std::get<qint64>(y.cell);
        if ((op == '/' || op == '%') && r == 0)
            throw QueryError { msg(8134), QueryError::Kind::Statement };
        qint64 result = 0;
        const bool overflow = !arithmetic(op, l, r, &result);
        if (overflow || (!wide && !fitsInt(result)))
            throw QueryError { msg(8115, { QStringLiteral("expression"), typeName(numeric) }),
                QueryError::Kind::Statement };
        v.cell = Cell(result);
        return v;
    }
    }
    return v;
}

std::optional<bool> EngineImpl::test(
    Session& s, int sessionId, const Condition& c, const RowRef& row, Output& out) const
{
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
            const auto v = test(s, sessionId, term, row, out);
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
        const auto a = test(s, sessionId, c.children[0], row, out);
        if (!a)
            return std::nullopt;
        return !*a;
    }
    case Condition::Kind::IsNull:
        return isNullCell(evaluate(s, sessionId, c.left, row, out).cell);
    case Condition::Kind::IsNotNull:
        return !isNullCell(evaluate(s, sessionId, c.left, row, out).cell);
    case Condition::Kind::Like:
    case Condition::Kind::NotLike: {
        const Value l = evaluate(s, sessionId, c.left, row, out);
        const Value r = evaluate(s, sessionId, c.right, row, out);
        if (isNullCell(l.cell) || isNullCell(r.cell))
            return std::nullopt;
        const bool m = likeMatch(textOrNumber(l.cell), textOrNumber(r.cell));
        return c.kind == Condition::Kind::Like ? m : !m;
    }
    case Condition::Kind::Compare: {
        const Value l = evaluate(s, sessionId, c.left, row, out);
        const Value r = evaluate(s, sessionId, c.right, row, out);
        std::optional<int> cmp;
        // A sql_variant compares by data type family first: a number is never equal to text.
        const bool variant = l.column.type == ColumnType::Variant || r.column.type == ColumnType::Variant;
        if (variant && !isNullCell(l.cell) && !isNullCell(r.cell) && variantFamily(l.cell) != variantFamily(r.cell))
            cmp = variantFamily(l.cell) < variantFamily(r.cell) ? -1 : 1;
        else
            cmp = compareCells(l.cell, r.cell, m_version);
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
}

} // namespace standin
