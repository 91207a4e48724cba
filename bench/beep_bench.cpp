// Wall time of Beep(f, d) as the program makes it: QtPlatform::beep on the
// sound server of $PULSE_SERVER (scripts/bench.sh gives a private one with a
// null sink). 100 calls for each length, back to back as the chime and the
// growls of the chase come (each followed by a plain sleep as long, for
// reference), after the start-up tone has set the stream going.
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "platform/qt/qt_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("PULSE_SERVER"))
        std::fprintf(stderr, "beep_bench: PULSE_SERVER is not set: measuring the usual server\n");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    (void)argc;
    qt::QtPlatform platform;

    platform.beep(3000, 200);  // as at start-up: the stream comes up
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    struct Case {
        int durationMs;
        std::vector<int> frequencies;  // cycled through
    };
    const Case cases[] = {{10, {70}}, {100, {800, 1300, 1000}}, {300, {400}}};
    // Each beep alternates with a plain sleep of the same length: what the
    // machine gives any program that waits that long, under the same load. A
    // beep cannot end sooner after its time than the waiting thread wakes.
    std::vector<std::vector<double>> sleeps;
    for (const Case& c : cases) {
        std::vector<double> took, slept;
        for (int i = 0; i < 100; ++i) {
            const int f = c.frequencies[std::size_t(i) % c.frequencies.size()];
            auto start = Clock::now();
            platform.beep(f, c.durationMs);
            took.push_back(MsBetween(start, Clock::now()));
            start = Clock::now();
            std::this_thread::sleep_until(start + std::chrono::milliseconds(c.durationMs));
            slept.push_back(MsBetween(start, Clock::now()));
        }
        const double d = c.durationMs;
        bench::MsRow("Beep(f, " + std::to_string(c.durationMs) + " ms) wall time", took, d + 1, d + 2);
        sleeps.push_back(slept);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    for (std::size_t k = 0; k < sleeps.size(); ++k)
        bench::Row(
            "  a plain " + std::to_string(cases[k].durationMs) + " ms sleep between them, for reference",
            bench::Ms(bench::Median(sleeps[k])), bench::Ms(bench::P95(sleeps[k])), "(reference)", "-",
            sleeps[k].size());
    return 0;
}
