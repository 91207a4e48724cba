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
// Where a recorded sample was in time: the recording is read in 5 ms pieces;
// after each read the record stream reports its latency (pa_simple_get_latency:
// how long ago the next sample to be read came from the monitor, the source's
// own delay and what waits in the stream's buffer). The wall time of that read,
// less the reported latency, is when the next sample left the monitor; the
// median over all reads, less the samples' count, places sample 0. The row
// "recorder delay" prints the median latency reported, which is what this
// takes off; without it every figure would be that much larger.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "platform/pulse/pulse_tone.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr std::size_t kPiece = kRate / 200;  // 5 ms

double Seconds(Clock::time_point t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

class MonitorRecorder {
public:
    explicit MonitorRecorder(const std::string& source)
    {
        pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(kPiece * sizeof(std::int16_t));
        int err = 0;
        stream_ = pa_simple_new(nullptr, "belmora-latency-bench", PA_STREAM_RECORD, source.c_str(), "monitor",
                                &format, nullptr, &attr, &err);
        if (!stream_) {
            std::fprintf(stderr, "latency_bench: cannot record %s: %s\n", source.c_str(), pa_strerror(err));
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~MonitorRecorder() { stop(); }
    bool ok() const { return stream_ != nullptr; }

    void stop()
    {
        if (!thread_.joinable()) return;
        done_ = true;
        thread_.join();
        pa_simple_free(stream_);
    }

    const std::vector<std::int16_t>& samples() const { return samples_; }
    // The time sample k left the monitor, in seconds of CLOCK_MONOTONIC.
    double timeOf(std::size_t k) const { return zero_ + double(k) / kRate; }
    double reportedDelayMs() const { return bench::Median(delaysMs_); }
    double strayMs() const { return strayMs_; }

private:
    void run()
    {
        std::vector<std::int16_t> piece(kPiece);
        std::vector<double> zeros;
        int err = 0;
        while (!done_) {
            if (pa_simple_read(stream_, piece.data(), piece.size() * sizeof(std::int16_t), &err) < 0) break;
            const double at = Seconds(Clock::now());
            samples_.insert(samples_.end(), piece.begin(), piece.end());
            const pa_usec_t latency = pa_simple_get_latency(stream_, &err);
            if (latency == pa_usec_t(-1)) continue;
            delaysMs_.push_back(double(latency) / 1000.0);
            zeros.push_back(at - double(latency) / 1e6 - double(samples_.size()) / kRate);
        }
        zero_ = bench::Median(zeros);
        // How far single reads stray from the median: the placing's own uncertainty.
        std::vector<double> stray;
        for (double z : zeros) stray.push_back(std::abs(z - zero_) * 1000.0);
        strayMs_ = bench::P95(stray);
    }

    pa_simple* stream_ = nullptr;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::vector<std::int16_t> samples_;
    std::vector<double> delaysMs_;
    double zero_ = 0;
    double strayMs_ = 0;
};

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
    MonitorRecorder recorder(monitor);
    if (!recorder.ok()) return 1;
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
            for (const Call& c : calls) std::fprintf(f, "%.1f\n", (c.at - recorder.timeOf(0)) * kRate);
            for (std::size_t on : onsets) std::fprintf(f, "onset %zu\n", on);
            std::fclose(f);
        }
    }
    // Tones and onsets in order; a tone's onset comes after its call and
    // before the next tone's (they never overlap), else the match is off.
    std::vector<double> afterPause, running;
    std::size_t o = 0, unmatched = 0;
    for (std::size_t c = 0; c < calls.size(); ++c) {
        while (o < onsets.size() && recorder.timeOf(onsets[o]) < calls[c].at) ++o;
        const double next = c + 1 < calls.size() ? calls[c + 1].at + 0.2 : 1e300;
        if (o == onsets.size() || recorder.timeOf(onsets[o]) > next) {
            ++unmatched;
            continue;
        }
        const double ms = (recorder.timeOf(onsets[o]) - calls[c].at) * 1000.0;
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
