#pragma once
// The statements the stand-in understands, as the parser hands them to the engine.

#include "Reply.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>
#include <variant>

namespace standin {

struct Literal
{
    enum class Kind { Null, Integer, String, Default };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    QString text; // String: the value; Integer: the digits as written
    bool unicode = false; // N'..'
};

struct Expr
{
    enum class Kind {
        Star, // *
        Column, // name: the column
        Constant, // literal
        Global, // name: @@VERSION, @@SPID ... (upper case)
        Variable, // name: @x (undeclared: the engine refuses it)
        Function, // name: upper case; args
        Cast, // args[0] AS typeName(typeLength); CONVERT too
        Binary, // args[0] name args[1]; name is + - * / or %
        Negate, // - args[0]
    };
    Kind kind = Kind::Constant;
    QString name;
    Literal literal;
    QVector<Expr> args;
    QString typeName; // lower case
    int typeLength = -1; // -1: none given, 0: MAX
    QString alias;
    bool hasAlias = false;
    QString assignTo; // a select-list item "@v = expr": the variable it assigns
};

struct Condition
{
    enum class Kind { Compare, And, Or, Not, IsNull, IsNotNull, Like, NotLike };
    Kind kind = Kind::Compare;
    QString op; // = <> != < <= > >= !< !>
    Expr left;
    Expr right;
    QVector<Condition> children;
};

struct OrderItem
{
    Expr expr;
    bool descending = false;
};

struct SelectStatement
{
    QVector<Expr> items;
    qint64 top = -1;
    bool hasFrom = false;
    QStringList fromParts; // database, schema, object ("" where left out)
    QString fromText; // as written, for 208
    std::optional<Condition> where;
    QVector<OrderItem> orderBy;
};

struct ProcArgument
{
    QString name; // "@dbname", or empty when positional
    Literal value;
    bool fromIdentifier = false; // a bare word used as a value (EXEC sp_detach_db MyDb)
    QString variable; // a @variable used as a value
    bool output = false;
};

struct ExecStatement
{
    QString procText; // as written, for 2812
    QString procName; // the object part
    QVector<ProcArgument> args;
    QString returnVariable; // EXEC @v = proc: receives the return status
};

struct FileSpec
{
    QString logicalName;
    bool hasName = false;
    QString fileName;
    bool hasFileName = false;
    qint64 sizeKb = -1;
    qint64 maxSizeKb = -2; // -2 not given, -1 UNLIMITED
    qint64 growthKb = -1;
    int growthPercent = -1;
    QString fileGroup; // empty: PRIMARY
    bool log = false;
};

struct CreateDatabaseStatement
{
    QString name;
    QVector<FileSpec> files; // data files first (in order), then log files
    bool forAttach = false;
    bool rebuildLog = false;
};

struct UseStatement
{
    QString database;
};

struct SetStatement
{
    QStringList options; // upper case
    QString value; // ON / OFF / the value, upper case for words
};

struct BackupStatement
{
    bool log = true;
    QString database;
    bool truncateOnly = false; // TRUNCATE_ONLY or NO_LOG
    QStringList disks; // TO DISK = '..'
    bool init = false; // WITH INIT or FORMAT: the backup set replaces what the device holds
    bool differential = false; // BACKUP DATABASE .. WITH DIFFERENTIAL
};

struct CheckpointStatement
{
};

// ALTER DATABASE x SET RECOVERY .. | SET PARTNER = '..' | SET PARTNER OFF | SET READ_ONLY | SET READ_WRITE
struct AlterRecoveryStatement
{
    QString database;
    QString model; // FULL, SIMPLE, BULK_LOGGED; empty for PARTNER and the updateability
    QString updateability; // READ_ONLY or READ_WRITE; empty otherwise
    QString partner; // SET PARTNER = '..': the mirroring partner's address
    bool partnerOff = false; // SET PARTNER OFF
};

struct ShrinkFileStatement
{
    QString fileName;
    bool byId = false;
    int fileId = 0;
    std::optional<qint64> targetMb;
    bool emptyFile = false;
    bool noTruncate = false;
    bool truncateOnly = false;
    bool noInfoMessages = false;
};

struct CheckPrimaryFileStatement
{
    QString path;
    int option = 0;
    bool noInfoMessages = false;
};

struct UnknownDbccStatement
{
    QString name;
};

struct PrintStatement
{
    Expr value;
};

struct Statement;
// A run of statements: a batch, a BEGIN ... END block, a TRY or CATCH block, a branch of IF.
using StatementList = std::vector<Statement>;

struct BlockStatement
{
    StatementList body;
};

// IF condition statement [ELSE statement]: each branch holds one statement (none for a missing ELSE).
struct IfStatement
{
    Condition condition;
    StatementList thenBranch;
    StatementList elseBranch;
};

struct TryCatchStatement
{
    StatementList tryBody;
    StatementList catchBody; // may be empty
};

// A data type as written in DECLARE or CAST: lower-case name, length -1 when none was given, 0 for MAX.
struct DataType
{
    QString name;
    int length = -1;
};

struct DeclareStatement
{
    struct Variable
    {
        QString name; // with the @
        DataType type;
        std::optional<Expr> init; // = expr (2008 on)
    };
    QVector<Variable> variables;
};

// SET @v = expr
struct SetVariableStatement
{
    QString name;
    Expr value;
};

// RAISERROR (msg_id | msg_str | @v, severity, state [, argument ...]) [WITH LOG, NOWAIT, SETERROR]
struct RaiseErrorStatement
{
    Expr message;
    Expr severity;
    Expr state;
    QVector<Expr> args; // constants or variables only
    bool log = false;
    bool noWait = false;
    bool setError = false;
};

// THROW; (inside CATCH: the caught error again) or THROW number, message, state
struct ThrowStatement
{
    bool rethrow = true;
    Expr number;
    Expr message;
    Expr state;
};

using StatementBody = std::variant<SelectStatement, ExecStatement, CreateDatabaseStatement, UseStatement, SetStatement,
    BackupStatement, CheckpointStatement, AlterRecoveryStatement, ShrinkFileStatement, CheckPrimaryFileStatement,
    UnknownDbccStatement, PrintStatement, BlockStatement, IfStatement, TryCatchStatement, DeclareStatement,
    SetVariableStatement, RaiseErrorStatement, ThrowStatement>;

struct Statement
{
    StatementBody body;
    int line = 1;
};

struct ParseResult
{
    StatementList statements;
    QVector<Message> errors; // compile errors: when any, nothing of the batch runs
};

// Parses a whole batch. `version` is the claimed major version (TRUNCATE_ONLY, 170 vs 102,
// the wording of 105, TRY ... CATCH from 2005, DECLARE with a value from 2008, THROW from 2012).
ParseResult parseBatch(const QString& sql, int version);

} // namespace standin
