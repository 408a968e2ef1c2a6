#pragma once
// Drives the stand-in's engine directly (no sockets) for the engine tests.

#include "Engine.h"
#include "FileHash.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace enginetest {

using namespace standin;

inline QString describe(const Cell& c)
{
    if (std::holds_alternative<std::monostate>(c))
        return QStringLiteral("NULL");
    if (const auto* i = std::get_if<qint64>(&c))
        return QString::number(*i);
    if (const auto* s = std::get_if<QString>(&c))
        return QLatin1Char('"') + *s + QLatin1Char('"');
    if (const auto* b = std::get_if<QByteArray>(&c))
        return QStringLiteral("0x") + QString::fromLatin1(b->toHex());
    const auto& d = std::get<DateTimeValue>(c);
    return QStringLiteral("datetime(%1,%2)").arg(d.days).arg(d.ticks);
}

// The reply as readable lines, for failure messages and for comparing event sequences.
inline QStringList describe(const Reply& r)
{
    QStringList out;
    for (const Event& e : r.events) {
        if (const auto* m = std::get_if<Message>(&e)) {
            out << QStringLiteral("MSG %1 sev %2 state %3 line %4 proc '%5': %6")
                       .arg(m->number)
                       .arg(m->severity)
                       .arg(m->state)
                       .arg(m->line)
                       .arg(m->procName, m->text);
        } else if (const auto* rs = std::get_if<ResultSet>(&e)) {
            out << QStringLiteral("ROWS %1 x %2").arg(rs->rows.size()).arg(rs->columns.size());
        } else if (const auto* d = std::get_if<Done>(&e)) {
            const char* kind
                = d->kind == Done::Kind::Done ? "DONE" : (d->kind == Done::Kind::DoneProc ? "DONEPROC" : "DONEINPROC");
            out << QStringLiteral("%1 status %2 rows %3")
                       .arg(QString::fromLatin1(kind))
                       .arg(d->status)
                       .arg(d->rowCount);
        } else if (const auto* rs2 = std::get_if<ReturnStatus>(&e)) {
            out << QStringLiteral("RETURNSTATUS %1").arg(rs2->value);
        } else if (const auto* c = std::get_if<DatabaseChange>(&e)) {
            out << QStringLiteral("DATABASE %1 -> %2").arg(c->oldName, c->newName);
        } else if (const auto* v = std::get_if<ReturnValue>(&e)) {
            out << QStringLiteral("RETURNVALUE %1 = %2").arg(v->name, describe(v->value));
        }
    }
    if (r.closeConnection)
        out << QStringLiteral("CLOSE");
    return out;
}

inline QVector<Message> messages(const Reply& r)
{
    QVector<Message> out;
    for (const Event& e : r.events) {
        if (const auto* m = std::get_if<Message>(&e))
            out.append(*m);
    }
    return out;
}

inline QVector<Message> errors(const Reply& r)
{
    QVector<Message> out;
    for (const Message& m : messages(r)) {
        if (m.isError())
            out.append(m);
    }
    return out;
}

inline QVector<ResultSet> results(const Reply& r)
{
    QVector<ResultSet> out;
    for (const Event& e : r.events) {
        if (const auto* rs = std::get_if<ResultSet>(&e))
            out.append(*rs);
    }
    return out;
}

inline QList<int> numbers(const Reply& r)
{
    QList<int> out;
    for (const Message& m : messages(r))
        out.append(m.number);
    return out;
}

inline QString text(const Cell& c)
{
    const auto* s = std::get_if<QString>(&c);
    return s ? *s : QString();
}

inline qint64 integer(const Cell& c)
{
    const auto* i = std::get_if<qint64>(&c);
    return i ? *i : -999999;
}

using tp::test::fileHash;

// One engine on a temporary data dir, with a signed-in session in master.
class Harness
{
public:
    explicit Harness(int version = 16, const QString& dataDir = QString())
        : m_version(version)
    {
        m_dataDir = dataDir.isEmpty() ? m_dir.path() + QStringLiteral("/standin") : dataDir;
        m_files = m_dir.path() + QStringLiteral("/files");
        QDir().mkpath(m_files);
        restart();
    }

    void restart()
    {
        m_engine.reset();
        EngineOptions o;
        o.dataDir = m_dataDir;
        o.saPassword = QStringLiteral("Secret#1");
        o.majorVersion = m_version;
        o.requestLogPath = m_dir.path() + QStringLiteral("/requests.jsonl");
        o.shrinkDelayMs = m_shrinkDelayMs;
        m_engine = std::make_unique<Engine>(o);
        session = connect(QStringLiteral("master"));
    }

    // A new signed-in session; -1 when the login fails.
    int connect(const QString& database)
    {
        const int s = m_engine->openSession();
        const LoginOutcome l = m_engine->login(s, QStringLiteral("sa"), QStringLiteral("Secret#1"), database);
        return l.ok ? s : -1;
    }

    Reply run(const QString& sql) { return m_engine->executeBatch(session, sql); }
    Reply run(int s, const QString& sql) { return m_engine->executeBatch(s, sql); }

    // Creates a database with its two files in the files folder; fails the test on error.
    bool create(const QString& name, const QString& folder = QString())
    {
        const QString dir = folder.isEmpty() ? m_files : folder;
        const Reply r = run(QStringLiteral("CREATE DATABASE [%1] ON PRIMARY (NAME = %1_Data, FILENAME = '%2/%1.mdf') "
                                           "LOG ON (NAME = %1_Log, FILENAME = '%2/%1_log.ldf')")
                                .arg(name, dir));
        if (!errors(r).isEmpty())
            qWarning() << describe(r);
        return errors(r).isEmpty();
    }

    QStringList databaseNames()
    {
        QStringList names;
        const auto rs = results(run(QStringLiteral("select name from sysdatabases ORDER BY name")));
        if (rs.isEmpty())
            return names;
        for (const auto& row : rs.first().rows)
            names << text(row.at(0));
        return names;
    }

    // Every DBCC SHRINKFILE from now on takes at least `ms` (the engine starts again).
    void setShrinkDelay(int ms)
    {
        m_shrinkDelayMs = ms;
        restart();
    }

    Engine& engine() { return *m_engine; }
    QString files() const { return m_files; }
    QString dataDir() const { return m_dataDir; }
    QString requestLog() const { return m_dir.path() + QStringLiteral("/requests.jsonl"); }
    int version() const { return m_version; }

    int session = -1;

private:
    QTemporaryDir m_dir;
    int m_version;
    int m_shrinkDelayMs = 0;
    QString m_dataDir;
    QString m_files;
    std::unique_ptr<Engine> m_engine;
};

} // namespace enginetest
