// The batch parser: recursive descent over the tokens of SqlLexer. It knows the statements in
// SqlStatement.h and nothing else; anything it cannot read is the syntax error SQL Server gives
// (102 / 170, 156 for a keyword, 105 for a quote left open), and then nothing of the batch runs.

#include "Collation.h"
#include "MessageTable.h"
#include "SqlLexer.h"
#include "SqlStatement.h"

#include <QSet>

namespace standin {

namespace {

    constexpr int MaxIdentifier = 128;

    struct ParseFailure
    {
        qsizetype tokenIndex = 0;
        std::optional<Message> message; // a specific compile error instead of "Incorrect syntax near"
    };

    bool isStatementStart(const Token& t)
    {
        static const char* starts[] = { "SELECT", "EXEC", "EXECUTE", "CREATE", "USE", "SET", "BACKUP", "CHECKPOINT",
            "ALTER", "DBCC", "PRINT", "BEGIN", "IF", "DECLARE", "RAISERROR" };
        for (const char* s : starts) {
            if (t.isWord(s))
                return true;
        }
        return false;
    }

    // Where a statement may end without a ';': the end of the batch, the next statement, the END
    // of a block and the ELSE of an IF.
    bool endsStatement(const Token& t)
    {
        return t.kind == Token::Kind::End || t.isOperator(";") || isStatementStart(t) || t.isWord("END")
            || t.isWord("ELSE");
    }

    // Data types a variable may have.
    bool isVariableType(const QString& name)
    {
        static const char* types[] = { "int", "bigint", "smallint", "tinyint", "bit", "nvarchar", "varchar", "nchar",
            "char", "sysname", "sql_variant", "datetime" };
        for (const char* t : types) {
            if (name == QLatin1String(t))
                return true;
        }
        return false;
    }

    class Parser
    {
    public:
        Parser(const QVector<Token>& tokens, int version)
            : m_t(tokens)
            , m_version(version)
        {
        }

        StatementList parseAll() { return parseList(ListEnd::Batch); }

        // Compile errors that do not stop the parser (139): reported before a later one that does.
        const QVector<Message>& softErrors() const { return m_softErrors; }

    private:
        // Nesting deeper than SQL Server allows is refused before the stack runs out.
        struct DepthGuard
        {
            explicit DepthGuard(Parser* p)
                : parser(p)
            {
                if (parser->m_depth >= MaxNesting)
                    parser->failWith(serverMessage(191, parser->m_version));
                ++parser->m_depth;
            }
            ~DepthGuard() { --parser->m_depth; }
            Parser* parser;
        };
        static constexpr int MaxNesting = 128;

        const Token& peek(qsizetype ahead = 0) const
        {
            const qsizetype i = qMin(m_pos + ahead, m_t.size() - 1);
            return m_t.at(i);
        }
        const Token& take() { return m_t.at(m_pos < m_t.size() - 1 ? m_pos++ : m_pos); }
        [[noreturn]] void fail() const { throw ParseFailure { m_pos, std::nullopt }; }
        [[noreturn]] void failWith(const Message& m) const
        {
            Message msg = m;
            msg.line = peek().line;
            throw ParseFailure { m_pos, msg };
        }
        void expectOperator(const char* op)
        {
            if (!peek().isOperator(op))
                fail();
            ++m_pos;
        }
        void expectWord(const char* word)
        {
            if (!peek().isWord(word))
                fail();
            ++m_pos;
        }
        bool acceptWord(const char* word)
        {
            if (peek().isWord(word)) {
                ++m_pos;
                return true;
            }
            return false;
        }
        bool acceptOperator(const char* op)
        {
            if (peek().isOperator(op)) {
                ++m_pos;
                return true;
            }
            return false;
        }

        // A name where SQL Server wants an identifier: regular (not a reserved keyword) or delimited.
        QString name()
        {
            const Token& t = peek();
            if (t.kind == Token::Kind::Delimited) {
                if (t.unterminated)
                    fail();
                if (t.text.isEmpty())
                    failWith(serverMessage(1038, m_version));
            } else if (t.kind != Token::Kind::Identifier || isReservedKeyword(t.text)) {
                fail();
            }
            if (t.text.size() > MaxIdentifier)
                failWith(serverMessage(103, m_version, { t.text.left(MaxIdentifier), QString::number(MaxIdentifier) }));
            ++m_pos;
            return t.text;
        }

        // database.schema.object with parts left out ("master..sysdatabases").
        QStringList multiPartName(QString* asWritten)
        {
            const qsizetype start = m_pos;
            QStringList parts;
            parts.append(name());
            while (peek().isOperator(".")) {
                ++m_pos;
                if (peek().isOperator(".")) {
                    parts.append(QString());
                    continue;
                }
                parts.append(name());
            }
            if (parts.size() > 4)
                fail();
            if (asWritten) {
                QStringList written;
                for (qsizetype i = start; i < m_pos; ++i)
                    written.append(m_t.at(i).kind == Token::Kind::Delimited ? m_t.at(i).text : m_t.at(i).text);
                *asWritten = written.join(QString());
            }
            return parts;
        }

