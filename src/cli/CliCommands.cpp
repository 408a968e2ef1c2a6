#include "CliCommands.h"

#include "Ado.h"
#include "AttachMissing.h"
#include "CliOutput.h"
#include "ConnectionStrings.h"
#include "Console.h"
#include "ConsoleOutput.h"
#include "Detach.h"
#include "ErrorHints.h"
#include "OtherDataFiles.h"
#include "PathIdentity.h"
#include "ServerVerdict.h"
#include "Shrink.h"
#include "Statements.h"

#include <QDir>
#include <QJsonObject>
#include <cstdio>

namespace tp::cli {

namespace {

    constexpr int exitOk = 0;
    constexpr int exitFailed = 1;
    constexpr int exitUsage = 2;

    // UTF-16 to a Windows console, UTF-8 to anything else (ConsoleOutput).
    void write(FILE* to, const QString& text)
    {
        writeText(to == stderr ? StdStream::Error : StdStream::Output, text);
    }

    const char usage[] = "用法：\n"
                         "  tallyport-cli scan --server 服务器 --root 数据根目录 [--json] [--what-if]\n"
                         "  tallyport-cli attach-missing --server 服务器 --root 数据根目录 [--rebuild-log] [--all-files] "
                         "[--json] [--what-if] [--server-version 主版本号]\n"
                         "  tallyport-cli detach --server 服务器 [--json] [--what-if] 数据库名...\n"
                         "  tallyport-cli shrink --log|--data --server 服务器 [--json] [--what-if] 数据库名...\n"
                         "SA 密码在提示后输入（不回显），或用 --password-stdin 从标准输入的第一行读取。\n"
                         "以“-”开头的数据库名写在 -- 之后。\n";

    struct Options
    {
        QString command;
        QString server;
        QString root;
        bool json = false;
        bool whatIf = false;
        bool passwordStdin = false;
        bool rebuildLog = false;
        bool allFiles = false;
        bool shrinkLog = false;
        bool shrinkData = false;
        int serverVersion = 0;
        QStringList names;
    };

    int usageError(const QString& what)
    {
        write(stderr, QStringLiteral("错误：") + what + QLatin1Char('\n') + QString::fromUtf8(usage));
        return exitUsage;
    }

    // The name of an option as typed, up to an '=' or ':' that would start its value: an error
    // message may name the option, never the value that came with it.
    QString optionName(const QString& a)
    {
        qsizetype end = a.size();
        for (qsizetype i = 1; i < a.size(); ++i) {
            if (a.at(i) == QLatin1Char('=') || a.at(i) == QLatin1Char(':')) {
                end = i;
                break;
            }
        }
        return a.left(end);
    }

    // Whether `a` is a try at giving the sa password on the command line: -P, -p, /P, --pwd=…,
    // --password X, -Password, --passwd, --pass and the like, in any case. The command line is
    // then refused whole, so the value after it is neither used as a name nor shown.
    bool looksLikePasswordOption(const QString& a)
    {
        if (a.size() < 2 || !(a.startsWith(QLatin1Char('-')) || a.startsWith(QLatin1Char('/'))))
            return false;
        QString name = optionName(a).toLower();
        while (name.startsWith(QLatin1Char('-')) || name.startsWith(QLatin1Char('/')))
            name.remove(0, 1);
        return name == QLatin1String("p") || name.startsWith(QLatin1String("pw"))
            || name.contains(QLatin1String("pass")) || name.contains(QLatin1String("pwd"))
            || name.contains(QStringLiteral("密码"));
    }

    int passwordOnCommandLine()
    {
        return usageError(QStringLiteral("密码不能写在命令行上，请在提示后输入或使用 --password-stdin。"));
    }

    // A server name is a host, "host,port" or "host\instance": ';', '=', '{' and '}' have no place
    // in it, and in a connection string they would start another attribute (another server,
    // say) that the sa password would be sent to.
    bool serverNameAcceptable(const QString& server)
    {
        for (const char c : { ';', '=', '{', '}' }) {
            if (server.contains(QLatin1Char(c)))
                return false;
        }
        return true;
    }

