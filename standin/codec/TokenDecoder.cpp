#include "TokenDecoder.h"

#include "Wire.h"

namespace standin::tds {

namespace {

    Column columnOf(const TypeInfo& t, const QString& name, quint16 flags)
    {
        Column c;
        c.name = name;
        c.nullable = flags & 0x0001;
        c.maxLength = int(t.maxLength);
        switch (t.type) {
        case TypeNVarChar:
            c.type = ColumnType::NVarChar;
            c.maxLength = t.maxLength == plpMaxLength ? -1 : int(t.maxLength / 2);
            break;
        case TypeNChar:
            c.type = ColumnType::NChar;
            c.maxLength = int(t.maxLength / 2);
            break;
        case TypeInt4:
            c.type = ColumnType::Int;
            break;
        case TypeInt2:
            c.type = ColumnType::SmallInt;
            break;
        case TypeInt1:
            c.type = ColumnType::TinyInt;
            break;
        case TypeIntN:
            c.type = t.maxLength == 1 ? ColumnType::TinyInt
                : t.maxLength == 2    ? ColumnType::SmallInt
                : t.maxLength == 8    ? ColumnType::BigInt
                                      : ColumnType::Int;
            break;
        case TypeInt8:
            c.type = ColumnType::BigInt;
            break;
        case TypeBit:
        case TypeBitN:
            c.type = ColumnType::Bit;
            break;
        case TypeBigBinary:
            c.type = ColumnType::Binary;
            break;
        case TypeDateTime:
        case TypeDateTimeN:
            c.type = ColumnType::DateTime;
            break;
        case TypeBigVarBinary:
            c.type = ColumnType::VarBinary;
            c.maxLength = t.maxLength == plpMaxLength ? -1 : int(t.maxLength);
            break;
        case TypeVariant:
            c.type = ColumnType::Variant;
            break;
        case TypeDateTimeOffsetN:
            c.type = ColumnType::DateTimeOffset;
            break;
        default:
            c.type = ColumnType::NVarChar;
            break;
        }
        return c;
    }

