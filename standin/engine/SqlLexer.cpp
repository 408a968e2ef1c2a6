#include "SqlLexer.h"

#include <QSet>

namespace standin {

bool Token::isWord(const char* word) const
{
    return kind == Kind::Identifier && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

namespace {

    bool identStart(QChar c)
    {
        return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('#');
    }

    bool identPart(QChar c)
    {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('#') || c == QLatin1Char('@')
            || c == QLatin1Char('$') || c.category() == QChar::Mark_NonSpacing;
    }

} // namespace

LexResult lexSql(const QString& sql)
{
    LexResult out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    int line = 1;
    auto at = [&](qsizetype k) { return k < n ? sql.at(k) : QChar(); };
    auto countLines = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to && k < n; ++k) {
            if (sql.at(k) == QLatin1Char('\n'))
                ++line;
        }
    };

    while (i < n) {
        const QChar c = sql.at(i);
        if (c.isSpace() || c == QChar(0)) {
            if (c == QLatin1Char('\n'))
                ++line;
            ++i;
            continue;
        }
        if (c == QLatin1Char('-') && at(i + 1) == QLatin1Char('-')) {
            while (i < n && sql.at(i) != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
            int depth = 0;
            const qsizetype start = i;
            while (i < n) {
                if (sql.at(i) == QLatin1Char('/') && at(i + 1) == QLatin1Char('*')) {
                    ++depth;
                    i += 2;
                } else if (sql.at(i) == QLatin1Char('*') && at(i + 1) == QLatin1Char('/')) {
                    --depth;
                    i += 2;
                    if (depth == 0)
                        break;
                } else {
                    ++i;
                }
            }
            countLines(start, i);
            if (depth > 0)
                out.unclosedComment = true;
            continue;
        }

        Token t;
        t.position = i;
        t.line = line;
        const bool nString = (c == QLatin1Char('N') || c == QLatin1Char('n')) && at(i + 1) == QLatin1Char('\'');
        if (c == QLatin1Char('\'') || nString || c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']')
                                                      : (c == QLatin1Char('"') ? QLatin1Char('"') : QLatin1Char('\''));
            t.kind = (c == QLatin1Char('[') || c == QLatin1Char('"')) ? Token::Kind::Delimited : Token::Kind::String;
            t.unicode = nString;
            qsizetype k = i + (nString ? 2 : 1);
            const qsizetype start = k;
            bool closed = false;
            while (k < n) {
                if (sql.at(k) == close) {
                    if (at(k + 1) == close) {
                        t.text += close;
                        k += 2;
                        continue;
                    }
                    closed = true;
                    ++k;
                    break;
                }
                t.text += sql.at(k);
                ++k;
            }
            t.unterminated = !closed;
            countLines(start, k);
            i = k;
            out.tokens.append(t);
            continue;
        }
        if (c == QLatin1Char('0') && (at(i + 1) == QLatin1Char('x') || at(i + 1) == QLatin1Char('X'))) {
            qsizetype k = i + 2;
            while (k < n && (sql.at(k).isDigit() || QStringLiteral("abcdefABCDEF").contains(sql.at(k))))
                ++k;
            t.kind = Token::Kind::Binary;
            t.text = sql.mid(i, k - i);
            i = k;
            out.tokens.append(t);
            continue;
        }
        if (c.isDigit() || (c == QLatin1Char('.') && at(i + 1).isDigit())) {
            qsizetype k = i;
            while (k < n && sql.at(k).isDigit())
                ++k;
            if (at(k) == QLatin1Char('.')) {
                ++k;
                while (k < n && sql.at(k).isDigit())
                    ++k;
            }
            if ((at(k) == QLatin1Char('e') || at(k) == QLatin1Char('E'))
                && (at(k + 1).isDigit()
                    || ((at(k + 1) == QLatin1Char('+') || at(k + 1) == QLatin1Char('-')) && at(k + 2).isDigit()))) {
                k += 2;
                while (k < n && sql.at(k).isDigit())
                    ++k;
            }
            t.kind = Token::Kind::Number;
            t.text = sql.mid(i, k - i);
            i = k;
            out.tokens.append(t);
            continue;
        }
        if (c == QLatin1Char('@')) {
            qsizetype k = i + 1;
            if (at(k) == QLatin1Char('@'))
                ++k;
            while (k < n && identPart(sql.at(k)))
                ++k;
            t.kind = Token::Kind::Variable;
            t.text = sql.mid(i, k - i);
            i = k;
            out.tokens.append(t);
            continue;
        }
        if (identStart(c)) {
            qsizetype k = i + 1;
            while (k < n && identPart(sql.at(k)))
                ++k;
            t.kind = Token::Kind::Identifier;
            t.text = sql.mid(i, k - i);
            i = k;
            out.tokens.append(t);
            continue;
        }
        static const char* twoChar[] = { "<=", ">=", "<>", "!=", "!<", "!>", "::", "+=", "-=", "*=", "/=" };
        t.kind = Token::Kind::Operator;
        t.text = QString(c);
        for (const char* op : twoChar) {
            if (c == QLatin1Char(op[0]) && at(i + 1) == QLatin1Char(op[1])) {
                t.text = QString::fromLatin1(op);
                break;
            }
        }
        i += t.text.size();
        out.tokens.append(t);
    }
    Token end;
    end.kind = Token::Kind::End;
    end.position = n;
    end.line = line;
    out.tokens.append(end);
    return out;
}

