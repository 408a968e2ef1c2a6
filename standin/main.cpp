// tallyport-standin: a stand-in SQL Server on TDS for the tests and the demo.
//
//   tallyport-standin --listen HOST:PORT --data-dir DIR --sa-password PW [--version N] [--request-log FILE]
//                     [--message-memory BYTES] [--run-as USER] [--service-account NAME]
//                     [--shrink-delay-ms N]
//
// Port 0 picks a free port. Once listening it prints "listening on HOST:PORT" (the address
// and port actually bound) on stdout. SIGTERM and SIGINT end it cleanly. Bad arguments or a
// port that cannot be bound: a message on stderr and exit code 2.
//
// --run-as USER: once the port is bound, the data folder becomes USER's (chown) and the server
// drops to USER's uid and gid, as SQL Server runs as its service account: the file system's
// permissions then apply to every file it opens. Refuses to start (exit code 2) when that fails.
// --service-account NAME: what sys.dm_server_services reports as the account (default: the
// user the server runs as).

#include "Engine.h"
#include "Server.h"
#include "StopOnSignal.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <optional>

#ifdef Q_OS_UNIX
#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

constexpr int badUsage = 2;

const char usage[] = "usage: tallyport-standin --listen HOST:PORT --data-dir DIR --sa-password PW "
                     "[--version N] [--request-log FILE] [--message-memory BYTES] [--run-as USER] "
                     "[--service-account NAME] [--shrink-delay-ms N]\n";

struct Arguments
{
    QHostAddress host;
    quint16 port = 0;
    standin::EngineOptions engine;
    standin::ServerLimits limits;
    QString runAs;
};

int fail(const QString& message)
{
    std::fprintf(stderr, "tallyport-standin: %s\n%s", qPrintable(message), usage);
    return badUsage;
}

std::optional<QHostAddress> parseHost(const QString& text)
{
    if (text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QString bare = text;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    QHostAddress address;
    if (!address.setAddress(bare))
        return std::nullopt;
    return address;
}

// Returns an error message, or an empty string when the arguments are complete and valid.
QString parseArguments(const QStringList& args, Arguments& out)
{
    bool haveListen = false;
    bool haveDataDir = false;
    bool havePassword = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& option = args[i];
        const bool known = option == QLatin1String("--listen") || option == QLatin1String("--data-dir")
            || option == QLatin1String("--sa-password") || option == QLatin1String("--version")
            || option == QLatin1String("--request-log") || option == QLatin1String("--message-memory")
            || option == QLatin1String("--run-as") || option == QLatin1String("--service-account")
            || option == QLatin1String("--shrink-delay-ms");
        if (!known)
            return QStringLiteral("unknown argument '%1'").arg(option);
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(option);
        const QString value = args[++i];
        if (option == QLatin1String("--listen")) {
            const int colon = int(value.lastIndexOf(QLatin1Char(':')));
            if (colon <= 0)
                return QStringLiteral("--listen wants HOST:PORT, not '%1'").arg(value);
            const auto host = parseHost(value.left(colon));
            if (!host)
                return QStringLiteral("'%1' is not an IP address").arg(value.left(colon));
            bool ok = false;
            const uint port = value.mid(colon + 1).toUInt(&ok);
            if (!ok || port > 65535)
                return QStringLiteral("'%1' is not a port number").arg(value.mid(colon + 1));
            out.host = *host;
            out.port = quint16(port);
            haveListen = true;
        } else if (option == QLatin1String("--data-dir")) {
            if (value.isEmpty())
                return QStringLiteral("--data-dir is empty");
            out.engine.dataDir = value;
            haveDataDir = true;
        } else if (option == QLatin1String("--sa-password")) {
            out.engine.saPassword = value;
            havePassword = true;
        } else if (option == QLatin1String("--version")) {
            bool ok = false;
            const int version = value.toInt(&ok);
            if (!ok || version < 8 || version > 17)
                return QStringLiteral("--version wants a major version from 8 (2000) to 17, not '%1'").arg(value);
            out.engine.majorVersion = version;
        } else if (option == QLatin1String("--message-memory")) {
            bool ok = false;
            const qint64 bytes = value.toLongLong(&ok);
            if (!ok || bytes < 0)
                return QStringLiteral("--message-memory wants a number of bytes, not '%1'").arg(value);
            out.limits.messageMemory = bytes;
        } else if (option == QLatin1String("--run-as")) {
            if (value.isEmpty())
                return QStringLiteral("--run-as is empty");
            out.runAs = value;
        } else if (option == QLatin1String("--service-account")) {
            out.engine.serviceAccount = value;
        } else if (option == QLatin1String("--shrink-delay-ms")) {
            bool ok = false;
            const int ms = value.toInt(&ok);
            if (!ok || ms < 0)
                return QStringLiteral("--shrink-delay-ms wants a number of milliseconds, not '%1'").arg(value);
            out.engine.shrinkDelayMs = ms;
        } else {
            out.engine.requestLogPath = value;
        }
    }
    if (!haveListen)
        return QStringLiteral("--listen is missing");
    if (!haveDataDir)
        return QStringLiteral("--data-dir is missing");
    if (!havePassword)
        return QStringLiteral("--sa-password is missing");
    return QString();
}

