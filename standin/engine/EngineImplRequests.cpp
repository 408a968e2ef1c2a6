// Requests: batches, RPC calls, procedures, and the request log.

#include "Collation.h"
#include "EngineImpl.h"
#include "MessageTable.h"
#include "SqlLexer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace standin {

namespace {

    constexpr quint16 CurCmdSelect = 0xC1;
    constexpr quint16 CurCmdExec = 0xE0;

    // Procedures that RPC requests call by number.
    QString wellKnownProcedure(int id)
    {
        static const char* names[] = { nullptr, "sp_cursor", "sp_cursoropen", "sp_cursorprepare", "sp_cursorexecute",
            "sp_cursorprepexec", "sp_cursorunprepare", "sp_cursorfetch", "sp_cursoroption", "sp_cursorclose",
            "sp_executesql", "sp_prepare", "sp_execute", "sp_prepexec", "sp_prepexecrpc", "sp_unprepare" };
        if (id >= 1 && id <= 15)
            return QString::fromLatin1(names[id]);
        return QStringLiteral("%1").arg(id);
    }

    // A value as a T-SQL literal, for running a parameterised statement.
    QString asLiteral(const Cell& c)
    {
        if (const auto* s = std::get_if<QString>(&c)) {
            QString v = *s;
            v.replace(QLatin1Char('\''), QStringLiteral("''"));
            return QStringLiteral("N'%1'").arg(v);
        }
        if (const auto* i = std::get_if<qint64>(&c))
            return QString::number(*i);
        if (const auto* b = std::get_if<QByteArray>(&c))
            return QStringLiteral("0x") + QString::fromLatin1(b->toHex());
        return QStringLiteral("NULL");
    }

    Cell literalCell(const Literal& l)
    {
        switch (l.kind) {
        case Literal::Kind::Integer:
            return Cell(l.integer);
        case Literal::Kind::String:
            // A plain '...' is varchar in the server's code page before it reaches a procedure.
            return Cell(l.unicode ? l.text : toServerCodePage(l.text));
        default:
            return Cell();
        }
    }

    // Turns the DONE tokens of an inner run into DONEINPROC.
    void toInProc(QVector<Event>& events, qsizetype from)
    {
        for (qsizetype i = from; i < events.size(); ++i) {
            if (auto* d = std::get_if<Done>(&events[i]); d && d->kind == Done::Kind::Done)
                d->kind = Done::Kind::DoneInProc;
        }
    }

} // namespace

void EngineImpl::logRequest(
    int sessionId, const Session& s, const QString& kind, const QString& sql, const QString& proc)
{
    if (!m_requestLog)
        return;
    QJsonObject o;
    o[QStringLiteral("session")] = sessionId;
    o[QStringLiteral("kind")] = kind;
    o[QStringLiteral("database")] = s.database;
    o[QStringLiteral("sql")] = sql;
    if (kind == QLatin1String("rpc"))
        o[QStringLiteral("proc")] = proc;
    m_requestLog->write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    m_requestLog->flush();
}

Reply EngineImpl::executeBatch(int sessionId, const QString& sql, const RequestControl& control)
{
    Session& s = m_sessions[sessionId];
    m_catalogueIdentities.clear(); // files may have come, gone or moved since the last request
    logRequest(sessionId, s, QStringLiteral("batch"), sql, QString());
    Output out;
    out.control = &control;
    runBatchText(s, sessionId, sql, Done::Kind::Done, out);
    if (out.attention) {
        // The cancelled statement ends the cut-short reply; DONE_ATTN follows as a message of its own.
        Done d;
        d.status = Done::Error;
        out.events.append(d);
    } else if (out.events.isEmpty() || !std::holds_alternative<Done>(out.events.last())) {
        out.events.append(Done {});
    }
    Reply r;
    r.events = out.events;
    r.closeConnection = out.closeConnection;
    r.attention = out.attention;
    return r;
}

