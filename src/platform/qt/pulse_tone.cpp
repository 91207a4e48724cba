#include "platform/qt/pulse_tone.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace belmora_qt {

namespace {

constexpr std::int16_t kAmplitude = 8000;  // about a quarter of full scale
constexpr std::size_t kMaxQueuedTones = 8;  // a stalled server must not pile tones up

std::size_t FramesForMs(int ms) {
    return std::size_t(PulseTone::kRate) * std::size_t(std::max(ms, 0)) / 1000;
}

}  // namespace

const char* const PulseTone::kNoServerWarning =
    "belmora: nessun server audio (PulseAudio) raggiungibile: i toni saranno silenziosi";

// Shared by the owner and the feeder thread, which may outlive the owner.
struct PulseTone::Feeder {
    std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;  // the stream is open and warm
    bool failed = false;     // connecting or writing failed: the thread has ended
    std::string error;
    bool stop = false;       // the owner is gone or gave up
    bool finished = false;   // the thread is about to return
    std::deque<std::vector<std::int16_t>> tones;

    void run(const std::string& server);
    void fail(std::string why) {
        std::lock_guard lock(mutex);
        failed = true;
        error = std::move(why);
        changed.notify_all();
    }
};

void PulseTone::Feeder::run(const std::string& server) {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = kRate;
    spec.channels = 1;
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(FramesForMs(kBufferMs) * sizeof(std::int16_t));
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(-1);
    int err = 0;
    pa_simple* stream = pa_simple_new(server.empty() ? nullptr : server.c_str(), "Belmora",
                                      PA_STREAM_PLAYBACK, nullptr, "toni", &spec, nullptr, &attr, &err);
    if (!stream) {
        fail(pa_strerror(err));
        return;
    }
    // Warm-up: the server sets the stream (and an idle sink) going.
    const std::vector<std::int16_t> warmUp(FramesForMs(20), 0);
    if (pa_simple_write(stream, warmUp.data(), warmUp.size() * sizeof(std::int16_t), &err) < 0) {
        pa_simple_free(stream);
        fail(pa_strerror(err));
        return;
    }
    {
        std::lock_guard lock(mutex);
        connected = true;
        changed.notify_all();
    }

    const std::vector<std::int16_t> silence(FramesForMs(kSilenceChunkMs), 0);
    for (;;) {
        std::vector<std::int16_t> tone;
        {
            std::lock_guard lock(mutex);
            if (stop)
                break;
            if (!tones.empty()) {
                tone = std::move(tones.front());
                tones.pop_front();
            }
        }
        // Each write returns once what it gave fits the buffer: silence paces
        // the loop at the sink's speed, and a tone waits behind a buffer at most.
        const std::vector<std::int16_t>& chunk = tone.empty() ? silence : tone;
        if (pa_simple_write(stream, chunk.data(), chunk.size() * sizeof(std::int16_t), &err) < 0) {
            pa_simple_free(stream);
            fail(pa_strerror(err));
            return;
        }
    }
    pa_simple_free(stream);
    std::lock_guard lock(mutex);
    finished = true;
    changed.notify_all();
}

PulseTone::PulseTone(std::string server, int connectTimeoutMs)
    : feeder_(std::make_shared<Feeder>()),
      deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs)) {
    std::thread([feeder = feeder_, server = std::move(server)] { feeder->run(server); }).detach();
}

PulseTone::~PulseTone() {
    std::unique_lock lock(feeder_->mutex);
    feeder_->stop = true;
    // A feeding thread stops within a write; one still connecting is left to
    // finish by itself.
    if (feeder_->connected && !feeder_->failed)
        feeder_->changed.wait_for(lock, std::chrono::milliseconds(500), [&] { return feeder_->finished; });
}

void PulseTone::poll(std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(feeder_->mutex);
    if (state_ == State::Connecting) {
        const bool known = feeder_->changed.wait_until(lock, std::min(until, deadline_), [&] {
            return feeder_->connected || feeder_->failed;
        });
        if (!known) {
            if (std::chrono::steady_clock::now() < deadline_)
                return;  // still connecting: ask again at the next tone
            feeder_->stop = true;
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

bool PulseTone::ready() {
    poll(deadline_);
    return state_ == State::Ready;
}

void PulseTone::warnOnce(const std::string& detail) {
    if (warned_)
        return;
    warned_ = true;
    if (detail.empty())
        std::fprintf(stderr, "%s\n", kNoServerWarning);
    else
        std::fprintf(stderr, "%s (%s)\n", kNoServerWarning, detail.c_str());
    std::fflush(stderr);
}

std::vector<std::int16_t> PulseTone::SquareWave(int frequencyHz, int durationMs) {
    const std::size_t frames = FramesForMs(durationMs);
    std::vector<std::int16_t> samples(frames, 0);
    if (frequencyHz <= 0 || frequencyHz > kRate / 2)
        return samples;
    // Half-period k spans frames [k*rate/(2f), (k+1)*rate/(2f)): exact on average
    // for any frequency, with no drift over long tones.
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint64_t half = std::uint64_t(i) * 2u * std::uint64_t(frequencyHz) / kRate;
        samples[i] = (half % 2 == 0) ? kAmplitude : std::int16_t(-kAmplitude);
    }
    return samples;
}

void PulseTone::play(int frequencyHz, int durationMs) {
    const auto length = std::chrono::milliseconds(std::max(durationMs, 0));
    auto end = std::chrono::steady_clock::now() + length;
    poll(end);
    if (state_ == State::Ready && durationMs > 0) {
        end = std::max(end, std::chrono::steady_clock::now() + length);
        std::vector<std::int16_t> samples = SquareWave(frequencyHz, durationMs);
        std::lock_guard lock(feeder_->mutex);
        if (feeder_->tones.size() >= kMaxQueuedTones)
            feeder_->tones.pop_front();
        feeder_->tones.push_back(std::move(samples));
    }
    std::this_thread::sleep_until(end);
}

}  // namespace belmora_qt