#ifdef Q_OS_UNIX

// The name of the user the process runs as.
QString currentUserName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::geteuid());
}

// Makes `dataDir` (and everything in it) the user's and drops to the user's uid and gid.
// Returns an error message, or an empty string.
QString dropTo(const QString& user, const QString& dataDir)
{
    const QByteArray name = user.toLocal8Bit();
    const passwd* pw = ::getpwnam(name.constData());
    if (!pw)
        return QStringLiteral("--run-as: there is no user '%1'").arg(user);
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    auto own = [&](const QString& path) { return ::lchown(QFile::encodeName(path).constData(), uid, gid) == 0; };
    if (!own(dataDir))
        return QStringLiteral("--run-as: cannot give %1 to %2: %3")
            .arg(dataDir, user, QString::fromLocal8Bit(std::strerror(errno)));
    QDirIterator it(
        dataDir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!own(path))
            return QStringLiteral("--run-as: cannot give %1 to %2: %3")
                .arg(path, user, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
        return QStringLiteral("--run-as: cannot become %1: %2").arg(user, QString::fromLocal8Bit(std::strerror(errno)));
    // There is no way back.
    if (uid != 0 && (::setuid(0) == 0 || ::geteuid() != uid || ::getegid() != gid))
        return QStringLiteral("--run-as: still able to return to root after becoming %1").arg(user);
#ifdef Q_OS_LINUX
    // A change of credentials clears the parent-death signal: ask for it again.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    return QString();
}

#endif

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Arguments args;
    const QString error = parseArguments(QCoreApplication::arguments(), args);
    if (!error.isEmpty())
        return fail(error);

#ifdef Q_OS_UNIX
    if (args.engine.serviceAccount.isEmpty())
        args.engine.serviceAccount = args.runAs.isEmpty() ? currentUserName() : args.runAs;
#else
    if (!args.runAs.isEmpty())
        return fail(QStringLiteral("--run-as is not supported on this system"));
#endif

    try {
        standin::Engine engine(args.engine);
        standin::Server server(engine, args.limits);
        if (!server.listen(args.host, args.port))
            return fail(QStringLiteral("cannot listen on %1:%2: %3")
                            .arg(args.host.toString())
                            .arg(args.port)
                            .arg(server.errorString()));
#ifdef Q_OS_UNIX
        if (!args.runAs.isEmpty()) {
            const QString dropped = dropTo(args.runAs, args.engine.dataDir);
            if (!dropped.isEmpty()) {
                engine.endLikeKilledServer(); // nothing more is written as the old user
                return fail(dropped);
            }
        }
#endif
        if (!standin::quitOnTerminationSignals())
            return fail(QStringLiteral("cannot install the signal handlers"));
        const QString address = server.serverAddress().protocol() == QAbstractSocket::IPv6Protocol
            ? QStringLiteral("[%1]").arg(server.serverAddress().toString())
            : server.serverAddress().toString();
        std::printf("listening on %s:%u\n", qPrintable(address), unsigned(server.serverPort()));
        std::fflush(stdout);
        const int rc = app.exec();
        server.close();
        return rc;
    } catch (const std::exception& e) {
        return fail(QStringLiteral("cannot start: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}