void EngineImpl::endStatement(
    Output& out, Done::Kind kind, int errorsBefore, quint16 curCmd, std::optional<quint64> rows, bool noCount)
{
    Done d;
    d.kind = kind;
    d.curCmd = curCmd;
    if (out.errors > errorsBefore)
        d.status |= Done::Error;
    if (rows) {
        d.rowCount = *rows;
        if (!noCount)
            d.status |= Done::Count;
    }
    out.events.append(d);
}

namespace {

    // Every variable DECLAREd anywhere in the batch exists from its start, whether or not its
    // DECLARE runs (a variable's scope is the batch, not the block).
    void collectDeclarations(const StatementList& list, QVector<const DeclareStatement*>& out)
    {
        for (const Statement& st : list) {
            if (const auto* d = std::get_if<DeclareStatement>(&st.body)) {
                out.append(d);
            } else if (const auto* b = std::get_if<BlockStatement>(&st.body)) {
                collectDeclarations(b->body, out);
            } else if (const auto* i = std::get_if<IfStatement>(&st.body)) {
                collectDeclarations(i->thenBranch, out);
                collectDeclarations(i->elseBranch, out);
            } else if (const auto* t = std::get_if<TryCatchStatement>(&st.body)) {
                collectDeclarations(t->tryBody, out);
                collectDeclarations(t->catchBody, out);
            }
        }
    }

} // namespace

void EngineImpl::runBatchText(Session& s, int sessionId, const QString& sql, Done::Kind doneKind, Output& out)
{
    const ParseResult parsed = parseBatch(sql, m_version);
    if (!parsed.errors.isEmpty()) {
        const int before = out.errors;
        for (const Message& m : parsed.errors)
            out.message(m);
        endStatement(out, doneKind, before);
        return;
    }
    QVector<const DeclareStatement*> declarations;
    collectDeclarations(parsed.statements, declarations);
    QHash<QString, Variable> variables;
    for (const DeclareStatement* d : declarations) {
        for (const DeclareStatement::Variable& v : d->variables)
            variables.insert(v.name.toLower(), declaredVariable(v.type));
    }
    out.scopes.append(variables);
    runStatements(s, sessionId, parsed.statements, doneKind, out);
    out.scopes.removeLast();
    out.scopeAborted = false; // a compile error ends this level; the caller's statement fails with it
}

void EngineImpl::runStatements(Session& s, int sessionId, const StatementList& list, Done::Kind doneKind, Output& out)
{
    for (const Statement& st : list) {
        runStatement(s, sessionId, st, doneKind, out);
        if (out.stopped())
            return;
    }
}

void EngineImpl::settle(Session& s, Output& out, qsizetype firstEvent, int errorsBefore)
{
    Q_UNUSED(s);
    // Compile errors at this level, fatal errors and attentions are never caught.
    if (out.tryDepth == 0 || out.raised || out.scopeAborted || out.closeConnection || out.attention)
        return;
    qsizetype first = -1;
    for (qsizetype i = firstEvent; i < out.events.size() && first < 0; ++i) {
        if (const auto* m = std::get_if<Message>(&out.events[i]); m && m->isError())
            first = i;
    }
    if (first < 0)
        return;
    // The failure, from its first error on, goes to the CATCH; what came before it stays, and
    // the statement's DONE no longer reports an error.
    QVector<Message> failure;
    QVector<Event> kept;
    for (qsizetype i = firstEvent; i < out.events.size(); ++i) {
        Event e = out.events[i];
        if (const auto* m = std::get_if<Message>(&e); m && i >= first) {
            failure.append(*m);
            continue;
        }
        if (auto* d = std::get_if<Done>(&e))
            d->status &= ~Done::Error;
        kept.append(e);
    }
    out.events.resize(firstEvent);
    out.events += kept;
    out.errors = errorsBefore;
    out.abortBatch = false;
    out.raised = failure;
}

