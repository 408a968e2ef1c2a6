#include "TsqlClient.h"

#include "StandinProcess.h"

#include <QFile>
#include <QProcess>

namespace tp::test {

bool FreeTdsConfig::write()
{
    if (!m_dir.isValid())
        return false;
    QFile conf(m_dir.filePath(QStringLiteral("freetds.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return false;
    conf.write("[global]\n\ttds version = auto\n");
    return true;
}

QProcessEnvironment FreeTdsConfig::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString conf = m_dir.filePath(QStringLiteral("freetds.conf"));
    env.insert(QStringLiteral("FREETDSCONF"), conf);
    env.insert(QStringLiteral("FREETDS"), conf);
    env.insert(QStringLiteral("HOME"), m_dir.path()); // no ~/.freetds.conf
    for (const char* key : { "TDSVER", "TDSDUMP", "TDSHOST", "TDSPORT", "DSQUERY" })
        env.remove(QString::fromLatin1(key));
    return env;
}

QStringList tsqlArguments(const StandinProcess& server, const QString& password)
{
    return { QStringLiteral("-o"), QStringLiteral("q"), QStringLiteral("-H"), QStringLiteral("127.0.0.1"),
        QStringLiteral("-p"), QString::number(server.port()), QStringLiteral("-U"), QStringLiteral("sa"),
        QStringLiteral("-P"), password.isEmpty() ? server.password() : password };
}

TsqlOutput finishTsql(QProcess& p, const QString& input, int waitMs)
{
    TsqlOutput r;
    if (!p.waitForStarted(waitMs)) {
        r.err = QStringLiteral("tsql does not start: ") + p.errorString();
        return r;
    }
    p.write(input.toUtf8());
    p.closeWriteChannel();
    r.finished = p.waitForFinished(waitMs);
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList outputLines(const QString& out)
{
    QStringList lines;
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (!t.isEmpty())
            lines.append(t);
    }
    return lines;
}

} // namespace tp::test
