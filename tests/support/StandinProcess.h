#pragma once
// Starts the stand-in SQL Server (the binary named by the environment variable
// TALLYPORT_STANDIN) on a free loopback port, with a data folder of its own, for one test.
// Tests built for Windows and run under wine start the Linux stand-in through
// tallyport-standin-launcher instead (TALLYPORT_STANDIN_LAUNCHER=127.0.0.1:<port>): wine
// starts Linux programs but gives no handle to wait for or stop them.
//
// start() returns false and fills lastError() when the binary is missing, does not start or
// does not report its port within the time limit; tests must then fail, never skip.
// The destructor stops the server (terminate, then kill) and removes the data folder.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class QTcpSocket;
class QTemporaryDir;

namespace tp::test {

class StandinProcess
{
public:
    StandinProcess();
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    // Starts a server claiming SQL Server major version `version` (8 = 2000 ... 16 = 2022)
    // whose only login is sa with `password`. A running server is stopped first; the data
    // folder is new unless restart() is used.
    bool start(int version = 16, const QString& password = QStringLiteral("Stand1n#Pw"));
    // Stops and starts again on a new port, keeping the data folder, version and password.
    bool restart();
    // Arguments added to the command line of the next start() or restart().
    void setExtraArguments(const QStringList& arguments) { m_extraArguments = arguments; }
    // The next start() or restart() runs the server as `user` (--run-as): it binds its port,
    // makes its data folder the user's and drops to the user's uid and gid, so the file system's
    // permissions apply to it as to SQL Server's service account. Needs root (CI runs as root);
    // the test folder is then opened to others (0755) so that the user reaches the data folder.
    // Files a test gives the server must be reachable by `user`: set their folders' and files'
    // modes deliberately (a QTemporaryDir is 0700). Empty: run as the test does.
    void setRunAs(const QString& user) { m_runAs = user; }
    QString runAs() const { return m_runAs; }
    // Ends the server with SIGKILL, as a crash would: nothing is shut down cleanly (the attached
    // databases stay marked open in their primary files). False when it was not running.
    bool kill();
    // The server's process id; 0 when it is not running.
    qint64 processId() const;
    void stop();
    bool isRunning() const;

    int port() const { return m_port; }
    QString password() const { return m_password; }
    int version() const { return m_version; }
    QString dataDir() const;
    QString requestLogPath() const;
    QString serverName() const; // "127.0.0.1,<port>"
    QString lastError() const { return m_lastError; }
    // What the server wrote to stderr so far (for failure messages).
    QString serverOutput() const;

    // The request log: one JSON object per request the server received, oldest first.
    QList<QJsonObject> requests() const;
    // The SQL text of every logged request, in order (batches and the statement text of RPCs).
    QStringList sqlTexts() const;
    void clearRequests();

private:
    bool launch();
    bool launchThroughLauncher(const QString& address, const QStringList& arguments);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTcpSocket> m_launcher; // the connection to the launcher, while it runs a server
    int m_version = 16;
    QString m_password;
    int m_port = 0;
    QString m_lastError;
    QStringList m_extraArguments;
    QString m_runAs;
    mutable qint64 m_logOffset = 0; // bytes of the request log that clearRequests() set aside
};

} // namespace tp::test