void EngineImpl::runStatement(Session& s, int sessionId, const Statement& st, Done::Kind doneKind, Output& out)
{
    if (const auto* block = std::get_if<BlockStatement>(&st.body))
        return runStatements(s, sessionId, block->body, doneKind, out);
    if (const auto* branch = std::get_if<IfStatement>(&st.body))
        return runIf(s, sessionId, *branch, doneKind, out);
    if (const auto* tryCatch = std::get_if<TryCatchStatement>(&st.body))
        return runTryCatch(s, sessionId, *tryCatch, doneKind, out);

    const int before = out.errors;
    const qsizetype firstEvent = out.events.size();
    std::visit(
        [&](const auto& body) {
            using T = std::decay_t<decltype(body)>;
            if constexpr (std::is_same_v<T, SelectStatement>) {
                runSelect(s, sessionId, body, doneKind, out);
                return; // ends itself (row count)
            } else if constexpr (std::is_same_v<T, ExecStatement>) {
                runExec(s, sessionId, body, doneKind, out);
                return;
            } else if constexpr (std::is_same_v<T, BlockStatement> || std::is_same_v<T, IfStatement>
                || std::is_same_v<T, TryCatchStatement>) {
                return; // run above
            } else if constexpr (std::is_same_v<T, DeclareStatement>) {
                runDeclare(s, sessionId, body, out);
                // A DECLARE without values runs nothing: no DONE.
                if (std::none_of(body.variables.begin(), body.variables.end(),
                        [](const DeclareStatement::Variable& v) { return v.init.has_value(); }))
                    return;
            } else if constexpr (std::is_same_v<T, SetVariableStatement>) {
                runSetVariable(s, sessionId, body, out);
            } else if constexpr (std::is_same_v<T, RaiseErrorStatement>) {
                runRaiseError(s, sessionId, body, out);
            } else if constexpr (std::is_same_v<T, ThrowStatement>) {
                runThrow(s, sessionId, body, out);
            } else if constexpr (std::is_same_v<T, CreateDatabaseStatement>) {
                if (body.forAttach)
                    runAttach(body, out);
                else
                    runCreateDatabase(body, out);
            } else if constexpr (std::is_same_v<T, UseStatement>) {
                runUse(s, body, out);
            } else if constexpr (std::is_same_v<T, SetStatement>) {
                if (body.options.contains(QStringLiteral("NOCOUNT")))
                    s.noCount = body.value == QLatin1String("ON");
                if (body.options.contains(QStringLiteral("LANGUAGE")))
                    out.message(msg(5703, { body.value }));
            } else if constexpr (std::is_same_v<T, BackupStatement>) {
                runBackup(s, body, out);
            } else if constexpr (std::is_same_v<T, CheckpointStatement>) {
                // Nothing is written before a checkpoint in the stand-in: nothing to do.
            } else if constexpr (std::is_same_v<T, AlterRecoveryStatement>) {
                runAlterRecovery(body, out);
            } else if constexpr (std::is_same_v<T, ShrinkFileStatement>) {
                runShrinkFile(s, body, out);
            } else if constexpr (std::is_same_v<T, CheckPrimaryFileStatement>) {
                runCheckPrimaryFile(body, out);
            } else if constexpr (std::is_same_v<T, UnknownDbccStatement>) {
                out.message(msg(2526));
            } else if constexpr (std::is_same_v<T, PrintStatement>) {
                runPrint(s, sessionId, body, out);
            }
            if (out.attention)
                return; // cancelled: the reply ends without this statement's DONE
            // A DBCC that answered with rows counts them like a SELECT.
            std::optional<quint64> rows;
            for (qsizetype i = firstEvent; i < out.events.size(); ++i) {
                if (const auto* rs = std::get_if<ResultSet>(&out.events[i]))
                    rows = quint64(rs->rows.size());
            }
            endStatement(out, doneKind, before, 0, rows, s.noCount);
        },
        st.body);
    // Messages of a statement carry its line (those of a procedure keep their own, and so do the
    // errors a THROW raises again).
    const auto* rethrow = std::get_if<ThrowStatement>(&st.body);
    if (!std::holds_alternative<ExecStatement>(st.body) && !(rethrow && rethrow->rethrow)) {
        for (qsizetype i = firstEvent; i < out.events.size(); ++i) {
            if (auto* m = std::get_if<Message>(&out.events[i]); m && m->procName.isEmpty() && m->line == 1)
                m->line = st.line;
        }
    }
    // @@ERROR: the statement's last error; RAISERROR WITH SETERROR sets its number whatever the severity.
    int lastError = 0;
    const auto* raise = std::get_if<RaiseErrorStatement>(&st.body);
    for (qsizetype i = firstEvent; i < out.events.size(); ++i) {
        if (const auto* m = std::get_if<Message>(&out.events[i]); m && (m->isError() || (raise && raise->setError)))
            lastError = m->number;
    }
    s.lastError = lastError;
    settle(s, out, firstEvent, before);
}

