#include "platform/pulse/pulse_tone.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/pulse/pulse_library.h"
#include "platform/pulse/pulse_stream.h"

namespace pulse {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int16_t kAmplitude = 8000;   // about a quarter of full scale
constexpr std::size_t kMaxQueuedTones = 8;  // a stalled server must not pile tones up
constexpr int kTimingEveryMs = 100;         // while tones come: the server is asked for its timing

// The feeder must come round within a few milliseconds even on a busy
// machine: it asks for round-robin real-time scheduling at a low priority,
// or failing that for a higher nice level, where the system allows either
// (root, an rtprio or nice limit, as audio programs are usually given); else
// it runs as any other thread.
void RaisePriority()
{
    sched_param param{};
    param.sched_priority = std::max(sched_get_priority_min(SCHED_RR), 5);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0) return;
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), -10);
}

std::size_t FramesForMs(int ms)
{
    return std::size_t(PulseTone::kRate) * std::size_t(std::max(ms, 0)) / 1000;
}

// Frames of stream time in a stretch of wall time (negative for negative stretches).
std::int64_t FramesFor(Clock::duration d)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return std::int64_t(ns) * PulseTone::kRate / 1'000'000'000;
}

}  // namespace

const char* const PulseTone::kNoServerWarning =
    "belmora: nessun server audio (PulseAudio) raggiungibile: i toni saranno silenziosi";

// Shared by the owner and the feeder thread, which may outlive the owner.
struct PulseTone::Feeder {
    struct Tone {
        Clock::time_point called;
        Clock::time_point ends;  // called + its length
        std::vector<std::int16_t> samples;
    };

    std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;  // the stream is open
    bool warm = false;       // and the server has taken data for it
    bool failed = false;     // connecting or writing failed: the thread has ended
    std::string error;
    bool stop = false;      // the owner is gone or gave up
    bool finished = false;  // the thread is about to return
    std::deque<Tone> tones;
    pa_mainloop* loop = nullptr;  // while the thread runs it; woken when tones come
    std::atomic<int> underruns{0};

    void run(const std::string& server);
    // With the mutex held.
    void wake()
    {
        if (loop) PulseLibrary::Get().pa_mainloop_wakeup(loop);
    }
    void fail(std::string why)
    {
        std::lock_guard lock(mutex);
        failed = true;
        error = std::move(why);
        changed.notify_all();
    }
};

void PulseTone::Feeder::run(const std::string& server)
{
    const PulseLibrary& pa = PulseLibrary::Get();
    if (!pa.ok) {
        fail(pa.error);
        return;
    }
    PulseStream::Hooks hooks;
    hooks.loopChanged = [this](pa_mainloop* l) {
        std::lock_guard lock(mutex);
        loop = l;
    };
    hooks.stopRequested = [this] {
        std::lock_guard lock(mutex);
        return stop;
    };
    hooks.underrun = [this] { ++underruns; };
    PulseStream session(pa, std::move(hooks));
    RaisePriority();
    if (!session.open(server)) {
        fail(session.why());
        return;
    }
    {
        std::lock_guard lock(mutex);
        connected = true;
        // Tones whose time went by while connecting are not worth hearing late.
        const auto now = Clock::now();
        while (!tones.empty() && tones.front().ends <= now) tones.pop_front();
        changed.notify_all();
    }
    // Warm-up: a little silence, played out. The sink comes round to a new
    // stream in its own time (an idle null sink: up to seconds); tones made
    // meanwhile wait for it.
    if (!session.write(std::vector<std::int16_t>(FramesForMs(kFillStepMs), 0)) ||
        !session.drain(Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs))) {
        fail(session.why());
        return;
    }
    {
        std::lock_guard lock(mutex);
        warm = true;
        changed.notify_all();
    }

    // The timeline while tones come: a call at wall time t is heard at frame
    // base + (t - origin), the stream's latency after it.
    const std::int64_t latency = std::int64_t(FramesForMs(session.latencyMs()));
    Clock::time_point origin, lastEnd,
        timed;  // lastEnd: when the last tone handed over ends, by the wall clock
    std::int64_t base = 0;
    std::int64_t toneEnd = -1;  // the frame after the last tone
    const auto frameOf = [&](Clock::time_point t) { return base + FramesFor(t - origin); };
    // A run of tones starts on a stream that has run dry: what is written now
    // is heard once the sink has taken it, after its own delay.
    const auto setTimeline = [&](Clock::time_point now) {
        base = session.written() + std::max<std::int64_t>(latency - session.sinkDelay(), 0);
        origin = now;
    };

    std::vector<std::int16_t> chunk;
    for (;;) {
        std::deque<Tone> batch;
        bool stopping = false;
        {
            std::lock_guard lock(mutex);
            batch.swap(tones);
            stopping = stop;
        }
        const auto now = Clock::now();
        chunk.clear();
        const auto position = [&] { return session.written() + std::int64_t(chunk.size()); };
        for (Tone& tone : batch) {
            // The first tone of a run never starts sooner than one called now
            // would: the sink, which has run ahead of a dry stream, would
            // lose its start.
            std::int64_t earliest = toneEnd + 1;
            if (!session.feeding) {
                setTimeline(now);
                earliest = std::max(earliest, base);
            }
            session.feeding = true;
            // At its call's place, or right after what is already written when
            // the call came late (a stalled feeder, a tone made while connecting);
            // never in the frame where the last tone ended: two calls are two tones.
            const std::int64_t at = std::max({frameOf(tone.called), position(), earliest});
            chunk.insert(chunk.end(), std::size_t(at - position()), 0);
            chunk.insert(chunk.end(), tone.samples.begin(), tone.samples.end());
            toneEnd = position();
            lastEnd = std::max(lastEnd, tone.ends);
        }
        if (session.feeding && batch.empty()) {
            if (now - lastEnd > std::chrono::milliseconds(kIdleAfterMs)) {
                session.feeding = false;  // idle: the stream runs dry and waits
            } else {
                if (frameOf(now) > position()) chunk.assign(std::size_t(frameOf(now) - position()), 0);
            }
        }
        if (!session.write(chunk) || !session.good()) {
            fail(session.why());
            return;
        }
        if (stopping) break;
        // The sink's delay, for the next run's start.
        if (session.feeding && now - timed > std::chrono::milliseconds(kTimingEveryMs)) {
            session.refreshTiming();
            timed = now;
        }
        if (!session.iterate(session.feeding ? kFillStepMs : -1) || !session.good()) {
            fail(session.why());
            return;
        }
    }
    // The last tones are in the stream: let them be heard before it closes.
    if (session.feeding) session.drain(Clock::now() + std::chrono::milliseconds(kDrainLimitMs));
    std::lock_guard lock(mutex);
    finished = true;
    changed.notify_all();
}

