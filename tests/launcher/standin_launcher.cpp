// tallyport-standin-launcher [--standin BINARY]
//
// A program under wine can start a Linux program, but gets no handle of it: it can neither
// read its output nor wait for it nor stop it. Tests built for Windows therefore start the
// Linux stand-in through this launcher, which runs natively beside wine:
//
// - it listens on 127.0.0.1 (a free port) and prints "listening on 127.0.0.1:<port>";
// - a client sends one line, a JSON object {"args": [...], "stderr": "<file>"}; arguments and
//   the stderr file that are Windows paths ("C:\..." or "Z:\...") are turned into the Linux
//   paths behind them through wine's dosdevices folder;
// - the launcher starts the stand-in with those arguments, STANDIN_DOS_DEVICES set (so that
//   the server finds the files under the drive-letter paths the Windows program sends), and
//   passes the stand-in's standard output to the client;
// - when the client sends "stop" or goes away, the stand-in is stopped (SIGTERM, then SIGKILL
//   after 5 s), and only then is the connection closed; when the stand-in ends by itself the
//   connection is closed too; "kill" ends it with SIGKILL at once (a crash, for the tests of
//   databases that were not shut down cleanly).
//
// WINEPREFIX is the wine prefix the tests run in (default ~/.cache/qt6-mingw-wine, as the
// toolchain's wine-run.sh has it).

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

namespace {

QString dosDevices()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.cache/qt6-mingw-wine");
    return prefix + QStringLiteral("/dosdevices");
}

// "C:\a\b" -> "<dosdevices>/c:/a/b"; anything else unchanged.
QString linuxPath(const QString& arg)
{
    static const QRegularExpression windowsPath(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (!windowsPath.match(arg).hasMatch())
        return arg;
    QString rest = arg.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(dosDevices() + QLatin1Char('/') + arg.left(2).toLower() + rest);
}

class Session : public QObject
{
public:
    Session(QTcpSocket* socket, const QString& binary)
        : QObject(socket)
        , m_socket(socket)
        , m_binary(binary)
    {
        connect(socket, &QTcpSocket::readyRead, this, &Session::onRead);
        connect(socket, &QTcpSocket::disconnected, this, &Session::stopServer);
    }

private:
    void onRead()
    {
        while (m_socket->canReadLine()) {
            const QByteArray line = m_socket->readLine().trimmed();
            if (!m_process)
                startServer(line);
            else if (line == "stop")
                stopServer();
            else if (line == "kill")
                killServer();
        }
    }

    void startServer(const QByteArray& request)
    {
        const QJsonObject o = QJsonDocument::fromJson(request).object();
        QStringList args;
        for (const QJsonValue& v : o.value(QLatin1String("args")).toArray())
            args << linuxPath(v.toString());
        m_process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("STANDIN_DOS_DEVICES"), dosDevices());
        m_process->setProcessEnvironment(env);
        const QString errFile = o.value(QLatin1String("stderr")).toString();
        if (!errFile.isEmpty())
            m_process->setStandardErrorFile(linuxPath(errFile), QIODevice::Append);
        m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { m_socket->write(m_process->readAllStandardOutput()); });
        connect(m_process, &QProcess::finished, this, [this] {
            m_socket->write(m_process->readAllStandardOutput());
            m_socket->disconnectFromHost();
        });
        connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) {
                m_socket->write("launcher: cannot start " + m_binary.toUtf8() + "\n");
                m_socket->disconnectFromHost();
            }
        });
        m_process->start(m_binary, args, QIODevice::ReadOnly);
    }

    // As a crash ends it: SIGKILL, no clean shutdown.
    void killServer()
    {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->disconnectFromHost();
    }

    void stopServer()
    {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(5000)) {
                m_process->kill();
                m_process->waitForFinished(5000);
            }
        }
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->disconnectFromHost();
        else
            m_socket->deleteLater();
    }

    QTcpSocket* m_socket;
    QString m_binary;
    QProcess* m_process = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString binary = QStringLiteral(TALLYPORT_STANDIN_BINARY);
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--standin"));
    if (at > 0 && at + 1 < args.size())
        binary = args.at(at + 1);

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "tallyport-standin-launcher: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            new Session(s, binary);
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    std::printf("listening on 127.0.0.1:%d\n", int(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