        // The value of a string literal as the statement sees it: a plain '...' is varchar in the
        // server's code page, N'...' keeps every character.
        QString stringLiteral()
        {
            const Token& t = peek();
            if (t.kind != Token::Kind::String || t.unterminated)
                fail();
            ++m_pos;
            return t.unicode ? t.text : toServerCodePage(t.text);
        }

        qint64 integer()
        {
            bool negative = acceptOperator("-");
            const Token& t = peek();
            bool ok = false;
            const qint64 v = t.text.toLongLong(&ok);
            if (t.kind != Token::Kind::Number || !ok)
                fail();
            ++m_pos;
            return negative ? -v : v;
        }

        enum class ListEnd { Batch, End, EndTry, EndCatch };

        // Statements up to the end the list has: the end of the batch, or the END of a block (the
        // END itself is left for the caller). A THROW needs the statement before it ended with ';'.
        StatementList parseList(ListEnd end)
        {
            const DepthGuard guard(this);
            StatementList out;
            bool terminated = true;
            for (;;) {
                if (acceptOperator(";")) {
                    terminated = true;
                    continue;
                }
                const Token& t = peek();
                if (end == ListEnd::Batch ? t.kind == Token::Kind::End : t.isWord("END"))
                    return out;
                if (t.kind == Token::Kind::End)
                    fail(); // a block left open
                if (isThrow(t) && !terminated)
                    fail();
                out.push_back(statement(end == ListEnd::Batch && out.empty()));
                terminated = false;
                const Token& next = peek();
                if (!endsStatement(next) && !isThrow(next))
                    fail();
            }
        }

        bool isThrow(const Token& t) const { return m_version >= 11 && t.isWord("THROW"); }

        Statement statement(bool firstInBatch)
        {
            Statement s;
            s.line = peek().line;
            s.body = parseStatement(firstInBatch);
            return s;
        }

        StatementBody parseStatement(bool firstInBatch)
        {
            const Token& t = peek();
            if (t.isWord("SELECT"))
                return parseSelect();
            if (t.isWord("EXEC") || t.isWord("EXECUTE")) {
                ++m_pos;
                return parseExecBody();
            }
            if (t.isWord("CREATE"))
                return parseCreate();
            if (t.isWord("USE")) {
                ++m_pos;
                return UseStatement { name() };
            }
            if (t.isWord("SET")) {
                if (peek(1).kind == Token::Kind::Variable && !peek(1).text.startsWith(QLatin1String("@@")))
                    return parseSetVariable();
                return parseSet();
            }
            if (t.isWord("BACKUP"))
                return parseBackup();
            if (t.isWord("CHECKPOINT")) {
                ++m_pos;
                if (peek().kind == Token::Kind::Number)
                    ++m_pos;
                return CheckpointStatement {};
            }
            if (t.isWord("ALTER"))
                return parseAlter();
            if (t.isWord("DBCC"))
                return parseDbcc();
            if (t.isWord("PRINT")) {
                ++m_pos;
                return PrintStatement { expression() };
            }
            if (t.isWord("BEGIN"))
                return parseBegin();
            if (t.isWord("IF"))
                return parseIf();
            if (t.isWord("DECLARE"))
                return parseDeclare();
            if (t.isWord("RAISERROR"))
                return parseRaiseError();
            if (isThrow(t))
                return parseThrow();
            // A procedure name opening a batch is run as if EXEC came first.
            if (firstInBatch && t.isName() && !(t.kind == Token::Kind::Identifier && isReservedKeyword(t.text)))
                return parseExecBody();
            fail();
        }

        // ---- control of flow ----

        // BEGIN ... END, or BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH (2005 on). Before 2005
        // TRY is just the first word of a statement in a block, and no statement starts with it.
        StatementBody parseBegin()
        {
            expectWord("BEGIN");
            if (peek().isWord("TRAN") || peek().isWord("TRANSACTION") || peek().isWord("DISTRIBUTED")) {
                --m_pos; // transactions are not kept: refused at BEGIN
                fail();
            }
            if (m_version >= 9 && acceptWord("TRY")) {
                TryCatchStatement s;
                s.tryBody = parseList(ListEnd::EndTry);
                if (s.tryBody.empty())
                    fail();
                expectWord("END");
                expectWord("TRY");
                expectWord("BEGIN");
                expectWord("CATCH");
                ++m_catchDepth;
                s.catchBody = parseList(ListEnd::EndCatch);
                --m_catchDepth;
                expectWord("END");
                expectWord("CATCH");
                return s;
            }
            BlockStatement b;
            b.body = parseList(ListEnd::End);
            if (b.body.empty())
                fail();
            expectWord("END");
            return b;
        }

        StatementBody parseIf()
        {
            expectWord("IF");
            IfStatement s;
            s.condition = condition();
            s.thenBranch.push_back(branch());
            if (acceptWord("ELSE"))
                s.elseBranch.push_back(branch());
            return s;
        }

        // The one statement of an IF or ELSE branch.
        Statement branch()
        {
            const DepthGuard guard(this);
            const Token& t = peek();
            if (t.kind == Token::Kind::End || t.isOperator(";") || t.isWord("END") || t.isWord("ELSE"))
                fail();
            return statement(false);
        }

        // ---- variables ----

