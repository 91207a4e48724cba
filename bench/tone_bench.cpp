// How long tones take on the wall clock through the tone engine itself
// (PulseTone, on the sound server of $PULSE_SERVER: scripts/bench.sh gives a
// private one with a null sink), as the program plays them: the start-up tone
// (3000 Hz, 200 ms), runs of 10 ms growls (70 Hz) back to back and spaced by a
// 10 ms timer tick, and the 100 ms tones of the chime. A tone must last its
// length, hardly more.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "platform/pulse/pulse_tone.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main()
{
    if (!std::getenv("PULSE_SERVER"))
        std::fprintf(stderr, "tone_bench: PULSE_SERVER is not set: measuring the usual server\n");
    const auto opening = Clock::now();
    pulse::PulseTone tone;
    const bool sound = tone.ready();
    const double connectMs = Ms(Clock::now() - opening);
    if (!sound) std::fprintf(stderr, "tone_bench: no sound server: the figures are silent waits\n");
    bench::Row("PulseTone: constructed (connection on its thread)", bench::Ms(connectMs), "-",
               "(information)", "-", 1);

    auto start = Clock::now();
    tone.play(3000, 200);
    bench::MsRow("PulseTone: 3000 Hz 200 ms, the first tone", {Ms(Clock::now() - start)}, 201, -1);

    std::vector<double> backToBack;
    for (int i = 0; i < 100; ++i) {
        start = Clock::now();
        tone.play(70, 10);
        backToBack.push_back(Ms(Clock::now() - start));
    }
    bench::MsRow("PulseTone: 70 Hz 10 ms, back to back", backToBack, 11, 12);

    std::vector<double> ticked, periods;
    auto previous = Clock::now();
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        start = Clock::now();
        tone.play(70, 10);
        const auto end = Clock::now();
        ticked.push_back(Ms(end - start));
        periods.push_back(Ms(end - previous));
        previous = end;
    }
    bench::MsRow("PulseTone: 70 Hz 10 ms, after a 10 ms pause", ticked, 11, 12);
    bench::MsRow("  period (pause + tone)", periods, 21, 23);

    std::vector<double> chime;
    for (int i = 0; i < 10; ++i) {
        start = Clock::now();
        tone.play(800 + 100 * i, 100);
        chime.push_back(Ms(Clock::now() - start));
    }
    bench::MsRow("PulseTone: 800..1700 Hz 100 ms", chime, 101, 102);
    return 0;
}
