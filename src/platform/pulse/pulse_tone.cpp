#include "platform/pulse/pulse_tone.h"

#include <dlfcn.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <type_traits>

namespace pulse {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int16_t kAmplitude = 8000;   // about a quarter of full scale
constexpr std::size_t kMaxQueuedTones = 8;  // a stalled server must not pile tones up

std::size_t FramesForMs(int ms)
{
    return std::size_t(PulseTone::kRate) * std::size_t(std::max(ms, 0)) / 1000;
}

// Frames of stream time in a stretch of wall time (negative stretches give 0).
std::size_t FramesFor(Clock::duration d)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return ns <= 0 ? 0 : std::size_t(ns * PulseTone::kRate / 1'000'000'000);
}

// The client library, opened on the feeder thread rather than linked: with
// the codec libraries it pulls in, loading it adds about 10 ms to the start
// of a program that has nothing to play yet. Without it tones are silent.
struct PulseLibrary {
    decltype(&::pa_simple_new) simpleNew = nullptr;
    decltype(&::pa_simple_write) write = nullptr;
    decltype(&::pa_simple_drain) drain = nullptr;
    decltype(&::pa_simple_free) free = nullptr;
    decltype(&::pa_strerror) strerror = nullptr;
    std::string error;  // why it could not be opened

    static const PulseLibrary& Get()
    {
        static const PulseLibrary library;  // opened once, never closed
        return library;
    }

private:
    PulseLibrary()
    {
        void* handle = dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = dlerror();
            return;
        }
        const auto find = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
            if (!fn && error.empty()) error = std::string("libpulse: ") + name + " missing";
        };
        find(simpleNew, "pa_simple_new");
        find(write, "pa_simple_write");
        find(drain, "pa_simple_drain");
        find(free, "pa_simple_free");
        find(strerror, "pa_strerror");
        if (!error.empty()) simpleNew = nullptr;
    }
};

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

    void run(const std::string& server);
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
    if (!pa.simpleNew) {
        fail(pa.error);
        return;
    }
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = kRate;
    format.channels = 1;
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(FramesForMs(kBufferMs) * sizeof(std::int16_t));
    // A stream that runs dry waits for the next frame instead of running on
    // in silence, which would swallow the start of the next tone.
    attr.prebuf = sizeof(std::int16_t);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(-1);
    int err = 0;
    pa_simple* stream = pa.simpleNew(server.empty() ? nullptr : server.c_str(), "Belmora", PA_STREAM_PLAYBACK,
                                     nullptr, "toni", &format, nullptr, &attr, &err);
    if (!stream) {
        fail(pa.strerror(err));
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
    const std::vector<std::int16_t> warmUp(FramesForMs(kFillStepMs), 0);
    if (pa.write(stream, warmUp.data(), warmUp.size() * sizeof(std::int16_t), &err) < 0 ||
        pa.drain(stream, &err) < 0) {
        pa.free(stream);
        fail(pa.strerror(err));
        return;
    }
    {
        std::lock_guard lock(mutex);
        warm = true;
        changed.notify_all();
    }

    // The stream's timeline while tones come: frame `written` is the next one
    // to write, and the frame of wall time t is (t - origin) in frames.
    bool running = false;
    Clock::time_point origin;
    Clock::time_point lastEnd;  // when the last tone handed over ends, by the wall clock
    std::size_t written = 0;
    std::size_t toneEnd = 0;  // the frame after the last tone
    const auto frameOf = [&](Clock::time_point t) { return FramesFor(t - origin); };

    std::vector<std::int16_t> chunk;
    for (;;) {
        std::deque<Tone> batch;
        bool stopping = false;
        {
            std::unique_lock lock(mutex);
            const auto due = [&] { return stop || !tones.empty(); };
            if (running)
                changed.wait_for(lock, std::chrono::milliseconds(kFillStepMs), due);
            else
                changed.wait(lock, due);
            batch.swap(tones);
            stopping = stop;
        }
        const auto now = Clock::now();
        chunk.clear();
        for (Tone& tone : batch) {
            if (!running) {
                running = true;
                origin = now - std::chrono::milliseconds(kLeadInMs);
                written = 0;
                toneEnd = 0;
            }
            // At its call's place, or right after what is already written when
            // the call came late (a stalled feeder, a tone made while connecting);
            // never in the frame where the last tone ended: two calls are two tones.
            const std::size_t at = std::max({frameOf(tone.called), written, toneEnd + 1});
            chunk.insert(chunk.end(), at - written, 0);
            chunk.insert(chunk.end(), tone.samples.begin(), tone.samples.end());
            written = at + tone.samples.size();
            toneEnd = written;
            lastEnd = std::max(lastEnd, tone.ends);
        }
        if (running && batch.empty()) {
            if (now - lastEnd > std::chrono::milliseconds(kIdleAfterMs)) {
                running = false;  // idle: the stream runs dry and waits
            } else if (frameOf(now) > written) {
                chunk.assign(frameOf(now) - written, 0);
                written += chunk.size();
            }
        }
        if (!chunk.empty() && pa.write(stream, chunk.data(), chunk.size() * sizeof(std::int16_t), &err) < 0) {
            pa.free(stream);
            fail(pa.strerror(err));
            return;
        }
        if (stopping) break;
    }
    // The last tones are in the stream: let them be heard before it closes.
    if (running) pa.drain(stream, &err);
    pa.free(stream);
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
        feeder_->changed.notify_all();
    }
    std::this_thread::sleep_until(end);
}

}  // namespace pulse