    bool readUserTypeAndFlags(Cursor& c, quint32 version, quint16& flags)
    {
        if (is72OrLater(version)) {
            quint32 userType = 0;
            if (!c.u32(userType))
                return false;
        } else {
            quint16 userType = 0;
            if (!c.u16(userType))
                return false;
        }
        return c.u16(flags);
    }

} // namespace

QString EnvChangeData::newText() const
{
    return fromUtf16Le(newValue.constData(), int(newValue.size()));
}
QString EnvChangeData::oldText() const
{
    return fromUtf16Le(oldValue.constData(), int(oldValue.size()));
}

Decoded<QVector<DecodedToken>> decodeTokens(const QByteArray& payload, quint32 tdsVersion)
{
    using D = Decoded<QVector<DecodedToken>>;
    QVector<DecodedToken> tokens;
    Cursor c(payload);
    quint32 version = tdsVersion;
    const ColMetadataData* metadata = nullptr;
    int metadataIndex = -1;
    QString error;
    while (!c.atEnd()) {
        const int at = c.pos();
        auto fail
            = [&](const QString& why) { return D::failure(QStringLiteral("token at offset %1: %2").arg(at).arg(why)); };
        DecodedToken token;
        c.u8(token.type);
        switch (token.type) {
        case EnvChangeToken: {
            quint16 length = 0;
            if (!c.u16(length) || length > c.remaining())
                return fail(QStringLiteral("ENVCHANGE is cut short"));
            Cursor body(payload, c.pos(), c.pos() + length);
            c.skip(length);
            EnvChangeData env;
            if (!body.u8(env.type))
                return fail(QStringLiteral("ENVCHANGE has no type"));
            const bool text = env.type != EnvSqlCollation && env.type != 8 && env.type != 9 && env.type != 10;
            quint8 n = 0;
            for (QByteArray* v : { &env.newValue, &env.oldValue }) {
                if (!body.u8(n) || !body.bytes(text ? 2 * n : n, *v))
                    return fail(QStringLiteral("ENVCHANGE value is cut short"));
            }
            if (!body.atEnd())
                return fail(QStringLiteral("ENVCHANGE length does not match its values"));
            token.value = env;
            break;
        }
        case InfoToken:
        case ErrorToken: {
            quint16 length = 0;
            if (!c.u16(length) || length > c.remaining())
                return fail(QStringLiteral("INFO/ERROR is cut short"));
            Cursor body(payload, c.pos(), c.pos() + length);
            c.skip(length);
            Message m;
            quint32 number = 0;
            QString server;
            if (!body.u32(number) || !body.u8(m.state) || !body.u8(m.severity) || !body.usVarChar(m.text)
                || !body.bVarChar(server) || !body.bVarChar(m.procName))
                return fail(QStringLiteral("INFO/ERROR fields are cut short"));
            m.number = qint32(number);
            if (is72OrLater(version)) {
                if (!body.i32(m.line))
                    return fail(QStringLiteral("INFO/ERROR line number is cut short"));
            } else {
                quint16 line = 0;
                if (!body.u16(line))
                    return fail(QStringLiteral("INFO/ERROR line number is cut short"));
                m.line = line;
            }
            if (!body.atEnd())
                return fail(QStringLiteral("INFO/ERROR length does not match its fields"));
            token.value = m;
            break;
        }
        case LoginAckToken: {
            quint16 length = 0;
            if (!c.u16(length) || length > c.remaining())
                return fail(QStringLiteral("LOGINACK is cut short"));
            Cursor body(payload, c.pos(), c.pos() + length);
            c.skip(length);
            LoginAckData ack;
            if (!body.u8(ack.interface) || !body.u32BE(ack.tdsVersion) || !body.bVarChar(ack.programName)
                || !body.u8(ack.major) || !body.u8(ack.minor) || !body.u16BE(ack.build) || !body.atEnd())
                return fail(QStringLiteral("LOGINACK length does not match its fields"));
            version = ack.tdsVersion;
            token.value = ack;
            break;
        }
        case ColMetadataToken: {
            quint16 count = 0;
            if (!c.u16(count))
                return fail(QStringLiteral("COLMETADATA is cut short"));
            ColMetadataData md;
            if (count != 0xFFFF) {
                for (int i = 0; i < count; ++i) {
                    quint16 flags = 0;
                    TypeInfo t;
                    QString name;
                    if (!readUserTypeAndFlags(c, version, flags))
                        return fail(QStringLiteral("COLMETADATA column %1 is cut short").arg(i));
                    if (!readTypeInfo(c, version, true, t, error))
                        return fail(QStringLiteral("COLMETADATA column %1: %2").arg(i).arg(error));
                    if (!c.bVarChar(name))
                        return fail(QStringLiteral("COLMETADATA column %1 name is cut short").arg(i));
                    md.columns.append(columnOf(t, name, flags));
                    md.types.append(t);
                }
            }
            token.value = md;
            metadataIndex = int(tokens.size());
            break;
        }
        case RowToken: {
            if (metadataIndex < 0)
                return fail(QStringLiteral("ROW before any COLMETADATA"));
            metadata = &std::get<ColMetadataData>(tokens[metadataIndex].value);
            RowData row;
            for (int i = 0; i < metadata->types.size(); ++i) {
                Cell v;
                if (!readValue(c, metadata->types[i], v, error))
                    return fail(QStringLiteral("ROW column %1: %2").arg(i).arg(error));
                row.cells.append(v);
            }
            token.value = row;
            break;
        }
        case DoneToken:
        case DoneProcToken:
        case DoneInProcToken: {
            DoneData d;
            d.token = token.type;
            bool ok = c.u16(d.status) && c.u16(d.curCmd);
            if (is72OrLater(version)) {
                ok = ok && c.u64(d.rowCount);
            } else {
                quint32 n = 0;
                ok = ok && c.u32(n);
                d.rowCount = n;
            }
            if (!ok)
                return fail(QStringLiteral("DONE is cut short"));
            token.value = d;
            break;
        }
        case ReturnStatusToken: {
            ReturnStatus rs;
            if (!c.i32(rs.value))
                return fail(QStringLiteral("RETURNSTATUS is cut short"));
            token.value = rs;
            break;
        }
        case ReturnValueToken: {
            ReturnValue rv;
            quint8 status = 0;
            quint16 flags = 0;
            TypeInfo t;
            if (!c.u16(rv.ordinal) || !c.bVarChar(rv.name) || !c.u8(status) || !readUserTypeAndFlags(c, version, flags))
                return fail(QStringLiteral("RETURNVALUE is cut short"));
            if (!readTypeInfo(c, version, false, t, error) || !readValue(c, t, rv.value, error))
                return fail(QStringLiteral("RETURNVALUE: %1").arg(error));
            rv.type = columnOf(t, rv.name, flags);
            token.value = rv;
            break;
        }
        default:
            return fail(QStringLiteral("unknown token 0x%1").arg(token.type, 2, 16, QLatin1Char('0')));
        }
        tokens.append(token);
    }
    return D::success(tokens);
}

Reply replyFromTokens(const QVector<DecodedToken>& tokens)
{
    Reply reply;
    int resultIndex = -1;
    for (const DecodedToken& t : tokens) {
        if (const auto* md = std::get_if<ColMetadataData>(&t.value)) {
            ResultSet rs;
            rs.columns = md->columns;
            reply.events.append(rs);
            resultIndex = int(reply.events.size()) - 1;
            continue;
        }
        if (const auto* row = std::get_if<RowData>(&t.value)) {
            if (resultIndex >= 0)
                std::get<ResultSet>(reply.events[resultIndex]).rows.append(row->cells);
            continue;
        }
        resultIndex = -1;
        if (const auto* m = std::get_if<Message>(&t.value)) {
            reply.events.append(*m);
        } else if (const auto* d = std::get_if<DoneData>(&t.value)) {
            Done done;
            done.kind = d->token == DoneProcToken ? Done::Kind::DoneProc
                : d->token == DoneInProcToken     ? Done::Kind::DoneInProc
                                                  : Done::Kind::Done;
            done.status = d->status & ~quint16(DoneMore);
            done.curCmd = d->curCmd;
            done.rowCount = d->rowCount;
            reply.events.append(done);
        } else if (const auto* rs = std::get_if<ReturnStatus>(&t.value)) {
            reply.events.append(*rs);
        } else if (const auto* rv = std::get_if<ReturnValue>(&t.value)) {
            reply.events.append(*rv);
        } else if (const auto* env = std::get_if<EnvChangeData>(&t.value)) {
            if (env->type == EnvDatabase)
                reply.events.append(DatabaseChange { env->newText(), env->oldText() });
        }
    }
    return reply;
}

} // namespace standin::tds