    // Parses the command line into `o`; returns -1 when it is good, else the exit status. A
    // refused command line sends nothing and reads no password.
    int parse(const QStringList& args, Options* o)
    {
        if (args.isEmpty())
            return usageError(QStringLiteral("缺少命令。"));
        // A password given as an option is refused wherever it stands before "--"; only the
        // value of --root, a path that may well begin with '/', is not taken for one.
        for (int i = 0; i < args.size(); ++i) {
            const QString& a = args.at(i);
            if (a == QLatin1String("--"))
                break;
            if (a == QLatin1String("--root") && i + 1 < args.size() && !args.at(i + 1).startsWith(QLatin1Char('-')))
                ++i;
            else if (a != QLatin1String("--password-stdin") && looksLikePasswordOption(a))
                return passwordOnCommandLine();
        }
        o->command = args.first();
        static const QStringList commands { QStringLiteral("scan"), QStringLiteral("attach-missing"),
            QStringLiteral("detach"), QStringLiteral("shrink") };
        if (o->command == QLatin1String("--help") || o->command == QLatin1String("-h")) {
            write(stdout, QString::fromUtf8(usage));
            return exitOk;
        }
        if (o->command.startsWith(QLatin1Char('-')))
            return usageError(QStringLiteral("缺少命令（命令写在选项之前）。"));
        if (!commands.contains(o->command))
            return usageError(QStringLiteral("未知的命令 %1。").arg(visibleText(o->command)));
        bool optionsEnded = false;
        for (int i = 1; i < args.size(); ++i) {
            const QString& a = args.at(i);
            if (optionsEnded) {
                o->names.append(a);
                continue;
            }
            // The value of an option; one that starts with '-' is the next option, not a value.
            auto value = [&](QString* into) {
                if (i + 1 >= args.size() || args.at(i + 1).startsWith(QLatin1Char('-')))
                    return false;
                *into = args.at(++i);
                return true;
            };
            if (a == QLatin1String("--")) {
                optionsEnded = true;
            } else if (a == QLatin1String("--server")) {
                if (!value(&o->server))
                    return usageError(QStringLiteral("--server 后缺少服务器名。"));
            } else if (a == QLatin1String("--root")) {
                if (!value(&o->root))
                    return usageError(QStringLiteral("--root 后缺少数据根目录。"));
            } else if (a == QLatin1String("--server-version")) {
                QString v;
                bool ok = false;
                if (!value(&v) || (o->serverVersion = v.toInt(&ok), !ok) || o->serverVersion < 8)
                    return usageError(QStringLiteral("--server-version 需要 8 以上的主版本号。"));
            } else if (a == QLatin1String("--json")) {
                o->json = true;
            } else if (a == QLatin1String("--what-if")) {
                o->whatIf = true;
            } else if (a == QLatin1String("--password-stdin")) {
                o->passwordStdin = true;
            } else if (a == QLatin1String("--rebuild-log") && o->command == QLatin1String("attach-missing")) {
                o->rebuildLog = true;
            } else if (a == QLatin1String("--all-files") && o->command == QLatin1String("attach-missing")) {
                o->allFiles = true;
            } else if (a == QLatin1String("--log") && o->command == QLatin1String("shrink")) {
                o->shrinkLog = true;
            } else if (a == QLatin1String("--data") && o->command == QLatin1String("shrink")) {
                o->shrinkData = true;
            } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
                write(stdout, QString::fromUtf8(usage));
                return exitOk;
            } else if (a.startsWith(QLatin1Char('-'))) {
                // Named without its value; a name that begins with '-' comes after "--".
                return usageError(QStringLiteral("未知的选项 %1（以“-”开头的数据库名请写在 -- 之后）。")
                                      .arg(visibleText(optionName(a))));
            } else {
                o->names.append(a);
            }
        }
        const bool withRoot = o->command == QLatin1String("scan") || o->command == QLatin1String("attach-missing");
        if (o->server.isEmpty() && !o->whatIf)
            return usageError(QStringLiteral("缺少 --server。"));
        if (!serverNameAcceptable(o->server))
            return usageError(QStringLiteral("服务器名称中不能含有“;”“=”“{”或“}”。服务器名称的写法："
                                             "(local)、主机名、主机名,端口 或 主机名\\实例名。"));
        if (withRoot && o->root.isEmpty())
            return usageError(QStringLiteral("缺少 --root。"));
        if (withRoot && !o->names.isEmpty())
            return usageError(QStringLiteral("多余的参数 %1。").arg(visibleText(o->names.first())));
        if (!withRoot && o->names.isEmpty())
            return usageError(QStringLiteral("缺少数据库名。"));
        if (o->command == QLatin1String("shrink") && o->shrinkLog == o->shrinkData)
            return usageError(QStringLiteral("shrink 需要 --log 或 --data 之一。"));
        return -1;
    }

