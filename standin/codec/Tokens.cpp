#include "Tokens.h"

#include "Wire.h"

#include <QSysInfo>

namespace standin::tds {

namespace {

    constexpr int maxMessageChars = 4000;

    void putUserType(QByteArray& out, quint32 tdsVersion)
    {
        if (is72OrLater(tdsVersion))
            putU32(out, 0);
        else
            putU16(out, 0);
    }

    bool isDoneEvent(const Event& e)
    {
        return std::holds_alternative<Done>(e);
    }

    quint8 doneToken(Done::Kind kind)
    {
        switch (kind) {
        case Done::Kind::DoneProc:
            return DoneProcToken;
        case Done::Kind::DoneInProc:
            return DoneInProcToken;
        default:
            return DoneToken;
        }
    }

} // namespace

QString defaultServerName()
{
    const QString host = QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0).toUpper();
    return host.isEmpty() ? QStringLiteral("LOCALHOST") : host.left(128);
}

void putEnvChangeBytes(QByteArray& out, quint8 type, const QByteArray& newValue, const QByteArray& oldValue)
{
    putU8(out, EnvChangeToken);
    const int lengthAt = int(out.size());
    putU16(out, 0);
    putU8(out, type);
    putBVarByte(out, newValue);
    putBVarByte(out, oldValue);
    patchU16(out, lengthAt, quint16(out.size() - lengthAt - 2));
}

void putEnvChange(QByteArray& out, quint8 type, const QString& newValue, const QString& oldValue)
{
    putU8(out, EnvChangeToken);
    const int lengthAt = int(out.size());
    putU16(out, 0);
    putU8(out, type);
    putBVarChar(out, newValue);
    putBVarChar(out, oldValue);
    patchU16(out, lengthAt, quint16(out.size() - lengthAt - 2));
}

void putMessage(QByteArray& out, const Message& message, const TokenContext& ctx)
{
    const bool error = message.isError();
    putU8(out, error ? ErrorToken : InfoToken);
    const int lengthAt = int(out.size());
    putU16(out, 0);
    putU32(out, quint32(message.number));
    putU8(out, message.state);
    // Severity 10 travels as class 0 (SQL Server's conversion for compatibility); 0 to 9 as they are.
    putU8(out, error || message.severity < 10 ? message.severity : 0);
    putUsVarChar(out, message.text.left(maxMessageChars));
    putBVarChar(out, ctx.serverName);
    putBVarChar(out, message.procName);
    if (is72OrLater(ctx.tdsVersion))
        putU32(out, quint32(message.line));
    else
        putU16(out, quint16(message.line));
    patchU16(out, lengthAt, quint16(out.size() - lengthAt - 2));
}

void putLoginAck(
    QByteArray& out, quint32 tdsVersion, const QString& programName, quint8 major, quint8 minor, quint16 build)
{
    const QString name = programName.left(255);
    putU8(out, LoginAckToken);
    putU16(out, quint16(10 + 2 * name.size()));
    putU8(out, 1); // interface: SQL_TSQL
    putU32BE(out, tdsVersion);
    putBVarChar(out, name);
    putU8(out, major);
    putU8(out, minor);
    putU16BE(out, build);
}

void putDone(QByteArray& out, quint8 token, quint16 status, quint16 curCmd, quint64 rowCount, quint32 tdsVersion)
{
    putU8(out, token);
    putU16(out, status);
    putU16(out, curCmd);
    if (is72OrLater(tdsVersion))
        putU64(out, rowCount);
    else
        putU32(out, quint32(qMin<quint64>(rowCount, 0xFFFFFFFFu)));
}

void putReturnStatus(QByteArray& out, qint32 value)
{
    putU8(out, ReturnStatusToken);
    putU32(out, quint32(value));
}

namespace {