bool isReservedKeyword(const QString& word)
{
    static const QSet<QString> words = [] {
        const char* list[] = {
            "ADD",
            "ALL",
            "ALTER",
            "AND",
            "ANY",
            "AS",
            "ASC",
            "AUTHORIZATION",
            "BACKUP",
            "BEGIN",
            "BETWEEN",
            "BREAK",
            "BROWSE",
            "BULK",
            "BY",
            "CASCADE",
            "CASE",
            "CHECK",
            "CHECKPOINT",
            "CLOSE",
            "CLUSTERED",
            "COALESCE",
            "COLLATE",
            "COLUMN",
            "COMMIT",
            "COMPUTE",
            "CONSTRAINT",
            "CONTAINS",
            "CONTAINSTABLE",
            "CONTINUE",
            "CONVERT",
            "CREATE",
            "CROSS",
            "CURRENT",
            "CURRENT_DATE",
            "CURRENT_TIME",
            "CURRENT_TIMESTAMP",
            "CURRENT_USER",
            "CURSOR",
            "DATABASE",
            "DBCC",
            "DEALLOCATE",
            "DECLARE",
            "DEFAULT",
            "DELETE",
            "DENY",
            "DESC",
            "DISK",
            "DISTINCT",
            "DISTRIBUTED",
            "DOUBLE",
            "DROP",
            "DUMP",
            "ELSE",
            "END",
            "ERRLVL",
            "ESCAPE",
            "EXCEPT",
            "EXEC",
            "EXECUTE",
            "EXISTS",
            "EXIT",
            "EXTERNAL",
            "FETCH",
            "FILE",
            "FILLFACTOR",
            "FOR",
            "FOREIGN",
            "FREETEXT",
            "FREETEXTTABLE",
            "FROM",
            "FULL",
            "FUNCTION",
            "GOTO",
            "GRANT",
            "GROUP",
            "HAVING",
            "HOLDLOCK",
            "IDENTITY",
            "IDENTITY_INSERT",
            "IDENTITYCOL",
            "IF",
            "IN",
            "INDEX",
            "INNER",
            "INSERT",
            "INTERSECT",
            "INTO",
            "IS",
            "JOIN",
            "KEY",
            "KILL",
            "LEFT",
            "LIKE",
            "LINENO",
            "LOAD",
            "MERGE",
            "NATIONAL",
            "NOCHECK",
            "NONCLUSTERED",
            "NOT",
            "NULL",
            "NULLIF",
            "OF",
            "OFF",
            "OFFSETS",
            "ON",
            "OPEN",
            "OPENDATASOURCE",
            "OPENQUERY",
            "OPENROWSET",
            "OPENXML",
            "OPTION",
            "OR",
            "ORDER",
            "OUTER",
            "OVER",
            "PERCENT",
            "PIVOT",
            "PLAN",
            "PRECISION",
            "PRIMARY",
            "PRINT",
            "PROC",
            "PROCEDURE",
            "PUBLIC",
            "RAISERROR",
            "READ",
            "READTEXT",
            "RECONFIGURE",
            "REFERENCES",
            "REPLICATION",
            "RESTORE",
            "RESTRICT",
            "RETURN",
            "REVERT",
            "REVOKE",
            "RIGHT",
            "ROLLBACK",
            "ROWCOUNT",
            "ROWGUIDCOL",
            "RULE",
            "SAVE",
            "SCHEMA",
            "SECURITYAUDIT",
            "SELECT",
            "SESSION_USER",
            "SET",
            "SETUSER",
            "SHUTDOWN",
            "SOME",
            "STATISTICS",
            "SYSTEM_USER",
            "TABLE",
            "TABLESAMPLE",
            "TEXTSIZE",
            "THEN",
            "TO",
            "TOP",
            "TRAN",
            "TRANSACTION",
            "TRIGGER",
            "TRUNCATE",
            "TRY_CONVERT",
            "TSEQUAL",
            "UNION",
            "UNIQUE",
            "UNPIVOT",
            "UPDATE",
            "UPDATETEXT",
            "USE",
            "USER",
            "VALUES",
            "VARYING",
            "VIEW",
            "WAITFOR",
            "WHEN",
            "WHERE",
            "WHILE",
            "WITH",
            "WRITETEXT",
        };
        QSet<QString> s;
        for (const char* w : list)
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return words.contains(word.toUpper());
}

} // namespace standin