    // Reads the password as asked; on failure says why on standard error and returns false.
    bool readPassword(const Options& o, QString* password)
    {
        const InputLine read = o.passwordStdin ? readLineFromStdin(password)
                                               : readPasswordNoEcho(QStringLiteral("SA 密码："), password);
        if (read == InputLine::Read)
            return true;
        if (read == InputLine::NotText) {
            const unsigned codePage = inputCodePage();
            write(stderr,
                codePage == 0 ? QStringLiteral("错误：读到的 SA 密码不是有效的 UTF-8 文本，没有连接服务器。\n")
                              : QStringLiteral("错误：读到的 SA 密码既不是有效的 UTF-8 文本，也不是代码页 %1 的文本，"
                                               "没有连接服务器。\n")
                                    .arg(codePage));
        } else {
            write(stderr, QStringLiteral("错误：没有读到 SA 密码（标准输入不是终端时请用 --password-stdin）。\n"));
        }
        return false;
    }

    // The error as the windows' report gives it: the hint, the number, the driver's words.
    QString errorLine(const DbError& e, const ErrorContext& c)
    {
        const QString hint = errorHint(e, c);
        QString line = QStringLiteral("错误号 %1：%2").arg(tellingErrorNumber(e)).arg(driverDetail(e.description()));
        return hint.isEmpty() ? line : hint + QStringLiteral("（") + line + QStringLiteral("）");
    }

    // The context of a database named on the command line: what the operation found (a
    // recovery model it could not set back, say) is kept, but the hints of the windows that
    // speak of the main window's selected name (a stale box) do not apply here.
    ErrorContext commandLineContext(const DbError& e, const QString& database)
    {
        ErrorContext c = contextOf(e);
        c.operation = Operation::Unknown;
        c.database = database;
        return c;
    }

    QJsonObject errorJson(const DbError& e, const ErrorContext& c)
    {
        return QJsonObject { { QStringLiteral("error"), tellingErrorNumber(e) },
            { QStringLiteral("message"), driverDetail(e.description()) }, { QStringLiteral("hint"), errorHint(e, c) } };
    }

    // One database of a detach or shrink failed: its JSON line, and its row of the table.
    void reportFailure(const Options& o, const DbError& e, const QString& name, QList<QStringList>* rows)
    {
        const ErrorContext c = commandLineContext(e, name);
        QJsonObject j = errorJson(e, c);
        j.insert(QStringLiteral("database"), name);
        j.insert(QStringLiteral("outcome"), QStringLiteral("failed"));
        if (o.json)
            write(stdout, jsonLine(j));
        rows->append({ name, QStringLiteral("失败"), errorLine(e, c) });
    }

    QString stateKey(YearState s)
    {
        switch (s) {
        case YearState::Attached:
            return QStringLiteral("attached");
        case YearState::NameTaken:
            return QStringLiteral("name-taken");
        case YearState::Ready:
            return QStringLiteral("ready");
        case YearState::LogMissing:
            return QStringLiteral("log-missing");
        case YearState::Unreadable:
            return QStringLiteral("unreadable");
        case YearState::Gone:
            return QStringLiteral("gone");
        case YearState::FilesInUse:
            return QStringLiteral("files-in-use");
        case YearState::NoAccess:
            return QStringLiteral("no-access");
        case YearState::TooOld:
            return QStringLiteral("too-old");
        case YearState::TooNew:
            return QStringLiteral("too-new");
        case YearState::ReadOnly:
            return QStringLiteral("read-only");
        case YearState::NotDatabase:
            return QStringLiteral("not-database");
        case YearState::CannotOpen:
            return QStringLiteral("cannot-open");
        case YearState::FolderUnreadable:
            return QStringLiteral("folder-unreadable");
        case YearState::PathTooLong:
            return QStringLiteral("path-too-long");
        }
        return QString();
    }