        QString variableName()
        {
            const Token& t = peek();
            if (t.kind != Token::Kind::Variable || t.text.startsWith(QLatin1String("@@")) || t.text.size() < 2)
                fail();
            if (t.text.size() > MaxIdentifier)
                failWith(serverMessage(103, m_version, { t.text.left(MaxIdentifier), QString::number(MaxIdentifier) }));
            ++m_pos;
            return t.text;
        }

        // A variable that must have been declared earlier in the batch (137 otherwise).
        QString declaredVariable()
        {
            const Token& t = peek();
            if (t.kind == Token::Kind::Variable && !t.text.startsWith(QLatin1String("@@"))
                && !m_declared.contains(t.text.toLower()))
                failWith(serverMessage(137, m_version, { t.text }));
            return variableName();
        }

        DataType parseDataType()
        {
            DataType type;
            type.name = name().toLower();
            if (acceptOperator("(")) {
                if (acceptWord("MAX"))
                    type.length = 0;
                else
                    type.length = int(integer());
                if (acceptOperator(","))
                    integer();
                expectOperator(")");
            }
            return type;
        }

        StatementBody parseDeclare()
        {
            expectWord("DECLARE");
            DeclareStatement s;
            do {
                DeclareStatement::Variable v;
                v.name = variableName();
                acceptWord("AS");
                v.type = parseDataType();
                if (!isVariableType(v.type.name)) {
                    failWith(serverMessage(2715, m_version, { QString::number(s.variables.size() + 1), v.type.name }));
                }
                bool declared = true;
                if (peek().isOperator("=")) {
                    // A value in DECLARE came with 2008; before, the variable is not declared at all.
                    const Token& at = take();
                    if (m_version < 10) {
                        Message m = serverMessage(139, m_version);
                        m.line = at.line;
                        m_softErrors.append(m);
                        declared = false;
                    }
                    v.init = expression();
                }
                if (m_declared.contains(v.name.toLower()))
                    failWith(serverMessage(134, m_version, { v.name }));
                if (declared)
                    m_declared.insert(v.name.toLower());
                s.variables.append(v);
            } while (acceptOperator(","));
            return s;
        }

        StatementBody parseSetVariable()
        {
            expectWord("SET");
            SetVariableStatement s;
            s.name = declaredVariable();
            static const char* compound[] = { "+=", "-=", "*=", "/=" };
            for (const char* op : compound) {
                if (m_version >= 10 && acceptOperator(op)) {
                    Expr target;
                    target.kind = Expr::Kind::Variable;
                    target.name = s.name;
                    s.value.kind = Expr::Kind::Binary;
                    s.value.name = QString(QLatin1Char(op[0]));
                    s.value.args = { target, expression() };
                    return s;
                }
            }
            expectOperator("=");
            s.value = expression();
            return s;
        }

        // A RAISERROR or THROW argument: a constant or a variable, never an expression.
        Expr constantOrVariable()
        {
            const Token& t = peek();
            if (t.kind == Token::Kind::Variable && !t.text.startsWith(QLatin1String("@@"))) {
                Expr e;
                e.kind = Expr::Kind::Variable;
                e.name = declaredVariable();
                return e;
            }
            if (t.kind == Token::Kind::Number || t.kind == Token::Kind::String || t.isWord("NULL")
                || (t.isOperator("-") && peek(1).kind == Token::Kind::Number))
                return primary();
            fail();
        }

        StatementBody parseRaiseError()
        {
            expectWord("RAISERROR");
            RaiseErrorStatement s;
            expectOperator("(");
            s.message = constantOrVariable();
            expectOperator(",");
            s.severity = constantOrVariable();
            expectOperator(",");
            s.state = constantOrVariable();
            constexpr int MaxArguments = 20;
            while (acceptOperator(",")) {
                if (s.args.size() == MaxArguments)
                    failWith(serverMessage(2747, m_version, { QString::number(MaxArguments) }));
                s.args.append(constantOrVariable());
            }
            expectOperator(")");
            if (acceptWord("WITH")) {
                do {
                    if (acceptWord("LOG"))
                        s.log = true;
                    else if (acceptWord("NOWAIT"))
                        s.noWait = true;
                    else if (acceptWord("SETERROR"))
                        s.setError = true;
                    else
                        fail();
                } while (acceptOperator(","));
            }
            return s;
        }

        StatementBody parseThrow()
        {
            ++m_pos; // THROW
            ThrowStatement s;
            if (endsStatement(peek())) {
                if (m_catchDepth == 0)
                    failWith(serverMessage(10704, m_version));
                return s;
            }
            s.rethrow = false;
            s.number = constantOrVariable();
            expectOperator(",");
            s.message = constantOrVariable();
            expectOperator(",");
            s.state = constantOrVariable();
            return s;
        }

        // ---- SELECT ----

