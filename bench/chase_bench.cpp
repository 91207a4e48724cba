// The chase of the real program, timed: Belmora runs as build/belmora runs it
// (RunBelmora on a QtPlatform), with a TimingPlatform in between that notes
// every tick of the 10 ms chase timer. scripts/bench.sh moves the cursor with
// xdotool, first out of reach (every tick growls for 10 ms), then to rest in
// the catch box, and ends the program with SIGTERM; the figures are printed
// then.
#include <QApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bench_table.h"
#include "platform/qt/qt_platform.h"
#include "program.h"
#include "timing_platform.h"

namespace {

int wakePipe[2] = {-1, -1};

void OnTerm(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = write(wakePipe[1], &byte, 1);
}

}  // namespace

int main(int, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    int qtArgc = 1;
    QApplication::setApplicationName(QStringLiteral("Belmora"));
    QApplication app(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    qt::QtPlatform backend;
    bench::TimingPlatform timing(backend);

    if (socketpair(AF_UNIX, SOCK_STREAM, 0, wakePipe) != 0) return 2;
    struct sigaction action {};
    action.sa_handler = OnTerm;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    QSocketNotifier notifier(wakePipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] { timing.quit(0); });

    RunBelmora(timing);

    std::size_t growled = 0;
    for (const auto& tick : timing.ticks()) growled += tick.growled;
    std::fprintf(stderr, "chase_bench: %zu ticks, %zu growled\n", timing.ticks().size(), growled);
    for (bool g : {false, true}) {
        const auto p = timing.periods(g);
        double sum = 0;
        for (double v : p) sum += v;
        std::fprintf(stderr, "chase_bench: %s: mean period %.3f ms over %zu\n", g ? "growling" : "caught",
                     p.empty() ? 0.0 : sum / double(p.size()), p.size());
    }
    bench::MsRow("chase tick period, cursor caught", timing.periods(false), 10.3, -1);
    bench::MsRow("chase tick period, not caught (10 ms growl)", timing.periods(true), 11.0, -1);
    return 0;
}