    QString outcomeKey(YearOutcome o)
    {
        switch (o) {
        case YearOutcome::Attached:
            return QStringLiteral("attached");
        case YearOutcome::AlreadyThere:
            return QStringLiteral("already-attached");
        case YearOutcome::Skipped:
            return QStringLiteral("skipped");
        case YearOutcome::Failed:
            return QStringLiteral("failed");
        case YearOutcome::Refused:
            return QStringLiteral("refused");
        }
        return QString();
    }

    QString outcomeText(const AttachResult& r)
    {
        switch (r.outcome) {
        case YearOutcome::Attached:
            return r.logRebuilt ? QStringLiteral("已附加（重建了日志文件）") : QStringLiteral("已附加");
        case YearOutcome::AlreadyThere:
            return QStringLiteral("已存在");
        case YearOutcome::Skipped:
            return QStringLiteral("跳过（") + stateDetailText(r.row) + QStringLiteral("）");
        case YearOutcome::Failed:
            return QStringLiteral("失败");
        case YearOutcome::Refused:
            return QStringLiteral("未附加（") + stateText(r.row.state) + QStringLiteral("）");
        }
        return QString();
    }

    void printStatements(const Options& o, const QStringList& statements)
    {
        for (const QString& s : statements)
            write(stdout, o.json ? jsonLine({ { QStringLiteral("statement"), s } }) : s + QLatin1Char('\n'));
    }

    // The verdict's fields of a row, for its JSON line.
    void addVerdictJson(const PlanRow& r, QJsonObject* j)
    {
        if (r.otherDataFile)
            j->insert(QStringLiteral("otherDataFile"), true);
        if (r.fileVersion > 0) {
            j->insert(QStringLiteral("fileVersion"), r.fileVersion);
            j->insert(QStringLiteral("fileVersionText"), fileVersionText(r));
        }
        if (isRefusal(r.state) && r.verdictError != 0)
            j->insert(QStringLiteral("error"), r.verdictError);
        if (!r.verdictMessage.isEmpty())
            j->insert(QStringLiteral("message"), r.verdictMessage);
        const QString text = verdictText(r);
        if (!text.isEmpty())
            j->insert(QStringLiteral("hint"), text);
    }

    void printPlan(const Options& o, const QList<PlanRow>& plan)
    {
        QList<QStringList> rows;
        for (const PlanRow& r : plan) {
            if (o.json) {
                QJsonObject j { { QStringLiteral("accountSet"), r.accountSet }, { QStringLiteral("year"), r.year },
                    { QStringLiteral("database"), r.databaseName }, { QStringLiteral("state"), stateKey(r.state) },
                    { QStringLiteral("stateText"), stateText(r.state) }, { QStringLiteral("dataFile"), r.dataFile },
                    { QStringLiteral("dataSize"), double(r.dataSize) },
                    { QStringLiteral("logSize"), double(r.logSize) } };
                if (r.state != YearState::Gone)
                    j.insert(QStringLiteral("logFile"), r.logFile);
                if (r.state == YearState::NameTaken)
                    j.insert(QStringLiteral("otherFile"), r.otherFile);
                if (r.state == YearState::FilesInUse)
                    j.insert(QStringLiteral("otherDatabase"), r.otherDatabase);
                addVerdictJson(r, &j);
                write(stdout, jsonLine(j));
                continue;
            }
            const QString state = stateDetailText(r);
            QString note = verdictText(r);
            if (isRefusal(r.state) && r.verdictError != 0)
                note += (r.verdictMessage.isEmpty()
                        ? QStringLiteral("（错误号 %1）").arg(r.verdictError)
                        : QStringLiteral("（错误号 %1：%2）").arg(r.verdictError).arg(r.verdictMessage));
            rows.append({ r.accountSet, r.year, r.databaseName, state, fileVersionText(r), sizeText(r.dataSize),
                sizeText(r.logSize), r.dataFile, note });
        }
        if (!o.json)
            write(stdout,
                alignedTable({ QStringLiteral("账套号"), QStringLiteral("年度"), QStringLiteral("数据库名"),
                                 QStringLiteral("状态"), QStringLiteral("文件版本"), QStringLiteral("数据文件大小"),
                                 QStringLiteral("日志文件大小"), QStringLiteral("数据文件"), QStringLiteral("说明") },
                    rows));
    }

