#pragma once
// Sends a signal to a stand-in as soon as its request log shows a request holding a given
// SQL text, from a thread of its own while the test's thread waits in the driver: SIGSTOP
// for a server that stops answering, SIGKILL for one that goes away. Not on Windows (the
// stand-in of the Windows build's tests runs apart, without a process id to signal).

#ifndef _WIN32
#include "StandinProcess.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <signal.h>
#include <thread>

namespace tp::test {

class SignalOnRequest
{
public:
    SignalOnRequest(const StandinProcess& server, const QString& sqlPart, int signal)
        : m_thread([this, &server, sqlPart, signal] {
            const pid_t pid = pid_t(server.processId());
            while (!m_done) {
                if (!server.sqlTexts().filter(sqlPart).isEmpty()) {
                    ::kill(pid, signal);
                    m_sent = true;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        })
    {
    }
    ~SignalOnRequest()
    {
        m_done = true;
        m_thread.join();
    }
    SignalOnRequest(const SignalOnRequest&) = delete;
    SignalOnRequest& operator=(const SignalOnRequest&) = delete;
    bool sent() const { return m_sent; }

private:
    std::atomic<bool> m_done { false };
    std::atomic<bool> m_sent { false };
    std::thread m_thread;
};

} // namespace tp::test
#endif