        SelectStatement parseSelect()
        {
            expectWord("SELECT");
            SelectStatement s;
            if (!acceptWord("ALL"))
                acceptWord("DISTINCT");
            if (acceptWord("TOP")) {
                const bool paren = acceptOperator("(");
                s.top = integer();
                if (paren)
                    expectOperator(")");
            }
            int assignments = 0;
            do {
                if (peek().isOperator("*")) {
                    ++m_pos;
                    Expr star;
                    star.kind = Expr::Kind::Star;
                    s.items.append(star);
                    continue;
                }
                if (peek().kind == Token::Kind::Variable && !peek().text.startsWith(QLatin1String("@@"))
                    && peek(1).isOperator("=")) {
                    const QString target = declaredVariable();
                    ++m_pos;
                    Expr e = expression();
                    e.assignTo = target;
                    s.items.append(e);
                    ++assignments;
                    continue;
                }
                Expr e = expression();
                if (acceptWord("AS")) {
                    e.alias = aliasName();
                    e.hasAlias = true;
                } else if (peek().kind == Token::Kind::Delimited
                    || (peek().kind == Token::Kind::Identifier && !isReservedKeyword(peek().text))) {
                    e.alias = aliasName();
                    e.hasAlias = true;
                } else if (peek().kind == Token::Kind::String && !peek().unterminated) {
                    e.alias = take().text;
                    e.hasAlias = true;
                }
                s.items.append(e);
            } while (acceptOperator(","));
            if (assignments > 0 && assignments < s.items.size())
                failWith(serverMessage(141, m_version));
            if (acceptWord("FROM")) {
                s.hasFrom = true;
                s.fromParts = multiPartName(&s.fromText);
                if (acceptWord("AS"))
                    name();
                else if (peek().kind == Token::Kind::Delimited
                    || (peek().kind == Token::Kind::Identifier && !isReservedKeyword(peek().text)))
                    name();
            }
            if (acceptWord("WHERE"))
                s.where = condition();
            if (acceptWord("ORDER")) {
                expectWord("BY");
                do {
                    OrderItem item;
                    item.expr = expression();
                    if (acceptWord("DESC"))
                        item.descending = true;
                    else
                        acceptWord("ASC");
                    s.orderBy.append(item);
                } while (acceptOperator(","));
            }
            return s;
        }

        QString aliasName()
        {
            if (peek().kind == Token::Kind::String && !peek().unterminated)
                return take().text;
            return name();
        }

        // + and - over * / and %, left to right.
        Expr expression()
        {
            const DepthGuard guard(this);
            Expr e = term();
            while (peek().isOperator("+") || peek().isOperator("-")) {
                Expr b;
                b.kind = Expr::Kind::Binary;
                b.name = take().text;
                b.args = { e, term() };
                e = b;
            }
            return e;
        }

        Expr term()
        {
            Expr e = unary();
            while (peek().isOperator("*") || peek().isOperator("/") || peek().isOperator("%")) {
                Expr b;
                b.kind = Expr::Kind::Binary;
                b.name = take().text;
                b.args = { e, unary() };
                e = b;
            }
            return e;
        }

        Expr unary()
        {
            if (peek().isOperator("-") && peek(1).kind != Token::Kind::Number) {
                const DepthGuard guard(this);
                ++m_pos;
                Expr n;
                n.kind = Expr::Kind::Negate;
                n.args = { unary() };
                return n;
            }
            if (acceptOperator("+"))
                return unary();
            return primary();
        }

        Expr primary()
        {
            Expr e;
            const Token& t = peek();
            if (t.kind == Token::Kind::Number || t.isOperator("-")) {
                e.kind = Expr::Kind::Constant;
                e.literal.kind = Literal::Kind::Integer;
                const bool negative = t.isOperator("-");
                e.literal.integer = integer();
                e.literal.text
                    = (negative ? QStringLiteral("-") : QString()) + QString::number(qAbs(e.literal.integer));
                return e;
            }
            if (t.kind == Token::Kind::String) {
                if (t.unterminated)
                    fail();
                e.kind = Expr::Kind::Constant;
                e.literal.kind = Literal::Kind::String;
                e.literal.text = t.text;
                e.literal.unicode = t.unicode;
                ++m_pos;
                return e;
            }
            if (t.isWord("NULL")) {
                ++m_pos;
                e.kind = Expr::Kind::Constant;
                e.literal.kind = Literal::Kind::Null;
                return e;
            }
            if (t.kind == Token::Kind::Variable) {
                if (t.text.startsWith(QLatin1String("@@"))) {
                    ++m_pos;
                    e.kind = Expr::Kind::Global;
                    e.name = t.text.toUpper();
                } else {
                    e.kind = Expr::Kind::Variable;
                    e.name = declaredVariable();
                }
                return e;
            }
            if (t.isOperator("(")) {
                ++m_pos;
                Expr inner = expression();
                expectOperator(")");
                return inner;
            }
            if (t.isWord("CAST")) {
                ++m_pos;
                expectOperator("(");
                e.kind = Expr::Kind::Cast;
                e.args.append(expression());
                expectWord("AS");
                dataType(&e);
                expectOperator(")");
                return e;
            }
            if (t.isWord("CONVERT")) {
                ++m_pos;
                expectOperator("(");
                e.kind = Expr::Kind::Cast;
                dataType(&e);
                expectOperator(",");
                e.args.append(expression());
                if (acceptOperator(","))
                    integer();
                expectOperator(")");
                return e;
            }
            if (t.kind == Token::Kind::Identifier && peek(1).isOperator("(") && !isReservedKeyword(t.text)) {
                e.kind = Expr::Kind::Function;
                e.name = t.text.toUpper();
                m_pos += 2;
                if (!peek().isOperator(")")) {
                    do {
                        e.args.append(expression());
                    } while (acceptOperator(","));
                }
                expectOperator(")");
                return e;
            }
            if (t.isName()) {
                e.kind = Expr::Kind::Column;
                QStringList parts = multiPartName(nullptr);
                e.name = parts.last();
                return e;
            }
            fail();
        }