    TypeInfo columnTypeInfoFor(const Column& column, const QByteArray& collation, quint32 tdsVersion)
    {
        TypeInfo t;
        const bool maxAllowed = is72OrLater(tdsVersion);
        switch (column.type) {
        case ColumnType::NVarChar:
        case ColumnType::NChar: {
            t.type = column.type == ColumnType::NChar ? TypeNChar : TypeNVarChar;
            t.collation = collation;
            const bool isMax = column.maxLength <= 0 || column.maxLength > 4000;
            if (isMax && maxAllowed && column.type == ColumnType::NVarChar)
                t.maxLength = plpMaxLength;
            else
                t.maxLength = quint32(2 * qBound(1, column.maxLength, 4000));
            break;
        }
        case ColumnType::Int:
            t.type = column.nullable ? TypeIntN : TypeInt4;
            t.maxLength = 4;
            break;
        case ColumnType::SmallInt:
            t.type = column.nullable ? TypeIntN : TypeInt2;
            t.maxLength = 2;
            break;
        case ColumnType::TinyInt:
            t.type = column.nullable ? TypeIntN : TypeInt1;
            t.maxLength = 1;
            break;
        case ColumnType::BigInt:
            t.type = column.nullable ? TypeIntN : TypeInt8;
            t.maxLength = 8;
            break;
        case ColumnType::Bit:
            t.type = column.nullable ? TypeBitN : TypeBit;
            t.maxLength = 1;
            break;
        case ColumnType::DateTime:
            t.type = column.nullable ? TypeDateTimeN : TypeDateTime;
            t.maxLength = 8;
            break;
        case ColumnType::DateTimeOffset:
            // Before 7.3 SQL Server sends the date and time types as nvarchar.
            if (is73OrLater(tdsVersion)) {
                t.type = TypeDateTimeOffsetN;
                t.scale = 7;
                t.maxLength = 10;
            } else {
                t.type = TypeNVarChar;
                t.collation = collation;
                t.maxLength = 2 * 34;
            }
            break;
        case ColumnType::VarBinary: {
            t.type = TypeBigVarBinary;
            const bool isMax = column.maxLength <= 0 || column.maxLength > 8000;
            t.maxLength = isMax && maxAllowed ? plpMaxLength : quint32(qBound(1, column.maxLength, 8000));
            break;
        }
        case ColumnType::Binary:
            t.type = TypeBigBinary;
            t.maxLength = quint32(qBound(1, column.maxLength, 8000));
            break;
        case ColumnType::Variant:
            t.type = TypeVariant;
            t.maxLength = variantMaxLength;
            break;
        }
        return t;
    }

    // A column the engine declared NOT NULL but that holds a NULL is sent as nullable: the fixed
    // types have no way to say NULL.
    QVector<Column> effectiveColumns(const ResultSet& rs)
    {
        QVector<Column> columns = rs.columns;
        for (const auto& row : rs.rows) {
            for (int i = 0; i < columns.size() && i < row.size(); ++i) {
                if (!columns[i].nullable && std::holds_alternative<std::monostate>(row[i]))
                    columns[i].nullable = true;
            }
        }
        return columns;
    }

    Cell paddedCell(const Column& column, const Cell& value, quint32 tdsVersion)
    {
        if (column.type == ColumnType::DateTimeOffset && !is73OrLater(tdsVersion)) {
            if (const auto* d = std::get_if<DateTimeValue>(&value))
                return dateTimeOffsetText(*d);
            return value;
        }
        if (column.type == ColumnType::NChar) {
            if (std::holds_alternative<std::monostate>(value))
                return value;
            const QString text = cellText(value);
            const int width = qBound(1, column.maxLength, 4000);
            return text.size() >= width ? text.left(width) : text.leftJustified(width, QLatin1Char(' '));
        }
        return value;
    }

    void putColumnsAndRows(QByteArray& out, const ResultSet& rs, const TokenContext& ctx)
    {
        const QVector<Column> columns = effectiveColumns(rs);
        putColMetadata(out, columns, ctx);
        for (const auto& row : rs.rows)
            putRow(out, columns, row, ctx);
    }

} // namespace

TypeInfo columnTypeInfo(const Column& column, const QByteArray& collation, quint32 tdsVersion)
{
    return columnTypeInfoFor(column, collation, tdsVersion);
}

void putColMetadata(QByteArray& out, const QVector<Column>& columns, const TokenContext& ctx)
{
    putU8(out, ColMetadataToken);
    putU16(out, quint16(columns.size()));
    for (const Column& column : columns) {
        putUserType(out, ctx.tdsVersion);
        putU16(out, column.nullable ? 0x0001 : 0x0000);
        putTypeInfo(out, columnTypeInfoFor(column, ctx.collation, ctx.tdsVersion), ctx.tdsVersion);
        putBVarChar(out, column.name);
    }
}

void putRow(QByteArray& out, const QVector<Column>& columns, const QVector<Cell>& row, const TokenContext& ctx)
{
    putU8(out, RowToken);
    for (int i = 0; i < columns.size(); ++i) {
        const Cell value = i < row.size() ? row[i] : Cell();
        putValue(out, columnTypeInfoFor(columns[i], ctx.collation, ctx.tdsVersion),
            paddedCell(columns[i], value, ctx.tdsVersion));
    }
}

