#include "ErrorHints.h"

#include "PasswordScrub.h"
#include "ServerVersions.h"

#include <QRegularExpression>
#include <QStringList>

namespace tp {

namespace {

    // Informational messages of the server that come with a result and say nothing about
    // the error beside them.
    bool isInformational(const QString& line)
    {
        static const char* const starts[] = {
            "DBCC execution completed",
            "Changed database context to",
            "Changed language setting to",
            "BACKUP LOG successfully processed",
            "BACKUP DATABASE successfully processed",
            "Processed ",
        };
        for (const char* s : starts) {
            if (line.startsWith(QLatin1String(s), Qt::CaseInsensitive))
                return true;
        }
        return false;
    }

    QString quotedName(const QString& name)
    {
        return QStringLiteral("“") + name + QStringLiteral("”");
    }

    // The operations that change the server: after a lost reply they may have happened.
    QString lostReplyHint(const ErrorContext& c)
    {
        switch (c.operation) {
        case Operation::YearAttach:
            return QStringLiteral("附加语句已发给服务器，但在服务器回复之前连接中断，服务器可能已经附加了这个年度。"
                                  "连接恢复后再按一次“自动附加数据库”：已经附加的年度会被认出并接着往下做。");
        case Operation::ScanAttach:
            return QStringLiteral("附加语句已发给服务器，但在服务器回复之前连接中断，服务器可能已经附加了这个数据库。"
                                  "连接恢复后重新扫描：已经附加的会显示为“已附加”，其余的可以接着附加。");
        case Operation::FileAttach:
            return QStringLiteral("附加语句已发给服务器，但在服务器回复之前连接中断，服务器可能已经附加了这个数据库。"
                                  "请等连接恢复后刷新数据库列表查看，确认没有附加再重做。");
        case Operation::Detach:
            return QStringLiteral("分离语句已发给服务器，但在服务器回复之前连接中断，服务器可能已经分离了这个数据库。"
                                  "请等连接恢复后刷新数据库列表查看，确认还在再重做。");
        case Operation::Shrink:
            return QStringLiteral("收缩语句已发给服务器，但在服务器回复之前连接中断，服务器可能已经完成了收缩。"
                                  "请等连接恢复后刷新数据库列表查看，再决定是否重做。");
        default:
            return QStringLiteral("语句已发给服务器，但在服务器回复之前连接中断，服务器可能已经做完了。"
                                  "请等连接恢复后刷新查看，再决定是否重做。");
        }
    }

    // A statement the driver stopped waiting for: the server may have done it, or may still be
    // doing it (a cancel stops a batch at the statement it has reached).
    QString timeoutHint(const ErrorContext& c)
    {
        const QString waited = QStringLiteral("服务器没有在规定的时间内做完这条语句，程序已停止等待。");
        switch (c.operation) {
        case Operation::YearAttach:
            return waited
                + QStringLiteral("服务器可能已经附加了这个年度。请稍后再按一次“自动附加数据库”："
                                 "已经附加的年度会被认出并接着往下做。");
        case Operation::ScanAttach:
            return waited
                + QStringLiteral("服务器可能已经附加了这个数据库。请稍后重新扫描：已经附加的会显示为“已附加”，"
                                 "其余的可以接着附加。");
        case Operation::FileAttach:
            return waited
                + QStringLiteral("服务器可能已经附加了这个数据库。请稍后刷新数据库列表查看，确认没有附加再重做。");
        case Operation::Detach:
            return waited
                + QStringLiteral("服务器可能已经分离了这个数据库。请稍后刷新数据库列表查看，确认还在再重做。");
        default:
            return waited + QStringLiteral("语句可能已经执行。请稍后刷新查看，再决定是否重做。");
        }
    }

    // The driver's time-out (its SQLSTATE in either ODBC form, FreeTDS 20003), not a broken link.
    bool isTimeout(const DbError& e)
    {
        return e.linkFault() == LinkFault::TimedOut;
    }