void EngineImpl::runExec(Session& s, int sessionId, const ExecStatement& e, Done::Kind doneKind, Output& out)
{
    const int before = out.errors;
    QVector<ProcArg> args;
    for (const ProcArgument& a : e.args) {
        ProcArg p;
        p.name = a.name;
        p.value = literalCell(a.value);
        if (!a.variable.isEmpty() && !out.scopes.isEmpty())
            p.value = out.scopes.last().value(a.variable.toLower()).value;
        p.isDefault = a.value.kind == Literal::Kind::Default;
        p.output = a.output;
        args.append(p);
    }
    const QString name = e.procName.toLower();
    if (name.startsWith(QLatin1String("sp_datatype_info"))) {
        // The type catalogue is not kept; a plain DONE is what the ODBC driver copes with.
        endStatement(out, doneKind, before, CurCmdExec);
        return;
    }
    const std::optional<int> status = runProcedure(s, sessionId, e.procName, e.procText, args, out, nullptr);
    if (status && !e.returnVariable.isEmpty())
        assignVariable(
            out, e.returnVariable, Value { Column { QString(), ColumnType::Int, 4, true }, Cell(qint64(*status)) });
    // After a fatal error the connection goes: no return status, just the statement's end.
    if (status && !out.closeConnection && !out.attention) {
        out.events.append(ReturnStatus { *status });
        Done proc;
        proc.kind = doneKind == Done::Kind::Done ? Done::Kind::DoneProc : Done::Kind::DoneInProc;
        if (out.errors > before)
            proc.status |= Done::Error;
        out.events.append(proc);
    }
    endStatement(out, doneKind, before, CurCmdExec);
}

bool EngineImpl::bindArguments(
    const QString& proc, const QStringList& params, const QVector<ProcArg>& args, QVector<ProcArg>* bound, Output& out)
{
    bound->clear();
    bound->resize(params.size());
    bool named = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const ProcArg& a = args[i];
        if (a.name.isEmpty()) {
            if (named) {
                out.message(msg(119, { QString::number(i + 1) }));
                return false;
            }
            if (i >= params.size()) {
                Message m = msg(8144, { proc });
                m.procName = proc;
                out.message(m);
                return false;
            }
            (*bound)[i] = a;
            continue;
        }
        named = true;
        const auto at = std::find_if(params.begin(), params.end(),
            [&](const QString& p) { return p.compare(a.name, Qt::CaseInsensitive) == 0; });
        if (at == params.end()) {
            Message m = msg(8145, { a.name, proc });
            m.procName = proc;
            out.message(m);
            return false;
        }
        (*bound)[at - params.begin()] = a;
    }
    for (ProcArg& a : *bound) {
        if (a.isDefault)
            a.value = Cell();
    }
    return true;
}

