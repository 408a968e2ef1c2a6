#include "Engine.h"

#include "EngineImpl.h"

namespace standin {

Engine::Engine(EngineOptions options)
    : d(std::make_unique<EngineImpl>(std::move(options)))
{
}

Engine::~Engine() = default;

ServerVersion Engine::version() const
{
    return d->version();
}

int Engine::openSession()
{
    return d->openSession();
}

void Engine::closeSession(int session)
{
    d->closeSession(session);
}

LoginOutcome Engine::login(int session, const QString& user, const QString& password, const QString& database)
{
    return d->login(session, user, password, database);
}

Reply Engine::executeBatch(int session, const QString& sql, const RequestControl& control)
{
    return d->executeBatch(session, sql, control);
}

Reply Engine::executeRpc(int session, const QVector<RpcCall>& calls, const RequestControl& control)
{
    return d->executeRpc(session, calls, control);
}

void Engine::setCatalogueFault(const CatalogueFault& fault)
{
    d->setCatalogueFault(fault);
}

void Engine::endLikeKilledServer()
{
    d->endLikeKilledServer();
}

} // namespace standin
