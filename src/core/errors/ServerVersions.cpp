#include "ServerVersions.h"

#include <QStringList>

namespace tp {

namespace {

    ServerVersion make(int major, int minor, const char* name, int fileVersion, int oldest, QList<int> others = {})
    {
        return ServerVersion { major, minor, QString::fromUtf8(name), fileVersion, oldest, std::move(others) };
    }

    // The newest file version a version's releases write (612 for 2005, with vardecimal).
    int newestWritten(const ServerVersion& v)
    {
        int newest = v.fileVersion;
        for (int other : v.otherFileVersions)
            newest = qMax(newest, other);
        return newest;
    }

    bool writes(const ServerVersion& v, int fileVersion)
    {
        return v.fileVersion == fileVersion || v.otherFileVersions.contains(fileVersion);
    }

    bool attaches(const ServerVersion& server, int fileVersion)
    {
        const FileFit fit = fileFit(fileVersion, server);
        return fit == FileFit::Same || fit == FileFit::Upgrades;
    }

    QString productName(const ServerVersion& v)
    {
        return QStringLiteral("SQL Server ") + v.name;
    }

    // "SQL Server 2005、2008 或 2008 R2"
    QString alternatives(const QList<const ServerVersion*>& versions)
    {
        QStringList names;
        for (const ServerVersion* v : versions)
            names << v->name;
        QString text = QStringLiteral("SQL Server ");
        if (names.size() <= 1)
            return text + names.join(QString());
        const QString last = names.takeLast();
        return text + names.join(QStringLiteral("、")) + QStringLiteral(" 或 ") + last;
    }

    QString thisServer(const ServerVersion* server)
    {
        return server ? QStringLiteral("这台服务器（") + productName(*server) + QStringLiteral("）")
                      : QStringLiteral("这台服务器");
    }

