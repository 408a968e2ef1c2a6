#include "ErrorHints.h"

#include "PasswordScrub.h"

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

    // The driver's time-out (ODBC HYT00/HYT01, FreeTDS 20003), not a broken link.
    bool isTimeout(const DbError& e)
    {
        return e.number() == 20003 || e.sqlState() == QLatin1String("HYT00") || e.sqlState() == QLatin1String("HYT01");
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
    // FreeTDS: 20003 time-out, 20004 read failed, 20006 write failed, 20009 unreachable,
    // 20017 unexpected end of stream, 20047 dead connection; ODBC states 08xxx and HYT00/HYT01.
    switch (e.number()) {
    case 20003:
    case 20004:
    case 20006:
    case 20009:
    case 20017:
    case 20047:
        return true;
    default:
        break;
    }
    // A number of the server's own is an answer, whatever state the driver maps it to (4060
    // comes as 08004, "server rejected the connection").
    if (e.number() > 0)
        return false;
    const QString& state = e.sqlState();
    return state == QLatin1String("08S01") || state == QLatin1String("08001") || state == QLatin1String("HYT00")
        || state == QLatin1String("HYT01");
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
    if (c.recoverySwitch == ErrorContext::Switch::Back)
        return QStringLiteral("为收缩把数据库") + quotedName(c.database)
            + QStringLiteral("临时改成了简单恢复模式，但没能改回 ") + c.recoveryModel
            + QStringLiteral("，它可能仍是简单恢复模式。请在服务器上执行 ALTER DATABASE 把恢复模式改回 ")
            + c.recoveryModel + QStringLiteral("，再做一次完整备份。");
    if (isTimeout(e) && e.statementSent())
        return timeoutHint(c);
    if (isLinkFailure(e) || e.number() == 0 || e.number() == -1) {
        if (e.statementSent())
            return lostReplyHint(c);
        return QStringLiteral("无法连接到服务器，请检查服务器是否在运行、网络是否畅通。");
    }
    if (c.recoverySwitch == ErrorContext::Switch::ToSimple)
        return refusedSwitchHint(e, c);
    const bool selectedDatabase = c.operation == Operation::Detach || c.operation == Operation::Shrink;
    switch (e.number()) {
    case 1801:
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
        return QStringLiteral("数据文件不存在，或正被其他程序使用。请检查文件路径。");
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
    case 948:
        return QStringLiteral("该数据文件来自更高版本的服务器，不能附加到这台服务器上。");
    case 18456:
        return QStringLiteral("服务器拒绝了登录，请检查SA密码。");
    case 5171:
        return QStringLiteral("所选文件不是主数据文件（.MDF）。");
    case 5172:
        return QStringLiteral("所选文件不是有效的数据库文件。");
    case 8985:
        return QStringLiteral("在数据库中找不到指定的逻辑文件。");
    case 155:
        return QStringLiteral("这台服务器的版本已不支持该选项。");
    default:
        return {};
    }
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
    text += QStringLiteral("错误号：%1").arg(e.number());
    const QString detail = driverDetail(scrubPassword(e.description(), password));
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    return text;
}

} // namespace tp