std::optional<int> EngineImpl::runProcedure(Session& s, int sessionId, const QString& name, const QString& shownName,
    const QVector<ProcArg>& args, Output& out, QVector<ReturnValue>* returns)
{
    Q_UNUSED(returns);
    const QString proc = name.toLower();
    if (proc == QLatin1String("sp_attach_db"))
        return runAttachProcedure(s, sessionId, args, out);
    if (proc == QLatin1String("sp_detach_db"))
        return runDetachProcedure(args, out);
    if (proc == QLatin1String("sp_executesql")) {
        QVector<ProcArg> fixed;
        QVector<ProcArg> values;
        for (const ProcArg& a : args) {
            const bool isFixed = a.name.compare(QLatin1String("@statement"), Qt::CaseInsensitive) == 0
                || a.name.compare(QLatin1String("@params"), Qt::CaseInsensitive) == 0
                || (a.name.isEmpty() && fixed.size() < 2 && values.isEmpty());
            (isFixed ? fixed : values).append(a);
        }
        if (fixed.isEmpty() || isNullCell(fixed[0].value)) {
            Message m = msg(201, { QStringLiteral("sp_executesql"), QStringLiteral("@statement") });
            m.procName = QStringLiteral("sp_executesql");
            out.message(m);
            return 1;
        }
        const QString declarations = fixed.size() > 1 ? textOrNumber(fixed[1].value) : QString();
        const QString statement = substituteParameters(textOrNumber(fixed[0].value), declarations, values, out);
        const qsizetype from = out.events.size();
        const int before = out.errors;
        runBatchText(s, sessionId, statement, Done::Kind::DoneInProc, out);
        toInProc(out.events, from);
        return out.errors > before ? 1 : 0;
    }
    Message m = msg(2812, { shownName });
    out.message(m);
    return std::nullopt;
}

QString EngineImpl::substituteParameters(
    const QString& statement, const QString& declarations, const QVector<ProcArg>& values, Output& out)
{
    Q_UNUSED(out);
    if (values.isEmpty())
        return statement;
    // "@P1 varchar(8),@P2 int": the names in order.
    QStringList names;
    for (const Token& t : lexSql(declarations).tokens) {
        if (t.kind == Token::Kind::Variable)
            names.append(t.text);
    }
    QHash<QString, QString> literal;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString key = values[i].name.isEmpty() ? (i < names.size() ? names[i] : QString()) : values[i].name;
        if (!key.isEmpty())
            literal.insert(key.toLower(), asLiteral(values[i].value));
    }
    const QVector<Token> tokens = lexSql(statement).tokens;
    QString result = statement;
    for (qsizetype i = tokens.size() - 1; i >= 0; --i) {
        const Token& t = tokens[i];
        if (t.kind != Token::Kind::Variable)
            continue;
        const auto it = literal.constFind(t.text.toLower());
        if (it != literal.constEnd())
            result.replace(t.position, t.text.size(), *it);
    }
    return result;
}

Reply EngineImpl::executeRpc(int sessionId, const QVector<RpcCall>& calls, const RequestControl& control)
{
    Session& s = m_sessions[sessionId];
    m_catalogueIdentities.clear(); // files may have come, gone or moved since the last request
    QString sql;
    QString proc;
    if (!calls.isEmpty()) {
        const RpcCall& c = calls.first();
        proc = c.procName.isEmpty() ? wellKnownProcedure(c.procId) : c.procName;
        const QString lower = proc.toLower();
        // The statement text an RPC carries: @statement of sp_executesql, the third argument of
        // sp_prepexec / sp_prepare, the second of sp_cursoropen.
        int at = -1;
        if (lower == QLatin1String("sp_executesql"))
            at = 0;
        else if (lower == QLatin1String("sp_prepexec") || lower == QLatin1String("sp_prepare"))
            at = 2;
        else if (lower == QLatin1String("sp_cursoropen"))
            at = 1;
        if (at >= 0 && at < c.params.size())
            sql = textOrNumber(c.params[at].value);
    }
    logRequest(sessionId, s, QStringLiteral("rpc"), sql, proc);
    Output out;
    out.control = &control;
    for (const RpcCall& call : calls) {
        runRpcCall(s, sessionId, call, out);
        if (out.closeConnection || out.attention)
            break;
    }
    if (out.attention) {
        Done d;
        d.kind = Done::Kind::DoneProc;
        d.status = Done::Error;
        out.events.append(d);
    }
    Reply r;
    r.events = out.events;
    r.closeConnection = out.closeConnection;
    r.attention = out.attention;
    return r;
}