        void dataType(Expr* e)
        {
            e->typeName = name().toLower();
            if (acceptOperator("(")) {
                if (acceptWord("MAX"))
                    e->typeLength = 0;
                else
                    e->typeLength = int(integer());
                if (acceptOperator(","))
                    integer();
                expectOperator(")");
            }
        }

        Condition condition()
        {
            const DepthGuard guard(this);
            // A chain of ORs is one node with a child per term: no depth grows with its length.
            Condition first = andCondition();
            if (!peek().isWord("OR"))
                return first;
            Condition any;
            any.kind = Condition::Kind::Or;
            any.children.append(std::move(first));
            while (acceptWord("OR"))
                any.children.append(andCondition());
            return any;
        }

        Condition andCondition()
        {
            Condition first = notCondition();
            if (!peek().isWord("AND"))
                return first;
            Condition all;
            all.kind = Condition::Kind::And;
            all.children.append(std::move(first));
            while (acceptWord("AND"))
                all.children.append(notCondition());
            return all;
        }

        Condition notCondition()
        {
            const DepthGuard guard(this);
            if (acceptWord("NOT")) {
                Condition c;
                c.kind = Condition::Kind::Not;
                c.children = { notCondition() };
                return c;
            }
            if (peek().isOperator("(")) {
                // "(cond)" or an expression in parentheses opening a comparison: try the condition.
                const qsizetype save = m_pos;
                try {
                    ++m_pos;
                    Condition c = condition();
                    expectOperator(")");
                    return c;
                } catch (const ParseFailure&) {
                    m_pos = save;
                }
            }
            return predicate();
        }

        Condition predicate()
        {
            Condition c;
            c.left = expression();
            if (acceptWord("IS")) {
                c.kind = acceptWord("NOT") ? Condition::Kind::IsNotNull : Condition::Kind::IsNull;
                expectWord("NULL");
                return c;
            }
            if (acceptWord("NOT")) {
                expectWord("LIKE");
                c.kind = Condition::Kind::NotLike;
                c.right = expression();
                return c;
            }
            if (acceptWord("LIKE")) {
                c.kind = Condition::Kind::Like;
                c.right = expression();
                return c;
            }
            static const char* ops[] = { "=", "<>", "!=", "<", "<=", ">", ">=", "!<", "!>" };
            for (const char* op : ops) {
                if (peek().isOperator(op)) {
                    ++m_pos;
                    c.kind = Condition::Kind::Compare;
                    c.op = QString::fromLatin1(op);
                    c.right = expression();
                    return c;
                }
            }
            fail();
        }

        // ---- EXEC ----

        ExecStatement parseExecBody()
        {
            ExecStatement s;
            if (peek().kind == Token::Kind::Variable && peek(1).isOperator("=")) {
                s.returnVariable = declaredVariable();
                ++m_pos;
            }
            const QStringList parts = multiPartName(&s.procText);
            s.procName = parts.last();
            if (endsStatement(peek()))
                return s;
            do {
                ProcArgument a;
                if (peek().kind == Token::Kind::Variable && peek(1).isOperator("=")) {
                    a.name = take().text;
                    ++m_pos;
                }
                const Token& v = peek();
                if (v.kind == Token::Kind::String) {
                    if (v.unterminated)
                        fail();
                    a.value.kind = Literal::Kind::String;
                    a.value.text = v.text;
                    a.value.unicode = v.unicode;
                    ++m_pos;
                } else if (v.kind == Token::Kind::Number || v.isOperator("-")) {
                    a.value.kind = Literal::Kind::Integer;
                    a.value.integer = integer();
                    a.value.text = QString::number(a.value.integer);
                } else if (v.isWord("NULL")) {
                    a.value.kind = Literal::Kind::Null;
                    ++m_pos;
                } else if (v.isWord("DEFAULT")) {
                    a.value.kind = Literal::Kind::Default;
                    ++m_pos;
                } else if (v.kind == Token::Kind::Variable && !v.text.startsWith(QLatin1String("@@"))) {
                    a.variable = declaredVariable();
                } else if (v.isName() && !(v.kind == Token::Kind::Identifier && isReservedKeyword(v.text))) {
                    a.value.kind = Literal::Kind::String;
                    a.value.text = v.text;
                    a.value.unicode = true;
                    a.fromIdentifier = true;
                    ++m_pos;
                } else {
                    fail();
                }
                if (acceptWord("OUTPUT") || acceptWord("OUT"))
                    a.output = true;
                s.args.append(a);
            } while (acceptOperator(","));
            return s;
        }

        // ---- CREATE DATABASE ----