    // What a --what-if plan would send for the server's verdict: the years on disk, as if
    // none were attached, and with `otherFiles` the other .MDF files under the root.
    QStringList whatIfVerdictStatements(const Options& o, const QList<PlanRow>& plan, bool otherFiles)
    {
        QList<PlanRow> others;
        if (otherFiles)
            others = otherFileRows(walkOtherDataFiles(o.root, walkDataRoot(o.root)), {});
        return verdictStatements(plan, others, o.serverVersion > 0 ? o.serverVersion : 16);
    }

    // Opens a master connection with the password read as asked; on failure prints the error
    // and returns nullptr.
    std::unique_ptr<Connection> connect(const Options& o, QString* connectionString)
    {
        QString password;
        if (!readPassword(o, &password))
            return nullptr;
        *connectionString = buildMasterConnectionString(o.server, password);
        auto c = std::make_unique<Connection>();
        try {
            c->setConnectionString(*connectionString);
            c->open();
        } catch (const UnsendableValueError&) {
            const QString what = password.contains(QLatin1String("};")) ? QStringLiteral("SA 密码")
                                                                        : QStringLiteral("服务器名称");
            write(stderr,
                QStringLiteral("错误：%1中含有“};”，本机安装的 FreeTDS ODBC 驱动程序无法在连接字符串中传送它，"
                               "所以没有连接服务器。请安装微软的 ODBC Driver 18 for SQL Server（或 17），"
                               "它能接受这样的%1。\n")
                    .arg(what));
            return nullptr;
        } catch (const DriverMissingError& e) {
            write(stderr, QStringLiteral("错误：%1\n").arg(errorLine(e, {})));
            return nullptr;
        } catch (const DbError& e) {
            write(stderr, QStringLiteral("错误：连接服务器 %1 失败。%2\n").arg(o.server, errorLine(e, {})));
            return nullptr;
        }
        return c;
    }

    // A data root that is not there or cannot be read is an error, not an empty plan: a typing
    // slip in --root must not read as "nothing to attach".
    bool rootReadable(const Options& o)
    {
        const QDir root(o.root);
        if (root.exists() && root.isReadable())
            return true;
        write(stderr, QStringLiteral("错误：找不到数据根目录“%1”，或无法读取它。\n").arg(o.root));
        return false;
    }

    // Whether Ctrl+C asked to stop (see run()): then says so with what was left undone.
    bool interrupted(const QString& notDone)
    {
        if (!InterruptDeferral::requested())
            return false;
        write(stderr, QStringLiteral("已按 Ctrl+C 停止：%1\n").arg(notDone));
        return true;
    }

    QString nameList(const QStringList& names)
    {
        return names.join(QStringLiteral("、"));
    }

    int scan(const Options& o)
    {
        if (!rootReadable(o))
            return exitFailed;
        if (o.whatIf) {
            // Nothing is read from the server: every account-year is shown as it is on disk, and
            // every one of them is asked about.
            const QList<PlanRow> plan = buildPlan(o.root, walkDataRoot(o.root), {}, nullptr);
            printStatements(o, catalogueQueries() + whatIfVerdictStatements(o, plan, true));
            printPlan(o, plan);
            return exitOk;
        }
        QString connectionString;
        std::unique_ptr<Connection> master = connect(o, &connectionString);
        if (!master)
            return exitFailed;
        if (interrupted(QStringLiteral("没有读取服务器的数据库列表。")))
            return interruptedExitStatus;
        try {
            const QList<PlanRow> plan = scanDataRoot(*master, o.root);
            master->close();
            if (interrupted(QStringLiteral("读取了服务器的数据库列表，没有列出。")))
                return interruptedExitStatus;
            printPlan(o, plan);
        } catch (const DbError& e) {
            write(stderr, QStringLiteral("错误：读取服务器的数据库列表失败。%1\n").arg(errorLine(e, {})));
            return exitFailed;
        }
        return exitOk;
    }

