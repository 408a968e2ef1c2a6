#include "Engine.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace standin {

// First cut: sign-in and the database list of the system databases. The catalogue, the
// database files and the other statements follow.
class EngineImpl {
public:
    explicit EngineImpl(EngineOptions o)
        : options(std::move(o))
    {
    }

    EngineOptions options;
    int nextSession = 1;
    QHash<int, QString> sessions;
    QStringList databases{QStringLiteral("master"), QStringLiteral("tempdb"), QStringLiteral("model"),
                          QStringLiteral("msdb")};
};

Engine::Engine(EngineOptions options)
    : d(std::make_unique<EngineImpl>(std::move(options)))
{
}

Engine::~Engine() = default;

ServerVersion Engine::version() const
{
    ServerVersion v;
    v.major = d->options.majorVersion;
    return v;
}

int Engine::openSession()
{
    const int id = d->nextSession++;
    d->sessions.insert(id, QString());
    return id;
}

void Engine::closeSession(int session)
{
    d->sessions.remove(session);
}

LoginOutcome Engine::login(int session, const QString& user, const QString& password, const QString& database)
{
    LoginOutcome out;
    Message failed{18456, 1, 14, QStringLiteral("Login failed for user '%1'.").arg(user), {}, 1};
    if (user.compare(QLatin1String("sa"), Qt::CaseInsensitive) != 0 || password != d->options.saPassword) {
        out.messages.append(failed);
        return out;
    }
    QString db = database.isEmpty() ? QStringLiteral("master") : database;
    bool found = false;
    for (const QString& name : d->databases) {
        if (name.compare(db, Qt::CaseInsensitive) == 0) {
            db = name;
            found = true;
        }
    }
    if (!found) {
        out.messages.append(Message{
            4060, 1, 11,
            QStringLiteral("Cannot open database \"%1\" requested by the login. The login failed.").arg(database), {},
            1});
        out.messages.append(failed);
        return out;
    }
    d->sessions[session] = db;
    out.ok = true;
    out.database = db;
    return out;
}

Reply Engine::executeBatch(int, const QString& sql)
{
    Reply r;
    static const QRegularExpression list(QStringLiteral("^\\s*select\\s+name\\s+from\\s+sysdatabases\\s+order\\s+by\\s+name\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    if (list.match(sql).hasMatch()) {
        ResultSet rs;
        rs.columns.append(Column{QStringLiteral("name"), ColumnType::NVarChar, 128, false});
        QStringList names = d->databases;
        names.sort(Qt::CaseInsensitive);
        for (const QString& n : names)
            rs.rows.append({Cell(n)});
        r.events.append(rs);
        Done done;
        done.status = Done::Count;
        done.curCmd = 0xC1;
        done.rowCount = quint64(names.size());
        r.events.append(done);
        return r;
    }
    r.events.append(Message{102, 1, 15, QStringLiteral("Incorrect syntax near '%1'.").arg(sql.trimmed().left(20)), {}, 1});
    Done done;
    done.status = Done::Error;
    r.events.append(done);
    return r;
}

Reply Engine::executeRpc(int, const QVector<RpcCall>& calls)
{
    Reply r;
    for (const RpcCall& c : calls) {
        const QString name = c.procName.isEmpty() ? QString::number(c.procId) : c.procName;
        r.events.append(Message{2812, 62, 16, QStringLiteral("Could not find stored procedure '%1'.").arg(name), {}, 1});
        Done done;
        done.kind = Done::Kind::DoneProc;
        done.status = Done::Error;
        r.events.append(done);
    }
    return r;
}

} // namespace standin