    QString writtenBy(int fileVersion)
    {
        const ServerVersion* writer = writerOf(fileVersion);
        if (!writer)
            return QStringLiteral("该数据文件的版本是 %1，").arg(fileVersion);
        return QStringLiteral("该数据文件由 ") + productName(*writer) + QStringLiteral("（%1）写成，").arg(fileVersion);
    }

} // namespace

const QList<ServerVersion>& serverVersions()
{
    // The upgrade matrix as commonly stated: 2000 attaches 7.0 files; 2005, 2008 and 2008 R2
    // attach 2000 files; 2012 and 2014 attach 2005 and later; 2016 and later attach 2008 and
    // later.
    static const QList<ServerVersion> table {
        make(8, 0, "2000", 539, 515),
        make(9, 0, "2005", 611, 539, { 612 }),
        make(10, 0, "2008", 655, 539),
        make(10, 50, "2008 R2", 661, 539, { 660 }),
        make(11, 0, "2012", 706, 611),
        make(12, 0, "2014", 782, 611),
        make(13, 0, "2016", 852, 655),
        make(14, 0, "2017", 869, 655, { 868 }),
        make(15, 0, "2019", 904, 655),
        make(16, 0, "2022", 957, 655),
        make(17, 0, "2025", 998, 655),
    };
    return table;
}

const ServerVersion* serverVersionOf(const QString& productVersion)
{
    const QStringList parts = productVersion.trimmed().split(QLatin1Char('.'));
    bool ok = false;
    const int major = parts.value(0).toInt(&ok);
    if (!ok)
        return nullptr;
    const int minor = parts.value(1).toInt();
    const ServerVersion* found = nullptr;
    for (const ServerVersion& v : serverVersions()) {
        if (v.major == major && v.minor <= minor)
            found = &v;
    }
    return found;
}

const ServerVersion* writerOf(int fileVersion)
{
    const QList<ServerVersion>& table = serverVersions();
    if (fileVersion < table.first().fileVersion)
        return nullptr;
    for (const ServerVersion& v : table) {
        if (writes(v, fileVersion))
            return &v;
    }
    for (const ServerVersion& v : table) {
        if (v.fileVersion > fileVersion)
            return &v;
    }
    return nullptr;
}

QString fileVersionName(int fileVersion)
{
    if (const ServerVersion* writer = writerOf(fileVersion))
        return writer->name + QStringLiteral("（%1）").arg(fileVersion);
    if (fileVersion < serverVersions().first().fileVersion)
        return serverVersions().first().name + QStringLiteral(" 以前（%1）").arg(fileVersion);
    return QStringLiteral("未知（%1）").arg(fileVersion);
}

FileFit fileFit(int fileVersion, const ServerVersion& server)
{
    if (fileVersion > newestWritten(server))
        return FileFit::TooNew;
    if (fileVersion >= server.fileVersion || writes(server, fileVersion))
        return FileFit::Same;
    if (fileVersion < server.oldestAttachable)
        return FileFit::TooOld;
    return FileFit::Upgrades;
}

QList<const ServerVersion*> bridgeVersions(int fileVersion, const ServerVersion* server, bool* stepByStep)
{
    if (stepByStep)
        *stepByStep = false;
    const QList<ServerVersion>& table = serverVersions();
    const ServerVersion& target = server ? *server : table.last();
    QList<const ServerVersion*> direct;
    for (const ServerVersion& b : table) {
        if (&b == &target || b.fileVersion >= target.fileVersion)
            continue;
        if (fileFit(fileVersion, b) == FileFit::Upgrades && attaches(target, b.fileVersion))
            direct << &b;
    }
    if (!direct.isEmpty())
        return direct;
    // Step by step: each time the newest version that still attaches what the file now is.
    if (stepByStep)
        *stepByStep = true;
    QList<const ServerVersion*> chain;
    int current = fileVersion;
    for (int step = 0; step < table.size() && !attaches(target, current); ++step) {
        const ServerVersion* next = nullptr;
        for (const ServerVersion& b : table) {
            if (b.fileVersion > current && b.fileVersion < target.fileVersion && attaches(b, current))
                next = &b;
        }
        if (!next)
            return {};
        chain << next;
        current = next->fileVersion;
    }
    return attaches(target, current) ? chain : QList<const ServerVersion*>();
}

QString tooOldSentence(int fileVersion, const ServerVersion* server)
{
    QString text
        = writtenBy(fileVersion) + thisServer(server) + QStringLiteral("不能直接附加这么旧的文件，但数据并没有丢失：");
    bool chain = false;
    const QList<const ServerVersion*> bridges = bridgeVersions(fileVersion, server, &chain);
    if (bridges.isEmpty())
        return text
            + QStringLiteral(
                "请先把它附加到能升级它的旧版本 SQL Server 上，在那里分离（文件随之升级），再附加到这台服务器。");
    if (chain) {
        QStringList steps;
        for (const ServerVersion* v : bridges)
            steps << productName(*v);
        return text + QStringLiteral("请依次把它附加到 ") + steps.join(QStringLiteral("、"))
            + QStringLiteral(" 的服务器上并在那里分离（每一步都升级文件），再附加到这台服务器。");
    }
    return text + QStringLiteral("先把它附加到一台 ") + alternatives(bridges)
        + QStringLiteral(" 的服务器上，在那里分离（文件随之升级），再附加到这台服务器。");
}

QString tooNewSentence(int fileVersion, const ServerVersion* server, int serverFileVersion)
{
    const ServerVersion* writer = writerOf(fileVersion);
    QString text = writtenBy(fileVersion) + QStringLiteral("比") + thisServer(server);
    if (!server && serverFileVersion > 0)
        text += QStringLiteral("（支持到 %1）").arg(serverFileVersion);
    text += QStringLiteral("新；SQL Server 不能把数据库文件降级。");
    if (writer)
        return text + QStringLiteral("请把它附加到 ") + productName(*writer)
            + QStringLiteral(" 或更新版本的服务器上。");
    return text + QStringLiteral("请把它附加到写出它的那个版本或更新版本的服务器上。");
}

QString upgradeSentence(int fileVersion, const ServerVersion& server)
{
    const ServerVersion* writer = writerOf(fileVersion);
    const QString from = writer ? productName(*writer) : QStringLiteral("原来的版本");
    return QStringLiteral("附加时文件从 %1（%2）升级为 %3（%4）的格式；升级后不能再附加到 %1 的服务器上。")
        .arg(from)
        .arg(fileVersion)
        .arg(productName(server))
        .arg(server.fileVersion);
}

} // namespace tp
