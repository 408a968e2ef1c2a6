#include "StandinProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace tp::test {

namespace {

    constexpr int startLimitMs = 20000;
    constexpr int stopLimitMs = 5000;

    QString requestLogFile(const QTemporaryDir& dir)
    {
        return dir.filePath(QStringLiteral("requests.jsonl"));
    }
    QString stderrFile(const QTemporaryDir& dir)
    {
        return dir.filePath(QStringLiteral("standin-stderr.log"));
    }

} // namespace

StandinProcess::StandinProcess() = default;

StandinProcess::~StandinProcess()
{
    stop();
}

bool StandinProcess::start(int version, const QString& password)
{
    stop();
    m_version = version;
    m_password = password;
    m_logOffset = 0;
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        m_lastError = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir->errorString());
        return false;
    }
    QDir(m_dir->path()).mkpath(QStringLiteral("data"));
    return launch();
}

bool StandinProcess::restart()
{
    if (!m_dir) {
        m_lastError = QStringLiteral("restart() before start()");
        return false;
    }
    stop();
    return launch();
}

qint64 StandinProcess::processId() const
{
    return m_process ? m_process->processId() : 0;
}

bool StandinProcess::launch()
{
    m_port = 0;
    m_lastError.clear();
    QStringList arguments = QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
        QStringLiteral("--data-dir"), dataDir(), QStringLiteral("--sa-password"), m_password,
        QStringLiteral("--version"), QString::number(m_version), QStringLiteral("--request-log"), requestLogPath() }
        + m_extraArguments;
    if (!m_runAs.isEmpty()) {
        // The user must be able to walk into the data folder (the server makes it its own).
        QFile::setPermissions(m_dir->path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
        arguments << QStringLiteral("--run-as") << m_runAs;
    }
    const QString launcher = qEnvironmentVariable("TALLYPORT_STANDIN_LAUNCHER");
    if (!launcher.isEmpty())
        return launchThroughLauncher(launcher, arguments);

    const QString binary = qEnvironmentVariable("TALLYPORT_STANDIN");
    if (binary.isEmpty()) {
        m_lastError = QStringLiteral("TALLYPORT_STANDIN is not set: the test does not know where the stand-in is"
                                     " (under wine: TALLYPORT_STANDIN_LAUNCHER, see scripts/test-windows)");
        return false;
    }
    if (!QFileInfo(binary).isExecutable()) {
        m_lastError = QStringLiteral("TALLYPORT_STANDIN=%1 is not an executable file").arg(binary);
        return false;
    }

    m_process = std::make_unique<QProcess>();
    m_process->setProgram(binary);
    m_process->setArguments(arguments);
    // stderr goes to a file so that a chatty server can never block on a full pipe.
    m_process->setStandardErrorFile(stderrFile(*m_dir), QIODevice::Append);
#ifdef Q_OS_LINUX
    // A test killed by its time limit never runs the destructor: the server then gets SIGTERM
    // from the kernel instead of living on as an orphan.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process->start(QIODevice::ReadOnly);
    if (!m_process->waitForStarted(startLimitMs)) {
        m_lastError = QStringLiteral("cannot start %1: %2").arg(binary, m_process->errorString());
        m_process.reset();
        return false;
    }

    static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\s*$"));
    QDeadlineTimer deadline(startLimitMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        while (m_process->canReadLine()) {
            const QByteArray line = m_process->readLine();
            seen += line;
            const auto match = listening.match(QString::fromUtf8(line));
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                if (m_port > 0)
                    return true;
            }
        }
        if (m_process->state() != QProcess::Running)
            break;
        m_process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }

    if (m_process->state() == QProcess::Running)
        m_lastError = QStringLiteral("the stand-in did not report its port within %1 s").arg(startLimitMs / 1000);
    else
        m_lastError = QStringLiteral("the stand-in exited with code %1").arg(m_process->exitCode());
    m_lastError += QStringLiteral("; stdout: %1; stderr: %2")
                       .arg(QString::fromUtf8(seen + m_process->readAll()).trimmed(), serverOutput().trimmed());
    stop();
    return false;
}