void EngineImpl::runRpcCall(Session& s, int sessionId, const RpcCall& call, Output& out)
{
    const int before = out.errors;
    const QString shown = call.procName.isEmpty() ? wellKnownProcedure(call.procId) : call.procName;
    QString name = shown;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.mid(dot + 1);
    name = name.toLower();
    QVector<ProcArg> args;
    for (const RpcParam& p : call.params)
        args.append(ProcArg { p.name, p.value, false, p.output });

    auto finish = [&](std::optional<int> status, const QVector<ReturnValue>& returns) {
        if (status)
            out.events.append(ReturnStatus { *status });
        for (const ReturnValue& v : returns)
            out.events.append(v);
        Done d;
        d.kind = Done::Kind::DoneProc;
        if (out.errors > before)
            d.status |= Done::Error;
        out.events.append(d);
    };
    auto handleValue = [&](int handle, const ProcArg& param) {
        ReturnValue v;
        v.ordinal = 0;
        v.name = param.name;
        v.type = Column { QString(), ColumnType::Int, 4, true };
        v.value = Cell(qint64(handle));
        return v;
    };
    auto runPrepared = [&](const QString& statement, const QString& declarations, const QVector<ProcArg>& values) {
        const QString text = substituteParameters(statement, declarations, values, out);
        const qsizetype from = out.events.size();
        const int errorsBefore = out.errors;
        runBatchText(s, sessionId, text, Done::Kind::DoneInProc, out);
        toInProc(out.events, from);
        return out.errors > errorsBefore ? 1 : 0;
    };

    if (name.startsWith(QLatin1String("sp_datatype_info"))) {
        finish(0, {});
        return;
    }
    if (name == QLatin1String("sp_prepexec") || name == QLatin1String("sp_prepare")) {
        if (args.size() < 3) {
            Message m = msg(201, { name, args.size() < 2 ? QStringLiteral("@params") : QStringLiteral("@stmt") });
            m.procName = name;
            out.message(m);
            finish(1, {});
            return;
        }
        const int handle = s.nextHandle++;
        s.prepared.insert(handle, Session::Prepared { textOrNumber(args[2].value), textOrNumber(args[1].value) });
        int status = 0;
        if (name == QLatin1String("sp_prepexec"))
            status = runPrepared(textOrNumber(args[2].value), textOrNumber(args[1].value), args.mid(3));
        if (out.closeConnection || out.attention)
            return;
        finish(status, { handleValue(handle, args[0]) });
        return;
    }
    if (name == QLatin1String("sp_execute")) {
        const qint64 handle = args.isEmpty()      ? -1
            : std::get_if<qint64>(&args[0].value) ? *std::get_if<qint64>(&args[0].value)
                                                  : -1;
        const auto it = s.prepared.constFind(int(handle));
        if (it == s.prepared.constEnd()) {
            Message m = msg(8179, { QString::number(handle) });
            m.procName = QStringLiteral("sp_execute");
            out.message(m);
            finish(1, {});
            return;
        }
        const Session::Prepared p = *it;
        const int status = runPrepared(p.statement, p.declarations, args.mid(1));
        if (out.closeConnection || out.attention)
            return;
        finish(status, {});
        return;
    }
    if (name == QLatin1String("sp_unprepare")) {
        if (!args.isEmpty()) {
            if (const auto* h = std::get_if<qint64>(&args[0].value))
                s.prepared.remove(int(*h));
        }
        finish(0, {});
        return;
    }
    const std::optional<int> status = runProcedure(s, sessionId, name, shown, args, out, nullptr);
    if (out.closeConnection || out.attention)
        return;
    if (!status) {
        finish(std::nullopt, {});
        return;
    }
    finish(status, {});
}

} // namespace standin