void putReturnValue(QByteArray& out, const ReturnValue& value, const TokenContext& ctx)
{
    Column type = value.type;
    if (std::holds_alternative<std::monostate>(value.value))
        type.nullable = true;
    putU8(out, ReturnValueToken);
    putU16(out, value.ordinal);
    putBVarChar(out, value.name);
    putU8(out, 0x01); // an OUTPUT parameter
    putUserType(out, ctx.tdsVersion);
    putU16(out, type.nullable ? 0x0001 : 0x0000);
    const TypeInfo info = columnTypeInfoFor(type, ctx.collation, ctx.tdsVersion);
    putTypeInfo(out, info, ctx.tdsVersion);
    putValue(out, info, paddedCell(type, value.value, ctx.tdsVersion));
}

QByteArray encodeReply(const Reply& reply, RequestKind kind, const TokenContext& ctx)
{
    int lastDone = -1;
    bool sawError = false;
    for (int i = 0; i < reply.events.size(); ++i) {
        if (isDoneEvent(reply.events[i]))
            lastDone = i;
        if (const auto* m = std::get_if<Message>(&reply.events[i]); m && m->isError())
            sawError = true;
    }
    bool endsWithDone = !reply.events.isEmpty() && lastDone == reply.events.size() - 1;
    // In an RPC reply a DONEINPROC always carries MORE, so it can never end the reply.
    if (endsWithDone && kind == RequestKind::Rpc
        && std::get<Done>(reply.events[lastDone]).kind == Done::Kind::DoneInProc)
        endsWithDone = false;

    QByteArray out;
    for (int i = 0; i < reply.events.size(); ++i) {
        const Event& e = reply.events[i];
        if (const auto* m = std::get_if<Message>(&e)) {
            putMessage(out, *m, ctx);
        } else if (const auto* rs = std::get_if<ResultSet>(&e)) {
            if (!rs->columns.isEmpty())
                putColumnsAndRows(out, *rs, ctx);
        } else if (const auto* d = std::get_if<Done>(&e)) {
            quint16 status = d->status & ~quint16(DoneMore);
            if (!endsWithDone || i != lastDone)
                status |= DoneMore;
            if (kind == RequestKind::Rpc && d->kind == Done::Kind::DoneInProc)
                status |= DoneMore;
            putDone(out, doneToken(d->kind), status, d->curCmd, d->rowCount, ctx.tdsVersion);
        } else if (const auto* rsv = std::get_if<ReturnStatus>(&e)) {
            putReturnStatus(out, rsv->value);
        } else if (const auto* db = std::get_if<DatabaseChange>(&e)) {
            putEnvChange(out, EnvDatabase, db->newName, db->oldName);
        } else if (const auto* rv = std::get_if<ReturnValue>(&e)) {
            putReturnValue(out, *rv, ctx);
        }
    }
    if (!endsWithDone) {
        putDone(out, kind == RequestKind::Rpc ? DoneProcToken : DoneToken, sawError ? DoneError : DoneFinal, 0, 0,
            ctx.tdsVersion);
    }
    return out;
}

QByteArray encodeLoginReply(const LoginReplyParams& p)
{
    TokenContext before;
    before.tdsVersion = p.requestedVersion;
    before.serverName = p.serverName;
    before.collation = p.collation;

    Message changedDatabase;
    changedDatabase.number = 5701;
    changedDatabase.state = 2;
    changedDatabase.severity = 0;
    changedDatabase.text = QStringLiteral("Changed database context to '%1'.").arg(p.database);
    Message changedLanguage;
    changedLanguage.number = 5703;
    changedLanguage.state = 1;
    changedLanguage.severity = 0;
    changedLanguage.text = QStringLiteral("Changed language setting to us_english.");

    QByteArray out;
    putEnvChange(out, EnvDatabase, p.database, QStringLiteral("master"));
    putMessage(out, changedDatabase, before);
    putEnvChangeBytes(out, EnvSqlCollation, p.collation, QByteArray());
    putEnvChange(out, EnvLanguage, QStringLiteral("us_english"), QString());
    putMessage(out, changedLanguage, before);
    putLoginAck(out, p.answeredVersion, loginAckProgramName(), quint8(p.serverMajor), quint8(p.serverMinor),
        quint16(p.serverBuild));
    const QString size = QString::number(p.packetSize);
    putEnvChange(out, EnvPacketSize, size, size);
    putDone(out, DoneToken, DoneFinal, 0, 0, p.answeredVersion);
    return out;
}

QByteArray encodeLoginFailure(const QVector<Message>& errors, const TokenContext& ctx)
{
    QByteArray out;
    for (const Message& m : errors)
        putMessage(out, m, ctx);
    putDone(out, DoneToken, DoneError, 0, 0, ctx.tdsVersion);
    return out;
}

QByteArray encodeAttentionAck(const TokenContext& ctx)
{
    QByteArray out;
    putDone(out, DoneToken, DoneAttention, 0, 0, ctx.tdsVersion);
    return out;
}

} // namespace standin::tds
