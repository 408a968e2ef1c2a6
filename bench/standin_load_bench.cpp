// standin_load_bench: what hostile clients cost the stand-in server, against the same server
// idle, measured in one run:
//
// 1. idle: the median sign-in time of a fresh client and the server's resident memory;
// 2. a client that keeps sending requests (about 25 KB of answer each) and never reads;
// 3. 40 clients that each send all but the last packet of a 15.8 MiB message.
//
// For 2 and 3 it prints the median sign-in time of other clients meanwhile and the server's
// peak resident memory, each as a ratio to the idle figure. TALLYPORT_STANDIN names the
// server binary (default: the one built with this tree), so an older build can be compared.
// Linux only (/proc). Prints figures only; not a test.

#include "BenchSupport.h"
#include "Login7.h"
#include "Packets.h"
#include "Prelogin.h"
#include "Requests.h"
#include "StandinProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace standin::tds;
using tp::bench::fail;
using tp::test::StandinProcess;

namespace {

constexpr int holders = 40;
constexpr qsizetype heldMessage = 15800 * 1024; // bytes of payload each holder starts sending
constexpr int signIns = 15;

// One blocking TDS connection on a plain socket, usable from any thread.
class Conn
{
public:
    ~Conn() { close(); }

    bool open(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }

    bool sendAll(const QByteArray& bytes)
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::send(m_fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // The next whole message from the server; false when the connection ends first.
    bool readMessage()
    {
        char buf[65536];
        for (;;) {
            const auto m = m_reader.next();
            if (m.ok())
                return true;
            if (m.status == DecodeStatus::Error)
                return false;
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            m_reader.append(QByteArray(buf, int(n)));
        }
    }

    bool signIn(const QString& password)
    {
        Prelogin p;
        p.options
            = { { PreloginVersion, QByteArray::fromHex("100000000000") }, { PreloginEncryption, QByteArray(1, '\2') } };
        if (!sendAll(packetize(PreloginPacket, encodePrelogin(p), 4096, 0)) || !readMessage())
            return false;
        Login7 l;
        l.tdsVersion = Tds74;
        l.userName = QStringLiteral("sa");
        l.password = password;
        l.hostName = QStringLiteral("bench");
        l.appName = QStringLiteral("standin_load_bench");
        l.serverName = QStringLiteral("127.0.0.1");
        return sendAll(packetize(Login7Packet, encodeLogin7(l), 4096, 0)) && readMessage();
    }

    // Ends the connection; a thread blocked in send() or recv() on it returns.
    void close()
    {
        if (m_fd >= 0) {
            ::shutdown(m_fd, SHUT_RDWR);
            ::close(m_fd);
        }
        m_fd = -1;
    }

    void shutdown()
    {
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
    }

private:
    int m_fd = -1;
    PacketReader m_reader;
};

// "VmRSS" or "VmHWM" (peak) of the process, in MB.
double memoryMb(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read /proc/%1/status").arg(pid));
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// Median sign-in time in ms of fresh clients, one after another, 100 ms apart.
double signInMedianMs(const StandinProcess& s)
{
    QVector<double> ms;
    for (int i = 0; i < signIns; ++i) {
        QElapsedTimer t;
        t.start();
        Conn c;
        if (!c.open(quint16(s.port())) || !c.signIn(s.password()))
            fail(QStringLiteral("a sign-in failed"));
        ms << double(t.nsecsElapsed()) / 1e6;
        QThread::msleep(100);
    }
    return tp::bench::medianOf(ms);
}

void start(StandinProcess& s)
{
    if (!s.start(16))
        fail(s.lastError());
}

struct Figures
{
    double signInMs = 0;
    double peakMb = 0;
};

Figures readerThatStalls(qint64* run)
{
    StandinProcess s;
    start(s);
    Conn flood;
    if (!flood.open(quint16(s.port())) || !flood.signIn(s.password()))
        fail(QStringLiteral("the flooding client cannot sign in"));
    const QString sql = QStringLiteral("select ") + QStringList(50, QStringLiteral("@@VERSION")).join(',');
    const QByteArray request = packetize(SqlBatchPacket, encodeSqlBatch(sql, Tds74), 4096, 0);
    std::atomic<bool> stop { false };
    std::thread sender([&] {
        while (!stop && flood.sendAll(request)) { }
    });
    QThread::msleep(300);
    Figures f;
    f.signInMs = signInMedianMs(s);
    f.peakMb = memoryMb(s.processId(), "VmHWM");
    *run = s.sqlTexts().count(sql);
    stop = true;
    flood.shutdown();
    sender.join();
    return f;
}

Figures unfinishedMessages()
{
    StandinProcess s;
    start(s);
    const QByteArray packets = packetize(SqlBatchPacket, QByteArray(heldMessage, ' '), 4096, 0);
    const QByteArray allButLast = packets.left(packets.size() - 4096);
    std::vector<std::unique_ptr<Conn>> conns;
    std::vector<std::thread> senders;
    std::atomic<int> sent { 0 };
    for (int i = 0; i < holders; ++i) {
        conns.push_back(std::make_unique<Conn>());
        Conn* c = conns.back().get();
        if (!c->open(quint16(s.port())) || !c->signIn(s.password()))
            fail(QStringLiteral("a holding client cannot sign in"));
        senders.emplace_back([c, &allButLast, &sent] {
            if (c->sendAll(allButLast))
                ++sent;
        });
    }
    QElapsedTimer waited;
    waited.start();
    while (sent < holders && waited.elapsed() < 30000)
        QThread::msleep(50);
    Figures f;
    f.signInMs = signInMedianMs(s);
    f.peakMb = memoryMb(s.processId(), "VmHWM");
    for (auto& c : conns)
        c->shutdown();
    for (auto& t : senders)
        t.join();
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
#ifdef TALLYPORT_STANDIN_PATH
    if (qEnvironmentVariableIsEmpty("TALLYPORT_STANDIN"))
        qputenv("TALLYPORT_STANDIN", TALLYPORT_STANDIN_PATH);
#endif
    std::printf("server: %s\n", qPrintable(qEnvironmentVariable("TALLYPORT_STANDIN")));

    Figures idle;
    {
        StandinProcess s;
        start(s);
        idle.signInMs = signInMedianMs(s);
        idle.peakMb = memoryMb(s.processId(), "VmHWM");
    }
    std::printf(
        "idle:                     sign-in %7.2f ms             peak RSS %7.1f MB\n", idle.signInMs, idle.peakMb);

    qint64 run = 0;
    const Figures stalled = readerThatStalls(&run);
    std::printf("client that never reads:  sign-in %7.2f ms (x%6.2f)   peak RSS %7.1f MB (x%5.2f)   %lld of its "
                "requests run\n",
        stalled.signInMs, stalled.signInMs / idle.signInMs, stalled.peakMb, stalled.peakMb / idle.peakMb,
        static_cast<long long>(run));

    const Figures held = unfinishedMessages();
    std::printf("%d unfinished 15.8 MiB:   sign-in %7.2f ms (x%6.2f)   peak RSS %7.1f MB (x%5.2f)\n", holders,
        held.signInMs, held.signInMs / idle.signInMs, held.peakMb, held.peakMb / idle.peakMb);
    return 0;
}