    // A round trip through SIMPLE whose reply never came: what the recovery model is now, as
    // read over a new connection afterwards.
    QString recoveryAfterLostReply(const ErrorContext& c)
    {
        if (c.recoveryModel.isEmpty() || !c.recoveryChecked)
            return QString();
        if (c.modelSetBack)
            return QStringLiteral("数据库") + quotedName(c.database)
                + QStringLiteral("停在了为收缩临时改成的简单恢复模式，程序已通过新的连接把它改回 ") + c.recoveryModel
                + QStringLiteral("。日志备份链已经断开，请现在做一次完整备份，之后的日志备份才能接上。");
        return QStringLiteral("数据库") + quotedName(c.database) + QStringLiteral("的恢复模式现在是 ") + c.recoveryModel
            + QStringLiteral("（已通过新的连接查看）。收缩若已做完，日志备份链已经断开，请做一次完整备份。");
    }

    // A switch to SIMPLE that the server refused: nothing was shrunk.
    QString refusedSwitchHint(const DbError& e, const ErrorContext& c)
    {
        if (c.readOnly || e.number() == 5004)
            return QStringLiteral("数据库") + quotedName(c.database)
                + QStringLiteral("是只读的，服务器不允许改变它的恢复模式，所以没有收缩，恢复模式仍是 ") + c.recoveryModel
                + QStringLiteral("。只读的数据库不能收缩；确要收缩，请先把它改为可读写（ALTER DATABASE … SET READ_WRITE）。");
        return QStringLiteral("服务器不允许把数据库") + quotedName(c.database)
            + QStringLiteral(
                "改为简单恢复模式（例如它正在做数据库镜像、属于可用性组或做日志传送），所以没有收缩，恢复模式仍是 ")
            + c.recoveryModel + QStringLiteral("。");
    }

    // The first capture of `pattern` in `text`, empty when it does not match.
    QString captured(const QString& text, const QRegularExpression& pattern)
    {
        const QRegularExpressionMatch m = pattern.match(text);
        return m.hasMatch() ? m.captured(1) : QString();
    }

    // The file a 5120 (or 2000's 5105) names; the data file of the context when it names none.
    QString fileOfMessage(const DbError& e, const ErrorContext& c)
    {
        static const QRegularExpression physical(QStringLiteral("physical file \"(.*?)\"\\. Operating system error"));
        static const QRegularExpression device(QStringLiteral("physical file name '(.*)' may be incorrect"));
        QString file = captured(e.description(), physical);
        if (file.isEmpty())
            file = captured(e.description(), device);
        return file.isEmpty() ? c.dataFile : file;
    }

    QString folderOf(const QString& file)
    {
        const qsizetype cut = qMax(file.lastIndexOf(QLatin1Char('\\')), file.lastIndexOf(QLatin1Char('/')));
        return cut <= 0 ? file : file.left(cut);
    }

    // A path as a Linux server writes it ("/srv/data\ZT001\2007\ufdata.MDF"), in the form a shell takes.
    bool isLinuxPath(const QString& path)
    {
        return path.startsWith(QLatin1Char('/'));
    }

    QString shellPath(const QString& path)
    {
        QString p = path;
        return p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }

    bool isLogFile(const QString& file, const ErrorContext& c)
    {
        const auto normal = [](QString p) { return p.replace(QLatin1Char('/'), QLatin1Char('\\')).trimmed(); };
        if (!c.logFile.isEmpty() && normal(file).compare(normal(c.logFile), Qt::CaseInsensitive) == 0)
            return true;
        if (!c.dataFile.isEmpty() && normal(file).compare(normal(c.dataFile), Qt::CaseInsensitive) == 0)
            return false;
        return file.endsWith(QLatin1String(".ldf"), Qt::CaseInsensitive);
    }

