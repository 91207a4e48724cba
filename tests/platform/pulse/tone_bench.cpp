// Prints how long tones take on the wall clock, as the program plays them:
// the start-up tone (3000 Hz, 200 ms) and runs of 10 ms growls (70 Hz), back to
// back and spaced by a 10 ms timer tick, and the 100 ms tones of the chime.
// A beep must last its length, hardly more.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/pulse/pulse_tone.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) { return v[std::min(v.size() - 1, std::size_t(q * v.size()))]; };
    std::printf("%-34s n=%3zu  min %6.2f  median %6.2f  p90 %6.2f  max %6.2f ms\n", what, v.size(),
                v.front(), at(0.5), at(0.9), v.back());
}

}  // namespace

int main() {
    const auto opening = Clock::now();
    pulse::PulseTone tone;
    const bool sound = tone.ready();
    std::printf("sound server: %s (connected in %.1f ms)\n", sound ? "yes" : "no (silent waits)",
                Ms(Clock::now() - opening));

    std::vector<double> first;
    auto start = Clock::now();
    tone.play(3000, 200);
    first.push_back(Ms(Clock::now() - start));
    Report("3000 Hz 200 ms (first tone)", first);

    std::vector<double> backToBack;
    for (int i = 0; i < 100; ++i) {
        start = Clock::now();
        tone.play(70, 10);
        backToBack.push_back(Ms(Clock::now() - start));
    }
    Report("70 Hz 10 ms, back to back", backToBack);

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
    Report("70 Hz 10 ms, after a 10 ms pause", ticked);
    Report("  period (pause + tone)", periods);

    std::vector<double> chime;
    for (int i = 0; i < 10; ++i) {
        start = Clock::now();
        tone.play(800 + 100 * i, 100);
        chime.push_back(Ms(Clock::now() - start));
    }
    Report("800..1700 Hz 100 ms", chime);
    return 0;
}
