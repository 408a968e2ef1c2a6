#include "BenchSupport.h"

#include "StandinProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tp::bench {

void fail(const QString& what)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(what));
    std::exit(1);
}

double medianOf(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0.0 : v.at(v.size() / 2);
}

QString prepareTsqlBench(const char* standinPath)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TALLYPORT_STANDIN"))
        qputenv("TALLYPORT_STANDIN", standinPath);
    const QString tsql = QStandardPaths::findExecutable(QStringLiteral("tsql"));
    if (tsql.isEmpty())
        fail(QStringLiteral("tsql (FreeTDS) is not installed"));
    return tsql;
}

QStringList tsqlLogin(const tp::test::StandinProcess& s)
{
    return { QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(s.port()),
        QStringLiteral("-U"), QStringLiteral("sa"), QStringLiteral("-P"), s.password() };
}

double tsqlMs(const QString& tsql, const QStringList& args, const QStringList& batches)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TDSVER"), QStringLiteral("7.4"));
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QString input;
    for (const QString& b : batches)
        input += b + QStringLiteral("\ngo\n");
    QElapsedTimer t;
    t.start();
    p.start(tsql, args);
    if (!p.waitForStarted(10000))
        fail(QStringLiteral("tsql does not start"));
    p.write(input.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        fail(QStringLiteral("tsql failed (exit code %1)").arg(p.exitCode()));
    return double(t.nsecsElapsed()) / 1e6;
}

void addCatalogueCopies(const QString& dataDir, const QString& templateName, int count, int firstAccount)
{
    const QString path = dataDir + QStringLiteral("/catalogue.json");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    QJsonArray databases = root.value(QStringLiteral("databases")).toArray();
    QJsonObject model;
    int maxId = 0;
    for (const QJsonValue& v : databases) {
        const QJsonObject o = v.toObject();
        maxId = qMax(maxId, o.value(QStringLiteral("dbid")).toInt());
        if (o.value(QStringLiteral("name")).toString() == templateName)
            model = o;
    }
    if (model.isEmpty())
        fail(QStringLiteral("the stand-in's catalogue has no entry for %1 (its format changed?)").arg(templateName));
    for (int i = 0; i < count; ++i) {
        QJsonObject o = model;
        const QString name
            = QStringLiteral("UFDATA_%1_%2").arg(firstAccount + i / 20, 3, 10, QLatin1Char('0')).arg(2000 + i % 20);
        o[QStringLiteral("name")] = name;
        o[QStringLiteral("dbid")] = maxId + 1 + i;
        o[QStringLiteral("guid")] = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QJsonArray files;
        for (const QJsonValue& fv : model.value(QStringLiteral("files")).toArray()) {
            QJsonObject file = fv.toObject();
            const bool log = file.value(QStringLiteral("fileid")).toInt() != 1;
            file[QStringLiteral("name")] = log ? name + QStringLiteral("_log") : name;
            file[QStringLiteral("path")] = dataDir + QStringLiteral("/absent/") + name
                + (log ? QStringLiteral("_log.ldf") : QStringLiteral(".mdf"));
            files.append(file);
        }
        o[QStringLiteral("files")] = files;
        databases.append(o);
    }
    root[QStringLiteral("databases")] = databases;
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("cannot write %1").arg(path));
    f.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

} // namespace tp::bench
