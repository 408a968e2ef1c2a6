#pragma once
// Splits T-SQL text into tokens the way SQL Server's parser sees them: regular and delimited
// identifiers ([a]]b], "a""b"), '...' and N'...' strings with doubled apostrophes, numbers,
// @variables and @@globals, operators; blanks and comments (-- and nested /* */) dropped.

#include <QString>
#include <QVector>

namespace standin {

struct Token
{
    enum class Kind {
        Identifier, // regular identifier or keyword; text as written
        Delimited, // [..] or ".." identifier; text without the delimiters, doubled closers undone
        String, // '..' or N'..'; text is the value
        Number, // digits, text as written
        Binary, // 0x..
        Variable, // @name or @@name; text as written, with the @
        Operator, // ( ) , ; . = < > <= >= <> != * + - / and the like
        End,
    };
    Kind kind = Kind::End;
    QString text;
    bool unicode = false; // N'..'
    bool unterminated = false; // a string or delimited identifier that ran to the end of the batch
    qsizetype position = 0; // offset in the batch
    int line = 1;

    bool isWord(const char* word) const; // regular identifier equal to `word`, case-insensitive
    bool isOperator(const char* op) const { return kind == Kind::Operator && text == QLatin1String(op); }
    bool isName() const { return kind == Kind::Identifier || kind == Kind::Delimited; }
};

struct LexResult
{
    QVector<Token> tokens; // always ends with an End token
    bool unclosedComment = false;
};

LexResult lexSql(const QString& sql);

// T-SQL reserved keywords: where a name is expected they give 156, not 102.
bool isReservedKeyword(const QString& word);

} // namespace standin
