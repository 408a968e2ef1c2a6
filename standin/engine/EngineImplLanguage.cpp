// The language around the statements: IF ... ELSE, TRY ... CATCH, variables (DECLARE, SET,
// SELECT @v =), RAISERROR, THROW and PRINT.

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"
#include "RaiseErrorFormat.h"

#include <QDeadlineTimer>
#include <QThread>

namespace standin {

namespace {

    QString cellString(const Cell& c)
    {
        if (const auto* s = std::get_if<QString>(&c))
            return *s;
        if (const auto* i = std::get_if<qint64>(&c))
            return QString::number(*i);
        if (const auto* b = std::get_if<QByteArray>(&c))
            return QString::fromLatin1(*b);
        return QString();
    }

    bool isIntegerColumn(const Column& c)
    {
        return c.type == ColumnType::Int || c.type == ColumnType::SmallInt || c.type == ColumnType::TinyInt
            || c.type == ColumnType::BigInt;
    }

} // namespace

Variable EngineImpl::declaredVariable(const DataType& t)
{
    Variable v;
    v.type.nullable = true;
    const QString& n = t.name;
    // Text without a length holds one character; MAX has no limit.
    const int length = t.length < 0 ? 1 : t.length;
    if (n == QLatin1String("int")) {
        v.type.type = ColumnType::Int;
        v.type.maxLength = 4;
    } else if (n == QLatin1String("bigint")) {
        v.type.type = ColumnType::BigInt;
        v.type.maxLength = 8;
    } else if (n == QLatin1String("smallint")) {
        v.type.type = ColumnType::SmallInt;
        v.type.maxLength = 2;
    } else if (n == QLatin1String("tinyint")) {
        v.type.type = ColumnType::TinyInt;
        v.type.maxLength = 1;
    } else if (n == QLatin1String("bit")) {
        v.type.type = ColumnType::Bit;
        v.type.maxLength = 1;
    } else if (n == QLatin1String("sysname")) {
        v.type.type = ColumnType::NVarChar;
        v.type.maxLength = 128;
    } else if (n == QLatin1String("nvarchar") || n == QLatin1String("varchar")) {
        v.type.type = ColumnType::NVarChar;
        v.type.maxLength = length;
        v.narrow = n == QLatin1String("varchar");
    } else if (n == QLatin1String("nchar") || n == QLatin1String("char")) {
        v.type.type = ColumnType::NChar;
        v.type.maxLength = qMax(1, length);
        v.narrow = n == QLatin1String("char");
    } else if (n == QLatin1String("datetime")) {
        v.type.type = ColumnType::DateTime;
        v.type.maxLength = 8;
    } else {
        v.type.type = ColumnType::Variant;
        v.type.maxLength = 8016;
    }
    return v;
}

void EngineImpl::assignVariable(Output& out, const QString& name, const Value& v) const
{
    Variable& var = out.scopes.last()[name.toLower()];
    Value converted = convert(v, var.type);
    if (var.narrow && !isNullCell(converted.cell))
        converted.cell = Cell(toServerCodePage(cellString(converted.cell)));
    var.value = converted.cell;
}

void EngineImpl::runIf(Session& s, int sessionId, const IfStatement& st, Done::Kind doneKind, Output& out)
{
    const int before = out.errors;
    const qsizetype firstEvent = out.events.size();
    std::optional<bool> holds;
    try {
        holds = test(s, sessionId, st.condition, RowRef {}, out);
    } catch (const QueryError& error) {
        reportQueryError(out, error);
        endStatement(out, doneKind, before);
        settle(s, out, firstEvent, before);
        return;
    }
    // An unknown condition (NULL) takes the ELSE branch.
    runStatements(s, sessionId, holds.value_or(false) ? st.thenBranch : st.elseBranch, doneKind, out);
}

void EngineImpl::runTryCatch(Session& s, int sessionId, const TryCatchStatement& st, Done::Kind doneKind, Output& out)
{
    ++out.tryDepth;
    runStatements(s, sessionId, st.tryBody, doneKind, out);
    --out.tryDepth;
    if (!out.raised)
        return;
    // The CATCH block runs outside this TRY: its own errors go to an outer CATCH, or the client.
    out.caught.append(*out.raised);
    out.raised.reset();
    runStatements(s, sessionId, st.catchBody, doneKind, out);
    out.caught.removeLast();
}

void EngineImpl::runDeclare(Session& s, int sessionId, const DeclareStatement& d, Output& out)
{
    for (const DeclareStatement::Variable& v : d.variables) {
        if (!v.init)
            continue;
        try {
            assignVariable(out, v.name, evaluate(s, sessionId, *v.init, RowRef {}, out));
        } catch (const QueryError& error) {
            reportQueryError(out, error);
            return;
        }
    }
}

void EngineImpl::runSetVariable(Session& s, int sessionId, const SetVariableStatement& st, Output& out)
{
    try {
        assignVariable(out, st.name, evaluate(s, sessionId, st.value, RowRef {}, out));
    } catch (const QueryError& error) {
        reportQueryError(out, error);
    }
}

void EngineImpl::runPrint(Session& s, int sessionId, const PrintStatement& p, Output& out)
{
    try {
        const Value v = evaluate(s, sessionId, p.value, RowRef {}, out);
        Message m;
        m.number = 0;
        m.severity = 0;
        m.state = 1;
        m.text = cellString(convert(v, Column { QString(), ColumnType::NVarChar, 4000, true }).cell);
        out.message(m);
    } catch (const QueryError& error) {
        reportQueryError(out, error);
    }
}

void EngineImpl::runRaiseError(Session& s, int sessionId, const RaiseErrorStatement& r, Output& out)
{
    try {
        const Value message = evaluate(s, sessionId, r.message, RowRef {}, out);
        const Column intType { QString(), ColumnType::Int, 4, true };
        const Value severityValue = convert(evaluate(s, sessionId, r.severity, RowRef {}, out), intType);
        const Value stateValue = convert(evaluate(s, sessionId, r.state, RowRef {}, out), intType);
        qint64 severity = isNullCell(severityValue.cell) ? 0 : std::get<qint64>(severityValue.cell);
        qint64 state = isNullCell(stateValue.cell) ? 1 : std::get<qint64>(stateValue.cell);
        QVector<FormatArgument> args;
        for (const Expr& e : r.args) {
            const Value v = evaluate(s, sessionId, e, RowRef {}, out);
            FormatArgument a;
            if (isNullCell(v.cell)) {
                a.type = FormatArgument::Type::Null;
            } else if (isIntegerColumn(v.column)) {
                a.type = FormatArgument::Type::Integer;
                a.integer = std::get<qint64>(v.cell);
            } else if (v.column.type == ColumnType::NVarChar || v.column.type == ColumnType::NChar) {
                a.type = FormatArgument::Type::Text;
                a.text = cellString(v.cell);
            } else if (v.column.type == ColumnType::VarBinary || v.column.type == ColumnType::Binary) {
                a.type = FormatArgument::Type::Binary;
                a.text = cellString(v.cell);
            } else {
                a.type = FormatArgument::Type::Unsupported;
                a.text = v.column.type == ColumnType::Bit   ? QStringLiteral("bit")
                    : v.column.type == ColumnType::DateTime ? QStringLiteral("datetime")
                                                            : QStringLiteral("sql_variant");
            }
            args.append(a);
        }

        Message m;
        const bool byNumber = isIntegerColumn(message.column) && !isNullCell(message.cell);
        if (byNumber) {
            // A message of the server's own table, from 13000 on; 50000 is the number of texts.
            const qint64 number = std::get<qint64>(message.cell);
            if (number < 13000 || number == 50000 || number > 2147483647) {
                out.message(
                    msg(2732, { QString::number(number), QStringLiteral("13000"), QStringLiteral("2147483647") }));
                return;
            }
            if (!hasServerMessage(int(number))) {
                out.message(msg(18054,
                    { QString::number(number), QString::number(qBound(qint64(0), severity, qint64(25))),
                        QString::number(state < 0 ? 1 : state) }));
                return;
            }
            QStringList texts;
            for (const FormatArgument& a : args)
                texts.append(a.type == FormatArgument::Type::Integer ? QString::number(a.integer) : a.text);
            m = msg(int(number), texts);
            if (severity == -1)
                severity = m.severity;
        } else {
            const FormatResult formatted = formatRaiseError(cellString(message.cell), args);
            if (formatted.error) {
                // 2000 has no 2786 or 2787: one message for any bad substitution.
                if (m_version <= 8 && formatted.error != 2748)
                    out.message(
                        msg(2757, { QStringLiteral("50000"), QString::number(severity), QString::number(state) }));
                else
                    out.message(msg(formatted.error, formatted.errorArgs));
                return;
            }
            m.number = 50000;
            m.text = formatted.text;
        }
        // Severities below 0 count as 0, above 25 as 25; from 19 on only WITH LOG (sa may).
        severity = qBound(qint64(0), severity, qint64(25));
        if (severity > 18 && !r.log) {
            out.message(msg(2754, { QStringLiteral("18") }));
            return;
        }
        if (state > 255) {
            out.message(msg(2756, { QString::number(state), QStringLiteral("0"), QStringLiteral("255") }));
            return;
        }
        m.severity = quint8(severity);
        m.state = quint8(state < 0 ? 1 : state);
        m.text = limitRaiseErrorText(m.text);
        out.message(m);
    } catch (const QueryError& error) {
        reportQueryError(out, error);
    }
}

void EngineImpl::runThrow(Session& s, int sessionId, const ThrowStatement& t, Output& out)
{
    // Any THROW ends the batch, unless a CATCH takes what it raises.
    out.abortBatch = true;
    if (t.rethrow) {
        // The caught failure again, every message of it, with its own numbers, states and lines.
        if (!out.caught.isEmpty()) {
            for (const Message& m : out.caught.last())
                out.message(m);
        }
        return;
    }
    try {
        const Column intType { QString(), ColumnType::Int, 4, true };
        const Value number = convert(evaluate(s, sessionId, t.number, RowRef {}, out), intType);
        const Value text = convert(
            evaluate(s, sessionId, t.message, RowRef {}, out), Column { QString(), ColumnType::NVarChar, 2048, true });
        const Value state = convert(evaluate(s, sessionId, t.state, RowRef {}, out), intType);
        const qint64 n = isNullCell(number.cell) ? 0 : std::get<qint64>(number.cell);
        const qint64 st = isNullCell(state.cell) ? 0 : std::get<qint64>(state.cell);
        if (n < 50000) {
            out.message(msg(35100, { QString::number(n) }));
            return;
        }
        if (st < 0 || st > 255) {
            out.message(msg(220, { QStringLiteral("tinyint"), QString::number(st) }));
            return;
        }
        Message m;
        m.number = qint32(n);
        m.severity = 16;
        m.state = quint8(st);
        // No substitution; %% stands for a percent sign.
        m.text = cellString(text.cell).replace(QStringLiteral("%%"), QStringLiteral("%"));
        out.message(m);
    } catch (const QueryError& error) {
        reportQueryError(out, error);
    }
}

bool EngineImpl::waitShrinkDelay(Output& out) const
{
    if (m_options.shrinkDelayMs <= 0)
        return false;
    const QDeadlineTimer deadline(m_options.shrinkDelayMs);
    while (!deadline.hasExpired()) {
        const int left = int(qMax<qint64>(1, deadline.remainingTime()));
        if (out.control && out.control->waitForAttention) {
            if (out.control->waitForAttention(left))
                return true;
        } else {
            QThread::msleep(ulong(left));
        }
    }
    return false;
}

} // namespace standin
