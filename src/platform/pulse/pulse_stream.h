#pragma once
// One connection to a PulseAudio server and its playback stream (mono S16 at
// PulseTone::kRate), on a main loop of its own that the calling thread runs
// (iterate). What the tone engine needs of it: writing, the sink's delay, draining, and word of underruns.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/pulse/pulse_library.h"

namespace pulse {

class PulseStream {
public:
    struct Hooks {
        std::function<void(pa_mainloop*)> loopChanged;  // the loop to wake from other threads, or null
        std::function<bool()> stopRequested;            // connecting gives up when true
        std::function<void()> underrun;                 // ran dry while `feeding`
    };
    PulseStream(const PulseLibrary& pa, Hooks hooks) : pa_(pa), hooks_(std::move(hooks)) {}
    ~PulseStream();
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // Connects (server as for pa_context_connect; empty: the default) and
    // opens the stream; false when that failed or a stop was requested.
    bool open(const std::string& server);
    std::string why() const;  // the last error, as the library words it
    bool good() const;        // connection and stream still up

    // Runs the main loop once: waits for the server, a wake-up or timeoutMs (-1: no limit).
    bool iterate(int timeoutMs);
    bool write(const std::vector<std::int16_t>& samples);
    // Waits until what was written has been played, or `until`.
    bool drain(std::chrono::steady_clock::time_point until);

    // Asks the server for its play position, unless an answer is awaited.
    void refreshTiming();
    // How long the sink holds data before it is heard, in frames (at the
    // server's last report: refreshTiming asks for a new one).
    std::int64_t sinkDelay() const;
    // What the stream was opened for: kLatencyMs, or kPipeWireLatencyMs on PipeWire.
    int latencyMs() const { return latencyMs_; }
    std::int64_t written() const { return written_; }  // frames, the stream's whole timeline
    bool feeding = false;  // tones are coming: running dry now is an underrun (and ends the run)

private:
    static void OnUnderflow(pa_stream*, void* self);
    static void OnTiming(pa_stream*, int, void* self);

    const PulseLibrary& pa_;
    Hooks hooks_;
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::int64_t written_ = 0;
    int latencyMs_ = 0;
    bool timingAsked_ = false;
};

}  // namespace pulse
