#include "BusyCursor.h"

#include "Busy.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <memory>

namespace tp {

void installBusyCursor()
{
    setBusyCallback([](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

void waitKeepingWindowsPainted(const std::function<void()>& attempt)
{
    std::unique_ptr<QThread> worker(QThread::create(attempt));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    if (!worker->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
}

} // namespace tp