        CreateDatabaseStatement parseCreate()
        {
            expectWord("CREATE");
            expectWord("DATABASE");
            CreateDatabaseStatement s;
            s.name = name();
            if (acceptWord("ON")) {
                acceptWord("PRIMARY");
                QString group;
                do {
                    if (acceptWord("FILEGROUP")) {
                        group = name();
                        acceptWord("DEFAULT");
                    }
                    FileSpec f = fileSpec();
                    f.fileGroup = group;
                    s.files.append(f);
                } while (acceptOperator(","));
            }
            if (acceptWord("LOG")) {
                expectWord("ON");
                do {
                    FileSpec f = fileSpec();
                    f.log = true;
                    s.files.append(f);
                } while (acceptOperator(","));
            }
            if (acceptWord("COLLATE"))
                name();
            if (acceptWord("FOR")) {
                if (acceptWord("ATTACH"))
                    s.forAttach = true;
                else if (m_version >= 9 && acceptWord("ATTACH_REBUILD_LOG"))
                    s.forAttach = s.rebuildLog = true;
                else
                    fail();
            }
            return s;
        }

        qint64 sizeInKb(bool allowPercent, int* percent)
        {
            const Token& t = peek();
            bool ok = false;
            const double v = t.text.toDouble(&ok);
            if (t.kind != Token::Kind::Number || !ok)
                fail();
            ++m_pos;
            if (allowPercent && acceptOperator("%")) {
                *percent = int(v);
                return -1;
            }
            if (acceptWord("KB"))
                return qint64(v);
            if (acceptWord("GB"))
                return qint64(v * 1024 * 1024);
            if (acceptWord("TB"))
                return qint64(v * 1024 * 1024 * 1024);
            acceptWord("MB");
            return qint64(v * 1024);
        }

        FileSpec fileSpec()
        {
            FileSpec f;
            expectOperator("(");
            do {
                if (acceptWord("NAME")) {
                    expectOperator("=");
                    f.logicalName = peek().kind == Token::Kind::String ? stringLiteral() : name();
                    f.hasName = true;
                } else if (acceptWord("FILENAME")) {
                    expectOperator("=");
                    f.fileName = stringLiteral();
                    f.hasFileName = true;
                } else if (acceptWord("SIZE")) {
                    expectOperator("=");
                    f.sizeKb = sizeInKb(false, nullptr);
                } else if (acceptWord("MAXSIZE")) {
                    expectOperator("=");
                    if (acceptWord("UNLIMITED"))
                        f.maxSizeKb = -1;
                    else
                        f.maxSizeKb = sizeInKb(false, nullptr);
                } else if (acceptWord("FILEGROWTH")) {
                    expectOperator("=");
                    f.growthKb = sizeInKb(true, &f.growthPercent);
                } else {
                    fail();
                }
            } while (acceptOperator(","));
            expectOperator(")");
            return f;
        }

        // ---- SET ----

        SetStatement parseSet()
        {
            expectWord("SET");
            SetStatement s;
            if (acceptWord("TRANSACTION")) {
                expectWord("ISOLATION");
                expectWord("LEVEL");
                s.options = { QStringLiteral("TRANSACTION ISOLATION LEVEL") };
                if (acceptWord("READ")) {
                    if (!acceptWord("COMMITTED"))
                        expectWord("UNCOMMITTED");
                } else if (acceptWord("REPEATABLE")) {
                    expectWord("READ");
                } else if (!acceptWord("SNAPSHOT")) {
                    expectWord("SERIALIZABLE");
                }
                return s;
            }
            static const char* onOff[] = { "ANSI_NULLS", "ANSI_NULL_DFLT_ON", "ANSI_NULL_DFLT_OFF", "ANSI_PADDING",
                "ANSI_WARNINGS", "ANSI_DEFAULTS", "ARITHABORT", "ARITHIGNORE", "CONCAT_NULL_YIELDS_NULL",
                "CURSOR_CLOSE_ON_COMMIT", "FMTONLY", "FORCEPLAN", "IMPLICIT_TRANSACTIONS", "NOCOUNT", "NOEXEC",
                "NUMERIC_ROUNDABORT", "PARSEONLY", "QUOTED_IDENTIFIER", "REMOTE_PROC_TRANSACTIONS", "SHOWPLAN_ALL",
                "SHOWPLAN_TEXT", "SHOWPLAN_XML", "XACT_ABORT", "NO_BROWSETABLE", "STATISTICS" };
            static const char* valued[] = { "TEXTSIZE", "DATEFIRST", "DATEFORMAT", "LANGUAGE", "LOCK_TIMEOUT",
                "DEADLOCK_PRIORITY", "ROWCOUNT", "QUERY_GOVERNOR_COST_LIMIT", "CONTEXT_INFO" };
            const Token& first = peek();
            if (!first.isName() && first.kind != Token::Kind::Identifier)
                fail();
            for (const char* v : valued) {
                if (first.isWord(v)) {
                    ++m_pos;
                    s.options = { QString::fromLatin1(v) };
                    const Token& value = peek();
                    if (value.kind == Token::Kind::Number || value.isOperator("-"))
                        s.value = QString::number(integer());
                    else if (value.kind == Token::Kind::String && !value.unterminated)
                        s.value = take().text;
                    else if (value.kind == Token::Kind::Binary)
                        s.value = take().text;
                    else if (value.isName())
                        s.value = take().text;
                    else
                        fail();
                    return s;
                }
            }
            do {
                const Token& o = peek();
                if (o.kind != Token::Kind::Identifier)
                    fail();
                bool known = false;
                for (const char* k : onOff) {
                    if (o.isWord(k))
                        known = true;
                }
                if (!known)
                    failWith(serverMessage(195, m_version, { o.text, QStringLiteral("SET option") }));
                ++m_pos;
                if (o.isWord("STATISTICS")) {
                    if (!acceptWord("IO") && !acceptWord("TIME") && !acceptWord("PROFILE"))
                        expectWord("XML");
                }
                s.options.append(o.text.toUpper());
            } while (acceptOperator(","));
            if (acceptWord("ON"))
                s.value = QStringLiteral("ON");
            else if (acceptWord("OFF"))
                s.value = QStringLiteral("OFF");
            else
                fail();
            return s;
        }