    // 5120 told apart by the operating system's error.
    QString openFailureHint(const DbError& e, const ErrorContext& c)
    {
        const QString file = fileOfMessage(e, c);
        const QString quoted = quotedName(file);
        switch (operatingSystemError(e.description())) {
        case 2:
            if (isLogFile(file, c))
                return QStringLiteral("日志文件") + quoted
                    + QStringLiteral(
                        "不存在。请把这个数据库的日志文件放回原处再附加；日志文件确实丢失时，可以只附加数据文件，"
                        "让服务器新建日志文件（数据库上次须是正常关闭的）。");
            return QStringLiteral("数据文件") + quoted
                + QStringLiteral("不存在。请检查文件路径：路径须是服务器上看到的路径。");
        case 3:
            return QStringLiteral("服务器上不存在文件夹") + quotedName(folderOf(file))
                + QStringLiteral(
                    "。请检查文件路径：路径须是服务器上看到的路径（在别的电脑上映射的盘符，服务器上并没有）。");
        case 5:
            return noAccessHint(file, c.serviceAccount);
        case 32:
            return QStringLiteral("文件") + quoted
                + QStringLiteral(
                    "正被其他程序或另一个 SQL Server 实例使用。请先在那里分离这个数据库或关闭那个程序，再附加。");
        case 112:
            return QStringLiteral("磁盘空间不足，服务器无法打开文件") + quoted
                + QStringLiteral("。请在文件所在的磁盘上腾出空间，再附加。");
        default:
            return QStringLiteral("数据文件不存在，或正被其他程序使用。请检查文件路径。");
        }
    }

    // 5170 at an attach: a file the server would create (the new log of an attach that
    // rebuilds it) is already there. After an earlier rebuild that is the log the database
    // itself records, under its new name.
    QString fileExistsHint(const DbError& e, const ErrorContext& c)
    {
        static const QRegularExpression exists(QStringLiteral("Cannot create file '(.*?)' because it already exists"));
        QString file = captured(e.description(), exists);
        if (file.isEmpty())
            file = c.logFile;
        const QString text = QStringLiteral("服务器要新建的文件") + quotedName(file)
            + QStringLiteral("已经存在，服务器不会覆盖它，所以没有附加。它多半是以前为这个数据库重建日志时新建的日志文件，"
                             "也就是数据库现在记录的日志文件。");
        const QString elsewhere = QStringLiteral("若确认它不属于这个数据库，请把它移到别处再附加。");
        if (c.operation == Operation::ScanAttach)
            return text
                + QStringLiteral("请重新扫描：扫描会找到数据库记录的日志文件，用它附加，不再重建日志。") + elsewhere;
        return text + QStringLiteral("请把它作为日志文件和数据文件一起附加，不要再重建日志。") + elsewhere;
    }

