#pragma once
// A recording of a sound server's source (a null sink's monitor) as S16 mono
// at 48 kHz, on a thread of its own while it lives, that knows where each of
// its samples was in time (steady_clock).
//
// The recording is read in 5 ms pieces; after each read the record stream
// reports its latency (pa_simple_get_latency: how long ago the next sample to
// be read came from the source, the source's own delay and what waits in the
// stream's buffer). The time of that read, less the reported latency, is when
// the next sample left the source; the median over all reads, less the
// samples' count, places sample 0. A recorder that falls behind reads late,
// not at the wrong place: the latency it is told covers what waits for it.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tone_analysis {

class ClockedRecording {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kRate = 48000;
    static constexpr std::size_t kPiece = kRate / 200;  // 5 ms

    ClockedRecording(const std::string& source, const char* client)
    {
        pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(kPiece * sizeof(std::int16_t));
        int err = 0;
        stream_ = pa_simple_new(nullptr, client, PA_STREAM_RECORD, source.c_str(), "monitor", &format,
                                nullptr, &attr, &err);
        if (!stream_) {
            why_ = "cannot record " + source + ": " + pa_strerror(err);
            return;
        }
        thread_ = std::thread([this] { run(); });
    }
    ~ClockedRecording() { stop(); }
    ClockedRecording(const ClockedRecording&) = delete;
    ClockedRecording& operator=(const ClockedRecording&) = delete;

    bool ok() const { return stream_ != nullptr; }
    const std::string& why() const { return why_; }

    void stop()
    {
        if (!thread_.joinable()) return;
        done_ = true;
        thread_.join();
        pa_simple_free(stream_);
    }

    // After stop().
    const std::vector<std::int16_t>& samples() const { return samples_; }
    Clock::time_point timeOf(std::size_t sample) const
    {
        return zero_ + std::chrono::nanoseconds(std::int64_t(double(sample) * 1e9 / kRate));
    }
    // The latency the record stream reported, in ms: what was taken off (median).
    double reportedDelayMs() const { return Quantile(delaysMs_, 0.5); }
    // How far single reads strayed from the median placing, in ms (p95):
    // the placing's own uncertainty.
    double strayMs() const { return strayMs_; }

private:
    // By the nearest-rank rule, as the benchmark tables count.
    static double Quantile(std::vector<double> v, double q)
    {
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        const auto rank = std::clamp<std::size_t>(std::size_t(q * double(v.size()) + 0.999999), 1, v.size());
        return v[rank - 1];
    }

    void run()
    {
        std::vector<std::int16_t> piece(kPiece);
        std::vector<double> zeros;  // seconds of the clock at which sample 0 left, one per read
        const auto seconds = [](Clock::time_point t) {
            return std::chrono::duration<double>(t.time_since_epoch()).count();
        };
        while (!done_ &&
               pa_simple_read(stream_, piece.data(), piece.size() * sizeof(std::int16_t), nullptr) >= 0) {
            const double at = seconds(Clock::now());
            samples_.insert(samples_.end(), piece.begin(), piece.end());
            const pa_usec_t latency = pa_simple_get_latency(stream_, nullptr);
            if (latency == pa_usec_t(-1)) continue;
            delaysMs_.push_back(double(latency) / 1000.0);
            zeros.push_back(at - double(latency) / 1e6 - double(samples_.size()) / kRate);
        }
        const double zero = Quantile(zeros, 0.5);
        zero_ = Clock::time_point(
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(zero)));
        std::vector<double> stray;
        for (double z : zeros) stray.push_back(std::abs(z - zero) * 1000.0);
        strayMs_ = Quantile(stray, 0.95);
    }

    pa_simple* stream_ = nullptr;
    std::string why_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::vector<std::int16_t> samples_;
    std::vector<double> delaysMs_;
    Clock::time_point zero_;
    double strayMs_ = 0;
};

}  // namespace tone_analysis