        // ---- BACKUP ----

        BackupStatement parseBackup()
        {
            expectWord("BACKUP");
            BackupStatement s;
            if (acceptWord("DATABASE"))
                s.log = false;
            else if (!acceptWord("LOG"))
                expectWord("TRANSACTION");
            s.database = name();
            bool hasTo = false;
            if (acceptWord("TO")) {
                hasTo = true;
                do {
                    expectWord("DISK");
                    expectOperator("=");
                    s.disks.append(stringLiteral());
                } while (acceptOperator(","));
            }
            bool hasWith = false;
            if (acceptWord("WITH")) {
                hasWith = true;
                static const char* plain[] = { "INIT", "NOINIT", "FORMAT", "NOFORMAT", "SKIP", "NOSKIP", "COPY_ONLY",
                    "COMPRESSION", "NO_COMPRESSION", "CHECKSUM", "NO_CHECKSUM", "NO_TRUNCATE", "NORECOVERY",
                    "CONTINUE_AFTER_ERROR", "STOP_ON_ERROR", "NOUNLOAD", "UNLOAD", "REWIND", "NOREWIND", "DIFFERENTIAL",
                    "RESTART", "STATS" };
                static const char* valued[] = { "NAME", "DESCRIPTION", "MEDIANAME", "MEDIADESCRIPTION", "STATS",
                    "BUFFERCOUNT", "MAXTRANSFERSIZE", "BLOCKSIZE", "RETAINDAYS", "EXPIREDATE", "STANDBY", "PASSWORD",
                    "MEDIAPASSWORD" };
                do {
                    const Token& o = peek();
                    if (o.kind != Token::Kind::Identifier)
                        fail();
                    if (o.isWord("TRUNCATE_ONLY") || o.isWord("NO_LOG")) {
                        if (m_version >= 10 || !s.log)
                            failWith(serverMessage(155, m_version, { o.text, QStringLiteral("BACKUP") }));
                        s.truncateOnly = true;
                        ++m_pos;
                        continue;
                    }
                    bool known = false;
                    for (const char* v : valued) {
                        if (o.isWord(v) && peek(1).isOperator("=")) {
                            m_pos += 2;
                            if (peek().kind == Token::Kind::String || peek().kind == Token::Kind::Number)
                                ++m_pos;
                            else
                                fail();
                            known = true;
                            break;
                        }
                    }
                    if (!known) {
                        for (const char* p : plain) {
                            if (o.isWord(p)) {
                                s.init = s.init || o.isWord("INIT") || o.isWord("FORMAT");
                                s.differential = s.differential || o.isWord("DIFFERENTIAL");
                                ++m_pos;
                                known = true;
                                break;
                            }
                        }
                    }
                    if (!known)
                        failWith(serverMessage(155, m_version, { o.text, QStringLiteral("BACKUP") }));
                } while (acceptOperator(","));
            }
            if (!hasTo && !s.truncateOnly)
                fail(); // a backup needs a destination unless it only truncates the log
            Q_UNUSED(hasWith);
            return s;
        }

        // ---- ALTER DATABASE x SET RECOVERY ... ----

        AlterRecoveryStatement parseAlter()
        {
            expectWord("ALTER");
            expectWord("DATABASE");
            AlterRecoveryStatement s;
            s.database = name();
            expectWord("SET");
            // Database mirroring came with 2005.
            if (m_version >= 9 && acceptWord("PARTNER")) {
                if (acceptWord("OFF")) {
                    s.partnerOff = true;
                    return s;
                }
                expectOperator("=");
                s.partner = stringLiteral();
                return s;
            }
            if (peek().isWord("READ_ONLY") || peek().isWord("READ_WRITE")) {
                s.updateability = take().text.toUpper();
                alterTermination();
                return s;
            }
            expectWord("RECOVERY");
            if (acceptWord("FULL"))
                s.model = QStringLiteral("FULL");
            else if (acceptWord("SIMPLE"))
                s.model = QStringLiteral("SIMPLE");
            else if (acceptWord("BULK_LOGGED"))
                s.model = QStringLiteral("BULK_LOGGED");
            else
                fail();
            alterTermination();
            return s;
        }

        // ALTER DATABASE .. SET ..: [WITH NO_WAIT | ROLLBACK IMMEDIATE | ROLLBACK AFTER n [SECONDS]]
        void alterTermination()
        {
            if (acceptWord("WITH")) {
                if (acceptWord("NO_WAIT"))
                    return;
                if (acceptWord("ROLLBACK")) {
                    if (acceptWord("IMMEDIATE"))
                        return;
                    expectWord("AFTER");
                    integer();
                    acceptWord("SECONDS");
                    return;
                }
                fail();
            }
        }

