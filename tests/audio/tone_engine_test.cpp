// The tone engine of the Qt build, heard from a private sound server's null
// sink (run through tests/platform/qt/run_in_session.sh --pulse): tones keep
// the rhythm of the calls that made them, two calls are two tones even at one
// frequency, and the last tones are heard whole when the engine goes; and with
// two busy loops on the machine, every tone still comes whole and soon after
// its call, and back-to-back growls keep the pauses of their calls.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <algorithm>

#include "clocked_recording.h"
#include "platform/pulse/pulse_tone.h"
#include "tone_analysis.h"

namespace {

using pulse::PulseTone;
using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Records the null sink's monitor while it lives.
class Recorder {
public:
    Recorder() : path_("/tmp/belmora-engine-" + std::to_string(getpid()) + ".raw")
    {
        const std::string monitor = std::string(std::getenv("BELMORA_TEST_SINK")) + ".monitor";
        pid_ = fork();
        if (pid_ == 0) {
            execlp("parecord", "parecord", "-d", monitor.c_str(), "--format=s16le", "--rate=48000",
                   "--channels=1", "--raw", "--latency-msec=20", path_.c_str(), (char*)nullptr);
            _exit(127);
        }
    }
    ~Recorder()
    {
        if (pid_ > 0) stop();
        std::remove(path_.c_str());
    }
    std::vector<std::int16_t> stop()
    {
        kill(pid_, SIGINT);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        std::ifstream in(path_, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

class ToneEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("PULSE_SERVER") || !std::getenv("BELMORA_TEST_SINK"))
            GTEST_SKIP() << "no private sound server (run through run_in_session.sh --pulse)";
    }
};

TEST_F(ToneEngine, KeepsTheRhythmOfTheCallsAndPlaysTheLastToneWhole)
{
    Recorder recorder;
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // an idle null sink wakes up

    struct Call {
        int hz, ms;
        int pauseAfterMs;  // the program's own pause before the next call
        Clock::time_point at;
    };
    std::vector<Call> calls = {
        {400, 300, 0, {}}, {400, 200, 0, {}},                     // a counted key: back to back, one pitch
        {70, 10, 0, {}},   {70, 10, 0, {}},   {70, 10, 10, {}},   // growls, then one a tick later
        {70, 10, 0, {}},   {800, 100, 0, {}}, {500, 100, 0, {}},  // the end of the closing tones
    };
    {
        PulseTone tone;
        ASSERT_TRUE(tone.ready());
        for (Call& c : calls) {
            c.at = Clock::now();
            tone.play(c.hz, c.ms);
            if (c.pauseAfterMs) std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseAfterMs));
        }
    }  // the program ends right after its last tone
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto heard = tone_analysis::FindTones(recorder.stop());

    ASSERT_EQ(heard.size(), calls.size()) << [&] {
        std::string all;
        for (const auto& t : heard) all += tone_analysis::Describe(t) + "\n";
        return all;
    }();
    for (std::size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE("tone " + std::to_string(k + 1) + ": " + tone_analysis::Describe(heard[k]));
        EXPECT_NEAR(heard[k].frequencyHz, calls[k].hz, calls[k].hz * 0.01);
        EXPECT_NEAR(heard[k].lengthMs(kRate), calls[k].ms, 0.1) << "whole, the last one too";
        EXPECT_TRUE(heard[k].fullFirstHalf);
        if (k + 1 == calls.size()) break;
        // The silence after a tone is the time from its end to the next call,
        // as the program lived it; and never nothing.
        const double pause = Ms(calls[k + 1].at - calls[k].at) - calls[k].ms;
        const double silence =
            (double(heard[k + 1].start) - double(heard[k].start + heard[k].frames)) * 1000.0 / kRate;
        std::printf("tone %zu: %s; then %.3f ms of silence (the calls paused %.3f ms)\n", k + 1,
                    tone_analysis::Describe(heard[k]).c_str(), silence, pause);
        EXPECT_GT(silence, 0.0);
        EXPECT_NEAR(silence, std::max(pause, 1000.0 / kRate), 1.0) << "pause of the calls " << pause << " ms";
    }
}

// Two processes that only spin, one per core of the test machine, stopped by PID.
class BusyLoops {
public:
    BusyLoops()
    {
        for (pid_t& pid : pids_)
            if ((pid = fork()) == 0)
                for (volatile unsigned long n = 0;; n = n + 1) {}
    }
    ~BusyLoops()
    {
        for (pid_t pid : pids_)
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
    }

private:
    pid_t pids_[2] = {-1, -1};
};

TEST_F(ToneEngine, UnderLoadEveryToneComesWholeAndSoon)
{
    PulseTone tone;
    ASSERT_TRUE(tone.ready());
    tone_analysis::ClockedRecording recorder(std::string(std::getenv("BELMORA_TEST_SINK")) + ".monitor",
                                             "belmora-test");
    ASSERT_TRUE(recorder.ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // an idle null sink wakes up

    // Twenty times a key's tone after a pause, then growls back to back.
    struct Call {
        int hz, ms;
        Clock::time_point at;
    };
    std::vector<Call> calls;
    {
        BusyLoops busy;
        for (int k = 0; k < 20; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            calls.push_back({400, 50, Clock::now()});
            tone.play(400, 50);
            for (int g = 0; g < 5; ++g) {
                calls.push_back({70, 10, Clock::now()});
                tone.play(70, 10);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    recorder.stop();
    const auto heard = tone_analysis::FindTones(recorder.samples());

    ASSERT_EQ(heard.size(), calls.size());
    std::vector<double> latencies;
    int stretched = 0;
    for (std::size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE("tone " + std::to_string(k + 1) + ": " + tone_analysis::Describe(heard[k]));
        EXPECT_NEAR(heard[k].frequencyHz, calls[k].hz, calls[k].hz * 0.01);
        EXPECT_NEAR(heard[k].lengthMs(kRate), calls[k].ms, 0.1);
        EXPECT_TRUE(heard[k].fullFirstHalf);
        latencies.push_back(Ms(recorder.timeOf(heard[k].start) - calls[k].at));
        if (k + 1 == calls.size() || calls[k + 1].hz != 70) continue;
        // Back to back: the silence is the calls' own pause. A sound server
        // held up on a busy machine for longer than the stream's buffer
        // (PulseAudio's main thread, here, now and then) lengthens it by as
        // much as it was late, but never by more than a tone's length, and
        // never shortens it.
        const double pause = Ms(calls[k + 1].at - calls[k].at) - calls[k].ms;
        const double silence =
            (double(heard[k + 1].start) - double(heard[k].start + heard[k].frames)) * 1000.0 / kRate;
        EXPECT_GE(silence, std::max(pause, 1000.0 / kRate) - 1.0) << "pause of the calls " << pause << " ms";
        EXPECT_LE(silence, pause + PulseTone::kLatencyMs) << "pause of the calls " << pause << " ms";
        if (silence > pause + 1.0) ++stretched;
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    std::printf(
        "call to sound under load: median %.1f ms, longest %.1f ms; %d underruns, %d pauses between "
        "growls stretched\n",
        median, latencies.back(), tone.underruns(), stretched);
    EXPECT_LE(median, 60.0);
}

}  // namespace