PulseTone::PulseTone(std::string server, int connectTimeoutMs)
    : feeder_(std::make_shared<Feeder>()),
      deadline_(Clock::now() + std::chrono::milliseconds(connectTimeoutMs))
{
    std::thread([feeder = feeder_, server = std::move(server)] { feeder->run(server); }).detach();
}

PulseTone::~PulseTone()
{
    std::unique_lock lock(feeder_->mutex);
    feeder_->stop = true;
    feeder_->wake();
    feeder_->changed.notify_all();
    // A feeding thread plays out what it holds and stops; one still
    // connecting is left to finish by itself.
    if (feeder_->connected && !feeder_->failed)
        feeder_->changed.wait_for(lock, std::chrono::milliseconds(kDrainLimitMs),
                                  [&] { return feeder_->finished || feeder_->failed; });
}

void PulseTone::poll(Clock::time_point until)
{
    std::unique_lock lock(feeder_->mutex);
    if (state_ == State::Connecting) {
        const bool known = feeder_->changed.wait_until(lock, std::min(until, deadline_),
                                                       [&] { return feeder_->connected || feeder_->failed; });
        if (!known) {
            if (Clock::now() < deadline_) return;  // still connecting: ask again at the next tone
            feeder_->stop = true;
            feeder_->tones.clear();
            feeder_->wake();
            lock.unlock();
            state_ = State::Silent;
            warnOnce("nessuna risposta entro il tempo limite");
            return;
        }
        state_ = State::Ready;
    }
    if (state_ == State::Ready && feeder_->failed) {
        const std::string error = feeder_->error;
        lock.unlock();
        state_ = State::Silent;
        warnOnce(error);
    }
}

bool PulseTone::ready()
{
    poll(deadline_);
    if (state_ != State::Ready) return false;
    std::unique_lock lock(feeder_->mutex);
    return feeder_->changed.wait_until(lock, deadline_, [&] { return feeder_->warm || feeder_->failed; }) &&
           !feeder_->failed;
}

int PulseTone::underruns() const { return feeder_->underruns.load(); }

void PulseTone::warnOnce(const std::string& detail)
{
    if (warned_) return;
    warned_ = true;
    if (detail.empty())
        std::fprintf(stderr, "%s\n", kNoServerWarning);
    else
        std::fprintf(stderr, "%s (%s)\n", kNoServerWarning, detail.c_str());
    std::fflush(stderr);
}

std::vector<std::int16_t> PulseTone::SquareWave(int frequencyHz, int durationMs)
{
    const std::size_t frames = FramesForMs(durationMs);
    std::vector<std::int16_t> samples(frames, 0);
    if (frequencyHz <= 0 || frequencyHz > kRate / 2) return samples;
    // Half-period k spans frames [k*rate/(2f), (k+1)*rate/(2f)): exact on average
    // for any frequency, with no drift over long tones.
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint64_t half = std::uint64_t(i) * 2u * std::uint64_t(frequencyHz) / kRate;
        samples[i] = (half % 2 == 0) ? kAmplitude : std::int16_t(-kAmplitude);
    }
    return samples;
}

void PulseTone::play(int frequencyHz, int durationMs)
{
    const auto called = Clock::now();
    const auto end = called + std::chrono::milliseconds(std::max(durationMs, 0));
    poll(called);  // never waits: a tone made while connecting is kept for the stream
    if (state_ != State::Silent && durationMs > 0) {
        std::vector<std::int16_t> samples = SquareWave(frequencyHz, durationMs);
        std::lock_guard lock(feeder_->mutex);
        if (feeder_->tones.size() >= kMaxQueuedTones) feeder_->tones.pop_front();
        feeder_->tones.push_back({called, end, std::move(samples)});
        feeder_->wake();
    }
    std::this_thread::sleep_until(end);
}

}  // namespace pulse