        // ---- DBCC ----

        bool dbccWith()
        {
            bool noInfo = false;
            if (acceptWord("WITH")) {
                do {
                    if (acceptWord("NO_INFOMSGS"))
                        noInfo = true;
                    else if (!acceptWord("TABLERESULTS"))
                        fail();
                } while (acceptOperator(","));
            }
            return noInfo;
        }

        StatementBody parseDbcc()
        {
            expectWord("DBCC");
            const Token& command = peek();
            if (command.kind != Token::Kind::Identifier)
                fail();
            ++m_pos;
            if (command.isWord("SHRINKFILE")) {
                ShrinkFileStatement s;
                expectOperator("(");
                const Token& f = peek();
                if (f.kind == Token::Kind::Number) {
                    s.byId = true;
                    s.fileId = int(integer());
                } else if (f.kind == Token::Kind::String) {
                    s.fileName = stringLiteral();
                } else if (f.isName()) {
                    s.fileName = name();
                } else {
                    fail();
                }
                if (acceptOperator(",")) {
                    if (acceptWord("EMPTYFILE")) {
                        s.emptyFile = true;
                    } else if (acceptWord("NOTRUNCATE")) {
                        s.noTruncate = true;
                    } else if (acceptWord("TRUNCATEONLY")) {
                        s.truncateOnly = true;
                    } else {
                        s.targetMb = integer();
                        if (acceptOperator(",")) {
                            if (acceptWord("NOTRUNCATE"))
                                s.noTruncate = true;
                            else if (acceptWord("TRUNCATEONLY"))
                                s.truncateOnly = true;
                            else
                                fail();
                        }
                    }
                }
                expectOperator(")");
                s.noInfoMessages = dbccWith();
                return s;
            }
            if (command.isWord("CHECKPRIMARYFILE")) {
                CheckPrimaryFileStatement s;
                expectOperator("(");
                s.path = stringLiteral();
                if (acceptOperator(","))
                    s.option = int(integer());
                expectOperator(")");
                s.noInfoMessages = dbccWith();
                return s;
            }
            UnknownDbccStatement s;
            s.name = command.text;
            // Skip what follows up to the end of the statement as DBCC would not know it anyway.
            if (acceptOperator("(")) {
                int depth = 1;
                while (depth > 0 && peek().kind != Token::Kind::End) {
                    if (peek().isOperator("("))
                        ++depth;
                    else if (peek().isOperator(")"))
                        --depth;
                    ++m_pos;
                }
                if (depth > 0)
                    fail();
            }
            dbccWith();
            return s;
        }

        const QVector<Token>& m_t;
        qsizetype m_pos = 0;
        int m_version;
        int m_depth = 0;
        int m_catchDepth = 0; // CATCH blocks around the current statement
        QSet<QString> m_declared; // variables declared so far in the batch, lower case
        QVector<Message> m_softErrors;
    };

    QString tokenShown(const Token& t)
    {
        return t.text;
    }

    Message nearToken(const Token& t, int version)
    {
        if (t.kind == Token::Kind::Identifier && isReservedKeyword(t.text)) {
            Message m = serverMessage(156, version, { t.text });
            m.line = t.line;
            return m;
        }
        return syntaxErrorNear(version, tokenShown(t), t.line);
    }

} // namespace

ParseResult parseBatch(const QString& sql, int version)
{
    ParseResult result;
    const LexResult lexed = lexSql(sql);
    const QVector<Token>& tokens = lexed.tokens;

    qsizetype unclosed = -1;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (tokens[i].unterminated)
            unclosed = i;
    }
    auto unclosedMessages = [&]() {
        const Token& t = tokens[unclosed];
        Message m105 = serverMessage(105, version, { t.text });
        m105.line = t.line;
        result.errors.append(m105);
        result.errors.append(syntaxErrorNear(version, t.text, t.line));
    };

    Parser parser(tokens, version);
    try {
        result.statements = parser.parseAll();
    } catch (const ParseFailure& failure) {
        result.statements.clear();
        result.errors = parser.softErrors();
        if (unclosed >= 0 && failure.tokenIndex >= unclosed) {
            unclosedMessages();
            return result;
        }
        if (failure.message) {
            result.errors.append(*failure.message);
        } else {
            qsizetype at = failure.tokenIndex;
            if (tokens[at].kind == Token::Kind::End && at > 0)
                --at;
            result.errors.append(nearToken(tokens[at], version));
        }
        if (unclosed >= 0) {
            Message m105 = serverMessage(105, version, { tokens[unclosed].text });
            m105.line = tokens[unclosed].line;
            result.errors.append(m105);
        }
        return result;
    }
    if (unclosed >= 0) {
        result.statements.clear();
        unclosedMessages();
        return result;
    }
    if (lexed.unclosedComment) {
        result.statements.clear();
        Message m = serverMessage(113, version);
        m.line = tokens.last().line;
        result.errors.append(m);
    }
    if (!parser.softErrors().isEmpty()) {
        result.statements.clear();
        result.errors = parser.softErrors() + result.errors;
    }
    return result;
}

} // namespace standin