    int attachMissingCommand(const Options& o)
    {
        AttachOptions options;
        options.rebuildMissingLogs = o.rebuildLog;
        options.serverMajorVersion = o.serverVersion;
        options.otherDataFiles = o.allFiles;
        if (!rootReadable(o))
            return exitFailed;
        if (o.whatIf) {
            // Nothing is read from the server: every account-year on disk is taken as not
            // attached, and the rebuilt-log form is that of --server-version (default 2005 on).
            // The statements are those of a real run in its order; without --server-version it
            // asks the server's version before the first attach.
            // The scan before it asks the server about every year on disk (and with --all-files
            // about the other .MDF files).
            const QList<PlanRow> plan = buildPlan(o.root, walkDataRoot(o.root), {}, nullptr);
            QStringList statements = catalogueQueries() + whatIfVerdictStatements(o, plan, o.allFiles);
            if (options.serverMajorVersion == 0) {
                statements.append(productVersionQuery());
                options.serverMajorVersion = 16;
            }
            for (const PlanRow& r : plan) {
                if (wantsAttach(r, options))
                    statements.append(attachStatementFor(r, options));
            }
            // An other .MDF is attached under the name and with the log its file records,
            // which only the server can read.
            if (o.allFiles) {
                for (const PlanRow& r : otherFileRows(walkOtherDataFiles(o.root, walkDataRoot(o.root)), {})) {
                    if (r.state == YearState::Ready)
                        statements.append(attachDatabaseStatement(QStringLiteral("<文件中记录的数据库名>"), r.dataFile,
                            QStringLiteral("<文件中记录的日志文件>")));
                }
            }
            printStatements(o, statements);
            return exitOk;
        }
        QString connectionString;
        std::unique_ptr<Connection> master = connect(o, &connectionString);
        if (!master)
            return exitFailed;
        const QString noneAttached = QStringLiteral("没有附加任何年度。");
        if (interrupted(noneAttached))
            return interruptedExitStatus;
        QList<PlanRow> plan;
        QList<AttachResult> results;
        try {
            ScanOptions scanOptions;
            scanOptions.otherDataFiles = o.allFiles;
            plan = scanDataRoot(*master, o.root, scanOptions);
            master->close();
            if (interrupted(noneAttached))
                return interruptedExitStatus;
            // Ctrl+C stops before the next attach; the one the server is doing is answered.
            results = attachMissing(connectionString, plan, options,
                [](const PlanRow&, int, int) { return !InterruptDeferral::requested(); });
        } catch (const DbError& e) {
            write(stderr, QStringLiteral("错误：%1\n").arg(errorLine(e, {})));
            return exitFailed;
        }
        const AttachSummary s = summarize(results);
        QList<QStringList> rows;
        for (const AttachResult& r : results) {
            if (o.json) {
                QJsonObject j { { QStringLiteral("database"), r.row.databaseName },
                    { QStringLiteral("outcome"), outcomeKey(r.outcome) },
                    { QStringLiteral("logRebuilt"), r.logRebuilt },
                    { QStringLiteral("state"), stateKey(r.row.state) } };
                if (r.row.otherDataFile)
                    j.insert(QStringLiteral("otherDataFile"), true);
                // The file (or folder) of a row without a name, or of a year the run left as
                // it was.
                if (r.row.otherDataFile || r.outcome == YearOutcome::Skipped)
                    j.insert(QStringLiteral("dataFile"), r.row.dataFile);
                if (!r.statement.isEmpty())
                    j.insert(QStringLiteral("statement"), r.statement);
                if (r.outcome == YearOutcome::Failed || r.outcome == YearOutcome::Refused) {
                    if (r.errorNumber != 0)
                        j.insert(QStringLiteral("error"), r.errorNumber);
                    if (!r.errorText.isEmpty())
                        j.insert(QStringLiteral("message"), driverDetail(r.errorText));
                    j.insert(QStringLiteral("hint"), r.hint);
                }
                write(stdout, jsonLine(j));
            } else {
                QString note;
                if (r.outcome == YearOutcome::Failed || r.outcome == YearOutcome::Refused)
                    note = failureText(r);
                else if (r.outcome == YearOutcome::Attached)
                    note = verdictText(r.row); // the upgrade it went through
                rows.append({ rowLabel(r.row), outcomeText(r), note });
            }
        }
        if (o.json) {
            write(stdout,
                jsonLine({ { QStringLiteral("summary"),
                    QJsonObject { { QStringLiteral("attached"), s.attached },
                        { QStringLiteral("alreadyAttached"), s.alreadyThere }, { QStringLiteral("skipped"), s.skipped },
                        { QStringLiteral("failed"), s.failed }, { QStringLiteral("refused"), s.refused },
                        { QStringLiteral("logsRebuilt"), s.logsRebuilt } } } }));
        } else {
            write(stdout,
                alignedTable({ QStringLiteral("数据库名"), QStringLiteral("结果"), QStringLiteral("说明") }, rows));
            write(stdout, summaryText(results).section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n'));
        }
        QStringList sent;
        for (const AttachResult& r : results) {
            if (!r.statement.isEmpty())
                sent << r.row.databaseName;
        }
        QStringList notAttached;
        for (const PlanRow& r : plan) {
            if (wantsAttach(r, options) && !sent.contains(r.databaseName))
                notAttached << r.databaseName;
        }
        if (!notAttached.isEmpty() && interrupted(QStringLiteral("以下 %1 个年度没有附加：%2。")
                                                      .arg(notAttached.size())
                                                      .arg(nameList(notAttached))))
            return interruptedExitStatus;
        // Everything asked for was done only when no year was skipped or refused.
        return s.failed == 0 && s.skipped == 0 && s.refused == 0 ? exitOk : exitFailed;
    }

    int detach(const Options& o)
    {
        if (o.whatIf) {
            QStringList statements;
            for (const QString& name : o.names)
                statements.append(detachDatabaseUnicodeStatement(name));
            printStatements(o, statements);
            return exitOk;
        }
        QString connectionString;
        std::unique_ptr<Connection> master = connect(o, &connectionString);
        if (!master)
            return exitFailed;
        int failed = 0;
        QList<QStringList> rows;
        QStringList notDetached;
        for (const QString& name : o.names) {
            if (InterruptDeferral::requested()) {
                notDetached << name;
                continue;
            }
            try {
                if (!master) {
                    master = std::make_unique<Connection>();
                    master->setConnectionString(connectionString);
                    master->open();
                }
                detachDatabase(*master, name, NameLiteral::Unicode);
                if (o.json)
                    write(stdout,
                        jsonLine({ { QStringLiteral("database"), name },
                            { QStringLiteral("outcome"), QStringLiteral("detached") } }));
                rows.append({ name, QStringLiteral("已分离"), QString() });
            } catch (const DbError& e) {
                ++failed;
                reportFailure(o, e, name, &rows);
                master.reset();
            }
        }
        if (!o.json)
            write(stdout,
                alignedTable({ QStringLiteral("数据库名"), QStringLiteral("结果"), QStringLiteral("说明") }, rows));
        if (!notDetached.isEmpty() && interrupted(QStringLiteral("没有分离 %1。").arg(nameList(notDetached))))
            return interruptedExitStatus;
        return failed == 0 ? exitOk : exitFailed;
    }

    int shrink(const Options& o)
    {
        const int fileId = o.shrinkLog ? 2 : 1;
        if (o.whatIf) {
            // The logical file name and the recovery model are read from the server at run time:
            // the batch is shown for a database in FULL recovery, the name as a placeholder.
            const int version = o.serverVersion > 0 ? o.serverVersion : 16;
            const QString logical = QStringLiteral("<逻辑文件名>");
            QStringList statements;
            for (const QString& name : o.names) {
                statements << logicalNameQuery(fileId);
                const auto answer = [&](const QString& query) {
                    statements << query;
                    return query == productVersionQuery() ? QString::number(version) : QStringLiteral("FULL");
                };
                statements << planShrink(answer, name, logical, fileId).batch;
            }
            printStatements(o, statements);
            return exitOk;
        }
        QString password;
        if (!readPassword(o, &password))
            return exitFailed;
        int failed = 0;
        QList<QStringList> rows;
        QStringList notShrunk;
        for (const QString& name : o.names) {
            // Ctrl+C stops between databases, never inside one's sequence of statements.
            if (InterruptDeferral::requested()) {
                notShrunk << name;
                continue;
            }
            try {
                auto connection = std::make_shared<Connection>(); // closed by its destructor on error
                connection->setConnectionString(buildDatabaseConnectionString(name, o.server, password));
                connection->open();
                const QString logicalName = readLogicalName(connection, fileId);
                // The round trip through SIMPLE recovery broke the log backup chain: a log
                // backup fails (4214) until the next database backup, which is due now.
                const ShrinkPlan plan = shrinkFile(connection, name, logicalName, fileId);
                const bool chainBroken = plan.truncation == LogTruncation::SimpleRoundTrip;
                connection->close();
                const QString chainNotice
                    = chainBroken ? QStringLiteral("注意：") + logChainBrokenNote(name, plan.recoveryModel) : QString();
                if (o.json) {
                    QJsonObject j { { QStringLiteral("database"), name },
                        { QStringLiteral("outcome"), QStringLiteral("shrunk") },
                        { QStringLiteral("file"), logicalFileName(logicalName) },
                        { QStringLiteral("logChainBroken"), chainBroken } };
                    if (chainBroken)
                        j.insert(QStringLiteral("notice"), chainNotice);
                    write(stdout, jsonLine(j));
                }
                rows.append({ name, o.shrinkLog ? QStringLiteral("日志文件收缩成功") : QStringLiteral("数据库收缩成功"),
                    logicalFileName(logicalName) });
                if (chainBroken)
                    rows.append({ QString(), QString(), chainNotice });
            } catch (const DbError& e) {
                ++failed;
                reportFailure(o, e, name, &rows);
            }
        }
        if (!o.json)
            write(stdout,
                alignedTable({ QStringLiteral("数据库名"), QStringLiteral("结果"), QStringLiteral("说明") }, rows));
        if (!notShrunk.isEmpty() && interrupted(QStringLiteral("没有收缩 %1。").arg(nameList(notShrunk))))
            return interruptedExitStatus;
        return failed == 0 ? exitOk : exitFailed;
    }

    // A command whose report could not be written (its reader gone) has not done everything
    // asked: the work itself went on to its end, and the status says what was lost.
    int withOutputChecked(int status)
    {
        if (!outputFailed(StdStream::Output))
            return status;
        write(stderr, QStringLiteral("错误：结果没有全部写到标准输出（读取输出的程序可能已经退出）。\n"));
        return status == exitOk ? exitFailed : status;
    }

    int dispatch(const Options& o)
    {
        if (o.command == QLatin1String("scan"))
            return scan(o);
        if (o.command == QLatin1String("attach-missing"))
            return attachMissingCommand(o);
        if (o.command == QLatin1String("detach"))
            return detach(o);
        return shrink(o);
    }

} // namespace

int run(const QStringList& arguments)
{
    Options o;
    const int bad = parse(arguments, &o);
    if (bad >= 0)
        return bad;
    // The server opens the files by the paths it is sent: a relative root would be read
    // against the server's own folder.
    if (!o.root.isEmpty())
        o.root = absoluteLocalPath(o.root);
    if (o.whatIf)
        return withOutputChecked(dispatch(o));
    // From here on Ctrl+C waits for the statement the server is carrying out; each command
    // stops before its next one and says what it left undone (status 130). The password is
    // still read with Ctrl+C ending the program at once.
    const InterruptDeferral deferral(
        QStringLiteral("\n已收到 Ctrl+C：等服务器答复正在执行的语句后停止，不再发送后面的语句。\n"));
    return withOutputChecked(dispatch(o));
}

} // namespace tp::cli
