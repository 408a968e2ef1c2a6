// Start-up benchmark: time from process start until the login window has been shown and
// painted (tallyport-startup-probe then ends), and peak memory, for tallyport against a minimal Qt
// Widgets program that shows one empty window. Both are run alternately in the same run;
// medians of the repetitions are compared. Goals: time ratio <= 1.3, memory ratio <= 1.5.
//
//   startup_bench [repetitions]     (QT_QPA_PLATFORM is passed on; offscreen when unset)
//   startup_bench repetitions RUNNER APP BASELINE
//                                   the same for two other programs, each started as
//                                   "RUNNER program" (bench/wine_startup: the Windows build
//                                   under wine; peak memory is then the wine process's)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    double ms;
    long maxRssKb;
};

std::string g_runner; // started as "runner program" when set

bool runOnce(const std::string& program, Sample& out)
{
    std::vector<char*> argv;
    if (!g_runner.empty())
        argv.push_back(const_cast<char*>(g_runner.c_str()));
    argv.push_back(const_cast<char*>(program.c_str()));
    argv.push_back(nullptr);
    const std::string& file = g_runner.empty() ? program : g_runner;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    out.ms = std::chrono::duration<double, std::milli>(end - start).count();
    out.maxRssKb = usage.ru_maxrss;
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    setenv("QT_QPA_PLATFORM", getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "offscreen", 1);

    std::string app = TALLYPORT_APP;
    std::string base = TALLYPORT_BASELINE;
    if (argc > 4) {
        g_runner = argv[2];
        app = argv[3];
        base = argv[4];
    }
    std::vector<double> appMs, baseMs, appKb, baseKb;
    // One warm-up of each, so that both start from a warm file cache.
    Sample s {};
    if (!runOnce(base, s) || !runOnce(app, s)) {
        std::fprintf(stderr, "a program did not start or did not end by itself\n");
        return 1;
    }
    for (int i = 0; i < reps; ++i) {
        if (!runOnce(base, s))
            return 1;
        baseMs.push_back(s.ms);
        baseKb.push_back(double(s.maxRssKb));
        if (!runOnce(app, s))
            return 1;
        appMs.push_back(s.ms);
        appKb.push_back(double(s.maxRssKb));
    }
    const double tApp = median(appMs), tBase = median(baseMs);
    const double mApp = median(appKb), mBase = median(baseKb);
    std::printf("start-up to first paint, median of %d (platform %s)\n", reps, getenv("QT_QPA_PLATFORM"));
    std::printf("  baseline (empty window): %8.1f ms  %8.0f KiB peak\n", tBase, mBase);
    std::printf("  tallyport (login window): %7.1f ms  %8.0f KiB peak\n", tApp, mApp);
    std::printf("  time ratio   %.2f  (goal <= 1.3)  %s\n", tApp / tBase, tApp / tBase <= 1.3 ? "met" : "NOT MET");
    std::printf("  memory ratio %.2f  (goal <= 1.5)  %s\n", mApp / mBase, mApp / mBase <= 1.5 ? "met" : "NOT MET");
    return 0;
}