    QString staleNameHint(const ErrorContext& c)
    {
        QString hint = QStringLiteral("服务器上已没有数据库") + quotedName(c.database)
            + QStringLiteral("，数据库名称框中的名称已过时。");
        if (c.listRefreshed)
            return hint + QStringLiteral("数据库列表已重新读取，请在列表中重新选择数据库。");
        return hint + QStringLiteral("请刷新数据库列表，再重新选择数据库。");
    }

} // namespace

OperationError::OperationError(const DbError& error, ErrorContext context)
    : DbError(error)
    , m_context(std::move(context))
{
}

ErrorContext contextOf(const DbError& e)
{
    if (const auto* op = dynamic_cast<const OperationError*>(&e))
        return op->context();
    return {};
}

bool isLinkFailure(const DbError& e)
{
    return e.linkFault() != LinkFault::None;
}

QString errorHint(const DbError& e, const ErrorContext& c)
{
    // Nothing reached the server: what to install says more than "cannot connect".
    if (dynamic_cast<const DriverMissingError*>(&e))
        return QStringLiteral("本机没有可用的 SQL Server ODBC 驱动程序，所以没有连接服务器。请安装微软的 ODBC Driver 18 "
                              "for SQL Server（或 17）；在 Linux 上也可以安装 FreeTDS 的 ODBC 驱动程序（软件包 tdsodbc "
                              "和 unixodbc）。");
    if (dynamic_cast<const UnsendableValueError*>(&e))
        return QStringLiteral("本机安装的 FreeTDS ODBC 驱动程序无法在连接字符串中传送含有“};”的服务器名称、数据库名称或"
                              "SA密码，所以没有连接服务器。请安装微软的 ODBC Driver 18 for SQL Server（或 17），它能接受这样的值。");
    // A database possibly left in SIMPLE recovery matters more than why: said first, also
    // when the link broke.
    if (c.recoverySwitch == ErrorContext::Switch::Back) {
        const QString statement = c.restoreStatement.isEmpty()
            ? QStringLiteral("ALTER DATABASE 把恢复模式改回 ") + c.recoveryModel
            : c.restoreStatement + QStringLiteral("，把恢复模式改回 ") + c.recoveryModel;
        return QStringLiteral("为收缩把数据库") + quotedName(c.database)
            + QStringLiteral("临时改成了简单恢复模式，但没能改回 ") + c.recoveryModel
            + QStringLiteral("，它可能仍是简单恢复模式。请在服务器上执行 ") + statement
            + QStringLiteral("，再做一次完整备份。");
    }
    if (isTimeout(e) && e.statementSent())
        return timeoutHint(c) + recoveryAfterLostReply(c);
    if (isLinkFailure(e) || e.number() == 0 || e.number() == -1) {
        if (e.statementSent())
            return lostReplyHint(c) + recoveryAfterLostReply(c);
        return QStringLiteral("无法连接到服务器，请检查服务器是否在运行、网络是否畅通。");
    }
    if (c.recoverySwitch == ErrorContext::Switch::ToSimple)
        return refusedSwitchHint(e, c);
    const bool selectedDatabase = c.operation == Operation::Detach || c.operation == Operation::Shrink;
    switch (tellingErrorNumber(e)) {
    case 1801:
        if (c.operation == Operation::ScanAttach) {
            if (!c.otherFile.isEmpty())
                return QStringLiteral("服务器上已有数据库") + quotedName(c.database)
                    + QStringLiteral("，但它用的是另外的文件：") + c.otherFile
                    + QStringLiteral("。这些文件没有附加。请先查明那个数据库是什么，需要时分离它，再附加。");
            return QStringLiteral("服务器上已有数据库") + quotedName(c.database)
                + QStringLiteral("，但无法读出它用的文件。请重新扫描查看，再决定是否重做。");
        }
        if (c.operation == Operation::YearAttach) {
            if (!c.otherFile.isEmpty())
                return QStringLiteral("服务器上已有数据库") + quotedName(c.database)
                    + QStringLiteral("，但它用的是另外的文件：") + c.otherFile
                    + QStringLiteral("。这个年度的文件没有附加。请先查明并分离那个数据库，或检查账套号和开始年度。");
            return QStringLiteral("服务器上已有数据库") + quotedName(c.database)
                + QStringLiteral("，但无法读出它用的文件。请刷新数据库列表查看，再决定是否重做。");
        }
        return QStringLiteral("服务器上已有同名的数据库，请换一个数据库名称。");
    case 5120:
        if (!c.owner.isEmpty())
            return QStringLiteral("这个文件属于已经附加的数据库") + quotedName(c.owner)
                + QStringLiteral("，不能再附加一次。如要换名附加，请先分离") + quotedName(c.owner)
                + QStringLiteral("。");
        return openFailureHint(e, c);
    case 5105: // 2000: the file could not be opened, without the operating system's reason
        return QStringLiteral("服务器无法打开文件") + quotedName(fileOfMessage(e, c))
            + QStringLiteral("：文件不存在、正被其他程序使用，或 SQL Server "
                             "服务的登录账户无权读取它。请检查文件路径和文件夹的权限。");
    case 950: {
        static const QRegularExpression version(QStringLiteral("version \\((\\d+)\\)"));
        const int fileVersion = captured(e.description(), version).toInt();
        if (fileVersion > 0)
            return tooOldSentence(fileVersion, serverVersionOf(c.productVersion));
        return QStringLiteral(
            "该数据文件的版本太旧，这台服务器不能直接升级它，但数据并没有丢失：先把它附加到一台 "
            "SQL Server 2008 或 2008 R2 的服务器上，在那里分离（文件随之升级），再附加到这台服务器。");
    }
    case 3415:
        return readOnlyHint(c.dataFile, c.serviceAccount, true);
    case 5113:
        return QStringLiteral(
            "数据库上次没有正常关闭，服务器不能只凭数据文件重建日志文件。请找回这个数据库原来的日志文件，"
            "和数据文件一起附加；找不回时只能从备份还原。");
    case 5173:
        return QStringLiteral("日志文件和数据文件不属于同一个数据库（例如来自另一个年度，或是另一次复制的文件）。"
                              "请把属于这个数据文件的日志文件放在它旁边再附加。");
    case 4060:
    case 911:
    case 15010:
        if (selectedDatabase)
            return staleNameHint(c);
        if (e.number() == 15010)
            return QStringLiteral("服务器上没有这个数据库。");
        return QStringLiteral("无法打开这个数据库。");
    case 3703:
        return QStringLiteral("数据库正在使用中，请先关闭使用它的程序。");
    case 948: {
        static const QRegularExpression versions(
            QStringLiteral("is version (\\d+)\\. This server supports version (\\d+)"));
        const QRegularExpressionMatch m = versions.match(e.description());
        if (m.hasMatch())
            return tooNewSentence(m.captured(1).toInt(), serverVersionOf(c.productVersion), m.captured(2).toInt());
        return QStringLiteral("该数据文件来自更高版本的服务器，不能附加到这台服务器上。");
    }
    case 18456:
        return QStringLiteral("服务器拒绝了登录，请检查SA密码。");
    case 5171:
        if (c.operation == Operation::ScanAttach)
            return QStringLiteral("文件") + quotedName(c.dataFile)
                + QStringLiteral("不是主数据文件（.MDF），不能附加。请检查这个文件是不是放错了地方。");
        return QStringLiteral("所选文件不是主数据文件（.MDF）。");
    case 5172:
        if (c.operation == Operation::ScanAttach)
            return QStringLiteral("文件") + quotedName(c.dataFile)
                + QStringLiteral("不是有效的数据库文件（已损坏，或根本不是 SQL Server 的数据文件），不能附加。"
                                 "请找回完好的文件，或从备份还原。");
        return QStringLiteral("所选文件不是有效的数据库文件。");
    case 5170:
        return fileExistsHint(e, c);
    case 20002:
        // FreeTDS's "Adaptive Server connection failed": the port answered, the login did not
        // succeed, and the server gave no reason of its own (a refused password comes as 18456).
        return QStringLiteral(
            "已连上服务器的端口，但登录过程中断开了，服务器没有说明原因（FreeTDS 错误 20002）。常见的原因："
            "这个端口上的不是 SQL Server；服务器要求加密连接，而本机的 ODBC 驱动程序与它商定不了加密方式"
            "（例如较旧的 SQL Server 只支持本机已停用的 TLS 1.0）；服务器的连接数已满或正在关闭。请检查服务器名称和端口，"
            "在服务器上查看 SQL Server 的错误日志；加密的问题可以安装微软的 ODBC Driver 18 for SQL Server（或 17）解决。");
    case 8985:
        return QStringLiteral("在数据库中找不到指定的逻辑文件。");
    case 155:
        return QStringLiteral("这台服务器的版本已不支持该选项。");
    default:
        return {};
    }
}

int tellingErrorNumber(const DbError& e)
{
    for (int n : e.messageNumbers()) {
        if (n == 948 || n == 950 || n == 3415 || n == 5113 || n == 5173)
            return n;
    }
    return e.number();
}

int operatingSystemError(const QString& description)
{
    static const QRegularExpression os(
        QStringLiteral("Operating system error (\\d+)"), QRegularExpression::CaseInsensitiveOption);
    return captured(description, os).toInt();
}

QString noAccessHint(const QString& file, const QString& account)
{
    const QString folder = folderOf(file);
    if (isLinuxPath(file)) {
        const QString who = account.isEmpty() ? QStringLiteral("SQL Server 服务的账户")
                                              : QStringLiteral("SQL Server 服务的账户") + quotedName(account);
        QString text = who + QStringLiteral("无权打开文件") + quotedName(file) + QStringLiteral("。请把文件夹")
            + quotedName(shellPath(folder)) + QStringLiteral("及其中文件的所有者改为这个账户");
        if (account.isEmpty())
            return text + QStringLiteral("（运行 SQL Server 服务的账户，通常是 mssql）。");
        return text + QStringLiteral("，例如以 root 执行：chown -R ") + account + QStringLiteral(" \"")
            + shellPath(folder) + QStringLiteral("\"");
    }
    if (account.isEmpty())
        return QStringLiteral("SQL Server 服务的登录账户无权打开文件") + quotedName(file)
            + QStringLiteral("。请在 Windows 的“服务”中查看 SQL Server 服务的登录账户，再给这个账户文件夹")
            + quotedName(folder) + QStringLiteral("的完全控制权限（文件夹的 属性 → 安全 → 编辑，勾选“完全控制”）。");
    return QStringLiteral("SQL Server 服务的登录账户") + quotedName(account) + QStringLiteral("无权打开文件")
        + quotedName(file) + QStringLiteral("。请给这个账户文件夹") + quotedName(folder)
        + QStringLiteral("的完全控制权限：在文件夹的 属性 → 安全 → 编辑 中添加它并勾选“完全控制”，"
                         "或在以管理员身份运行的命令提示符中执行：icacls \"")
        + folder + QStringLiteral("\" /grant \"") + account + QStringLiteral("\":(OI)(CI)F");
}

QString readOnlyHint(const QString& file, const QString& account, bool upgrade)
{
    QString text = QStringLiteral("文件") + quotedName(file) + QStringLiteral("是只读的，或 SQL Server 服务的账户")
        + (account.isEmpty() ? QString() : quotedName(account)) + QStringLiteral("不能写它，");
    text += upgrade ? QStringLiteral("而附加时要把文件升级到这台服务器的版本，升级须写入文件。")
                    : QStringLiteral("附加后数据库只能读，不能记账。");
    if (isLinuxPath(file)) {
        const QString folder = shellPath(folderOf(file));
        if (account.isEmpty())
            return text + QStringLiteral("请让运行 SQL Server 服务的账户成为文件夹") + quotedName(folder)
                + QStringLiteral("及其中文件的所有者，并能写这些文件（chmod u+w），再附加。");
        return text + QStringLiteral("请让这个账户成为这些文件的所有者并能写它们，再附加，例如以 root 执行：chown -R ")
            + account + QStringLiteral(" \"") + folder + QStringLiteral("\" && chmod -R u+w \"") + folder
            + QStringLiteral("\"");
    }
    return text + QStringLiteral("请去掉文件的只读属性（文件的 属性 → 常规，取消“只读”），并给这个账户文件夹")
        + quotedName(folderOf(file)) + QStringLiteral("的完全控制权限，再附加。");
}

QString logChainBrokenNote(const QString& database, const QString& model)
{
    return QStringLiteral("为收缩，数据库") + quotedName(database) + QStringLiteral("临时改为简单恢复模式，现已改回 ")
        + model
        + QStringLiteral("。日志备份链因此断开：在下一次完整备份之前，日志备份都会失败（错误号 4214），"
                         "请现在做一次完整备份。");
}

QString driverDetail(const QString& description)
{
    // "[FreeTDS][SQL Server]", "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]": two
    // or more bracketed names in a row, wherever the driver put them.
    static const QRegularExpression prefix(QStringLiteral("(\\[[^\\[\\]\\n]*\\]){2,}\\s*"));
    QStringList kept;
    for (QString line : description.split(QLatin1Char('\n'))) {
        line.remove(prefix);
        line = line.trimmed();
        if (!line.isEmpty() && !isInformational(line) && !kept.contains(line))
            kept << line;
    }
    return kept.join(QLatin1Char(' '));
}

QString errorReportText(const DbError& e, const QString& password)
{
    const QString hint = errorHint(e, contextOf(e));
    QString text;
    if (!hint.isEmpty())
        text = hint + QStringLiteral("\n\n");
    text += QStringLiteral("错误号：%1").arg(tellingErrorNumber(e));
    const QString detail = driverDetail(scrubPassword(e.description(), password));
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    return text;
}

} // namespace tp
