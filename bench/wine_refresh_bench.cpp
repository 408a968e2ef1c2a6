// The sign-in and the database grid's refresh of the Windows build under wine against the Linux
// build, side by side: one stand-in with 5,005 databases, the two builds' refresh_probe run
// alternately against it, each repeating the login probe's sequence and the grid's refresh
// and reporting medians. Prints both and the ratio wine / Linux (goal for the refresh <= 2).
//
//   wine_refresh_bench [rounds] RUNNER WINDOWS_PROBE      (bench/wine_refresh passes them)

#include "Ado.h"
#include "BenchSupport.h"
#include "ConnectionStrings.h"
#include "StandinProcess.h"

#include <QCoreApplication>
#include <QMap>
#include <QProcess>
#include <cstdio>

using namespace tp;
using namespace tp::bench;

namespace {

constexpr int databaseCount = 5000;

QMap<QString, double> runProbe(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForStarted(30000) || !p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit
        || p.exitCode() != 0)
        fail(QStringLiteral("%1 failed (exit code %2)").arg(program).arg(p.exitCode()));
    QMap<QString, double> figures;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() == 2)
            figures.insert(QString::fromLatin1(parts[0]), parts[1].toDouble());
    }
    if (!figures.contains(QStringLiteral("refresh_ms")))
        fail(QStringLiteral("%1 printed no figures").arg(program));
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("TALLYPORT_STANDIN"))
        qputenv("TALLYPORT_STANDIN", TALLYPORT_STANDIN_PATH);
    QCoreApplication app(argc, argv);
    if (argc < 4)
        fail(QStringLiteral("usage: wine_refresh_bench rounds RUNNER WINDOWS_PROBE (see bench/wine_refresh)"));
    const int rounds = qMax(1, QString::fromLocal8Bit(argv[1]).toInt());
    const QString runner = QString::fromLocal8Bit(argv[2]);
    const QString windowsProbe = QString::fromLocal8Bit(argv[3]);

    tp::test::StandinProcess server;
    if (!server.start())
        fail(QStringLiteral("stand-in: ") + server.lastError());
    try {
        Connection c;
        c.setConnectionString(buildMasterConnectionString(server.serverName(), server.password()));
        c.open();
        c.execute(QStringLiteral("CREATE DATABASE BenchTemplate"));
        c.close();
    } catch (const DbError& e) {
        fail(QStringLiteral("CREATE DATABASE: ") + e.description());
    }
    server.stop();
    addCatalogueCopies(server.dataDir(), QStringLiteral("BenchTemplate"), databaseCount, 0);
    if (!server.restart())
        fail(QStringLiteral("stand-in restart: ") + server.lastError());

    const QStringList args { server.serverName(), server.password(), QStringLiteral("7") };
    QVector<double> linuxSignIn, linuxRefresh, wineSignIn, wineRefresh;
    int rows = 0;
    for (int i = 0; i < rounds; ++i) {
        const QMap<QString, double> l = runProbe(QStringLiteral(TALLYPORT_REFRESH_PROBE), args);
        const QMap<QString, double> w = runProbe(runner, QStringList { windowsProbe } + args);
        linuxSignIn << l.value(QStringLiteral("signin_ms"));
        linuxRefresh << l.value(QStringLiteral("refresh_ms"));
        wineSignIn << w.value(QStringLiteral("signin_ms"));
        wineRefresh << w.value(QStringLiteral("refresh_ms"));
        rows = int(w.value(QStringLiteral("rows")));
    }
    const double ls = medianOf(linuxSignIn), lr = medianOf(linuxRefresh);
    const double ws = medianOf(wineSignIn), wr = medianOf(wineRefresh);
    std::printf("%d databases; median of %d rounds, each the median of 7\n", rows, rounds);
    std::printf("                              Linux build   Windows build under wine   ratio\n");
    std::printf("  sign-in (to the main window): %6.1f ms   %9.1f ms               %6.2f\n", ls, ws, ws / ls);
    std::printf("  grid refresh:             %9.1f ms   %9.1f ms               %6.2f  (goal <= 2) %s\n", lr, wr,
        wr / lr, wr / lr <= 2 ? "met" : "NOT MET");
    return 0;
}
