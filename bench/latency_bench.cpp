// Call to sound, measured from outside the tone engine: PulseTone plays tones
// on the server of $PULSE_SERVER while this program records the sink's monitor
// through a stream of its own, and each tone's onset in the recording is set
// against the CLOCK_MONOTONIC time of its call.
//
//   belmora_latency_bench SERVER-LABEL MONITOR-SOURCE [--load] [--tones N]
//
// Two kinds of tones, as the program makes them: a key's tone after a pause
// (the stream has run dry and starts again) and growls a timer tick apart
// (the stream is running). With --load the rows are named for a machine kept
// busy (scripts/bench.sh runs two busy loops beside it) and their goal is the
// looser one of a loaded machine.
//
// Where a recorded sample was in time: tests/audio/clocked_recording.h. The
// row "recorder delay" prints the median latency the record stream reported,
// which is what the placing takes off; without it every figure would be that
// much larger.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "clocked_recording.h"
#include "platform/pulse/pulse_tone.h"

namespace {

using Recorder = tone_analysis::ClockedRecording;
using Clock = Recorder::Clock;
constexpr int kRate = Recorder::kRate;
constexpr std::size_t kPiece = Recorder::kPiece;  // 5 ms

double Seconds(Clock::time_point t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }
double SecondsOf(const Recorder& r, std::size_t k) { return Seconds(r.timeOf(k)); }

// The first frames of the tones heard: a sample beyond half the tones' level
// after at least 5 ms of silence.
std::vector<std::size_t> Onsets(const std::vector<std::int16_t>& s)
{
    std::vector<std::size_t> onsets;
    std::size_t quiet = kPiece;  // the recording starts in silence
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::abs(int(s[i])) > 4000) {
            if (quiet >= kPiece) onsets.push_back(i);
            quiet = 0;
        } else if (std::abs(int(s[i])) < 400) {
            ++quiet;
        }
    }
    return onsets;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SERVER-LABEL MONITOR-SOURCE [--load] [--tones N]\n", argv[0]);
        return 2;
    }
    const std::string server = argv[1], monitor = argv[2];
    bool load = false;
    int count = 40;
    for (int i = 3; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--load")) load = true;
        if (!std::strcmp(argv[i], "--tones") && i + 1 < argc) count = std::atoi(argv[++i]);
    }

    pulse::PulseTone tone;
    if (!tone.ready()) {
        std::fprintf(stderr, "latency_bench: the tone engine found no sound server\n");
        return 1;
    }
    Recorder recorder(monitor, "belmora-latency-bench");
    if (!recorder.ok()) {
        std::fprintf(stderr, "latency_bench: %s\n", recorder.why().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // an idle sink takes its time to wake

    struct Call {
        double at;
        bool afterPause;
    };
    std::vector<Call> calls;
    std::vector<double> wallMs;
    for (int k = 0; k < count; ++k) {
        // A key after a pause longer than the engine's idle time: the stream starts again.
        std::this_thread::sleep_for(std::chrono::milliseconds(250 + 37 * (k % 7)));
        auto start = Clock::now();
        calls.push_back({Seconds(start), true});
        tone.play(1000 + 10 * (k % 5), 50);
        wallMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // Then growls a tick apart: the stream runs.
        for (int g = 0; g < 5; ++g) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            start = Clock::now();
            calls.push_back({Seconds(start), false});
            tone.play(70, 10);
            wallMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    recorder.stop();

    const auto onsets = Onsets(recorder.samples());
    if (const char* dump = std::getenv("BELMORA_LATENCY_DUMP")) {
        // The recording and, per line, each call's sample position in it, for a closer look.
        const std::string base = dump;
        if (FILE* f = std::fopen((base + ".raw").c_str(), "wb")) {
            std::fwrite(recorder.samples().data(), 2, recorder.samples().size(), f);
            std::fclose(f);
        }
        if (FILE* f = std::fopen((base + ".calls").c_str(), "w")) {
            for (const Call& c : calls) std::fprintf(f, "%.1f\n", (c.at - SecondsOf(recorder, 0)) * kRate);
            for (std::size_t on : onsets) std::fprintf(f, "onset %zu\n", on);
            std::fclose(f);
        }
    }
    // Tones and onsets in order; a tone's onset comes after its call and
    // before the next tone's (they never overlap), else the match is off.
    std::vector<double> afterPause, running;
    std::size_t o = 0, unmatched = 0;
    for (std::size_t c = 0; c < calls.size(); ++c) {
        while (o < onsets.size() && SecondsOf(recorder, onsets[o]) < calls[c].at) ++o;
        const double next = c + 1 < calls.size() ? calls[c + 1].at + 0.2 : 1e300;
        if (o == onsets.size() || SecondsOf(recorder, onsets[o]) > next) {
            ++unmatched;
            continue;
        }
        const double ms = (SecondsOf(recorder, onsets[o]) - calls[c].at) * 1000.0;
        (calls[c].afterPause ? afterPause : running).push_back(ms);
        ++o;
    }
    if (unmatched)
        std::fprintf(stderr, "latency_bench: %zu of %zu tones not found in the recording\n", unmatched,
                     calls.size());

    const std::string where = server + (load ? ", two busy loops beside it" : "");
    const double medianGoal = load ? 60 : 40, p95Goal = load ? -1 : 60;
    bench::MsRow("call to sound in the sink, " + where + ": a key's tone after a pause", afterPause,
                 medianGoal, p95Goal);
    bench::MsRow("call to sound in the sink, " + where + ": growls a tick apart", running, medianGoal,
                 p95Goal);
    bench::Row("  tones missing from the recording, " + where, std::to_string(unmatched), "-", "0",
               unmatched == 0 ? "ok" : "SHORT", calls.size());
    bench::Row("  underruns while tones came, " + where, std::to_string(tone.underruns()), "-", "0",
               tone.underruns() == 0 ? "ok" : "SHORT", 1);
    bench::MsRow(
        "  Beep wall time less the tone's length, " + where,
        [&] {
            std::vector<double> over;
            for (std::size_t c = 0; c < wallMs.size(); ++c)
                over.push_back(wallMs[c] - (calls[c].afterPause ? 50 : 10));
            return over;
        }(),
        1, -1);  // within 1 ms of its length
    bench::Row("  recorder delay taken off (record stream latency; p95: reads' stray), " + where,
               bench::Ms(recorder.reportedDelayMs()), bench::Ms(recorder.strayMs()), "(calibration)", "-", 1);
    return 0;
}