bool StandinProcess::launchThroughLauncher(const QString& address, const QStringList& arguments)
{
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    m_launcher = std::make_unique<QTcpSocket>();
    m_launcher->connectToHost(address.left(colon), quint16(address.mid(colon + 1).toUInt()));
    if (!m_launcher->waitForConnected(startLimitMs)) {
        m_lastError
            = QStringLiteral("cannot reach the stand-in launcher at %1: %2").arg(address, m_launcher->errorString());
        m_launcher.reset();
        return false;
    }
    const QJsonObject request { { QStringLiteral("args"), QJsonArray::fromStringList(arguments) },
        { QStringLiteral("stderr"), stderrFile(*m_dir) } };
    m_launcher->write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');

    static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\s*$"));
    QDeadlineTimer deadline(startLimitMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        while (m_launcher->canReadLine()) {
            const QByteArray line = m_launcher->readLine();
            seen += line;
            const auto match = listening.match(QString::fromUtf8(line));
            if (match.hasMatch() && match.captured(1).toInt() > 0) {
                m_port = match.captured(1).toInt();
                return true;
            }
        }
        if (m_launcher->state() != QAbstractSocket::ConnectedState)
            break;
        m_launcher->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    m_lastError = QStringLiteral("the stand-in (through the launcher) did not report its port; stdout: %1; stderr: %2")
                      .arg(QString::fromUtf8(seen + m_launcher->readAll()).trimmed(), serverOutput().trimmed());
    stop();
    return false;
}

void StandinProcess::stop()
{
    if (m_launcher) {
        // The launcher stops the server and only then closes the connection.
        if (m_launcher->state() == QAbstractSocket::ConnectedState) {
            m_launcher->write("stop\n");
            m_launcher->flush();
            QDeadlineTimer deadline(2 * stopLimitMs + 1000);
            while (m_launcher->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
                m_launcher->waitForDisconnected(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        m_launcher.reset();
        m_port = 0;
    }
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(stopLimitMs)) {
            m_process->kill();
            m_process->waitForFinished(stopLimitMs);
        }
    }
    m_process.reset();
    m_port = 0;
}

bool StandinProcess::kill()
{
    if (m_launcher) {
        if (m_launcher->state() != QAbstractSocket::ConnectedState)
            return false;
        m_launcher->write("kill\n");
        m_launcher->flush();
        QDeadlineTimer deadline(stopLimitMs);
        while (m_launcher->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
            m_launcher->waitForDisconnected(int(qMax<qint64>(1, deadline.remainingTime())));
        m_launcher.reset();
        m_port = 0;
        return true;
    }
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return false;
    m_process->kill();
    m_process->waitForFinished(stopLimitMs);
    m_process.reset();
    m_port = 0;
    return true;
}

bool StandinProcess::isRunning() const
{
    if (m_launcher)
        return m_launcher->state() == QAbstractSocket::ConnectedState;
    return m_process && m_process->state() == QProcess::Running;
}

QString StandinProcess::dataDir() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("data")) : QString();
}

QString StandinProcess::requestLogPath() const
{
    return m_dir ? requestLogFile(*m_dir) : QString();
}

QString StandinProcess::serverName() const
{
    return QStringLiteral("127.0.0.1,%1").arg(m_port);
}

QString StandinProcess::serverOutput() const
{
    if (!m_dir)
        return QString();
    QFile f(stderrFile(*m_dir));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

QList<QJsonObject> StandinProcess::requests() const
{
    QList<QJsonObject> out;
    if (!m_dir)
        return out;
    QFile f(requestLogPath());
    if (!f.open(QIODevice::ReadOnly))
        return out;
    if (f.size() < m_logOffset)
        m_logOffset = 0; // the log was started afresh
    f.seek(m_logOffset);
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            out.append(doc.object());
    }
    return out;
}

QStringList StandinProcess::sqlTexts() const
{
    QStringList out;
    for (const QJsonObject& request : requests()) {
        const QJsonValue v = request.value(QLatin1String("sql"));
        if (v.isString())
            out.append(v.toString());
    }
    return out;
}

void StandinProcess::clearRequests()
{
    // The server keeps appending to the same file; later reads start after what is there now.
    m_logOffset = m_dir ? QFileInfo(requestLogPath()).size() : 0;
}

} // namespace tp::test
