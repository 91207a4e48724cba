#include "platform/pulse/pulse_stream.h"

#include <cstring>

#include "platform/pulse/pulse_tone.h"

namespace pulse {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 50;  // while connecting or draining: how often to look at the stop flag

std::uint32_t BytesForMs(int ms)
{
    return std::uint32_t(PulseTone::kRate / 1000 * ms * sizeof(std::int16_t));
}

std::int64_t FramesForUsec(pa_usec_t usec) { return std::int64_t(usec * PulseTone::kRate / 1'000'000); }

}  // namespace

PulseStream::~PulseStream()
{
    if (stream_) {
        pa_.pa_stream_disconnect(stream_);
        pa_.pa_stream_unref(stream_);
    }
    if (context_) {
        pa_.pa_context_disconnect(context_);
        pa_.pa_context_unref(context_);
    }
    if (loop_) {
        hooks_.loopChanged(nullptr);
        pa_.pa_mainloop_free(loop_);
    }
}

std::string PulseStream::why() const
{
    return context_ ? pa_.pa_strerror(pa_.pa_context_errno(context_)) : "libpulse: no main loop";
}

bool PulseStream::good() const
{
    return context_ && stream_ && PA_CONTEXT_IS_GOOD(pa_.pa_context_get_state(context_)) &&
           PA_STREAM_IS_GOOD(pa_.pa_stream_get_state(stream_));
}

bool PulseStream::iterate(int timeoutMs)
{
    return pa_.pa_mainloop_prepare(loop_, timeoutMs < 0 ? -1 : timeoutMs * 1000) >= 0 &&
           pa_.pa_mainloop_poll(loop_) >= 0 && pa_.pa_mainloop_dispatch(loop_) >= 0;
}

bool PulseStream::open(const std::string& server)
{
    loop_ = pa_.pa_mainloop_new();
    if (!loop_) return false;
    hooks_.loopChanged(loop_);
    pa_proplist* props = pa_.pa_proplist_new();
    pa_.pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Belmora");
    pa_.pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
    context_ = pa_.pa_context_new_with_proplist(pa_.pa_mainloop_get_api(loop_), "Belmora", props);
    bool ok = context_ && pa_.pa_context_connect(context_, server.empty() ? nullptr : server.c_str(),
                                                 PA_CONTEXT_NOFLAGS, nullptr) >= 0;
    while (ok && pa_.pa_context_get_state(context_) != PA_CONTEXT_READY)
        ok = PA_CONTEXT_IS_GOOD(pa_.pa_context_get_state(context_)) && !hooks_.stopRequested() &&
             iterate(kPollMs);
    // Which server: PipeWire's names itself "PulseAudio (on PipeWire ...)".
    bool pipewire = false;
    bool answered = false;
    struct Asked {
        bool* pipewire;
        bool* answered;
    } asked{&pipewire, &answered};
    if (pa_operation* op = ok ? pa_.pa_context_get_server_info(
                                    context_,
                                    [](pa_context*, const pa_server_info* info, void* data) {
                                        auto* a = static_cast<Asked*>(data);
                                        *a->pipewire = info && info->server_name &&
                                                       std::strstr(info->server_name, "PipeWire");
                                        *a->answered = true;
                                    },
                                    &asked)
                              : nullptr) {
        while (ok && !answered)
            ok = PA_CONTEXT_IS_GOOD(pa_.pa_context_get_state(context_)) && !hooks_.stopRequested() &&
                 iterate(kPollMs);
        pa_.pa_operation_unref(op);
    }
    if (!ok) {
        pa_.pa_proplist_free(props);
        return false;
    }
    latencyMs_ = pipewire ? PulseTone::kPipeWireLatencyMs : PulseTone::kLatencyMs;

    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = PulseTone::kRate;
    format.channels = 1;
    // PipeWire's pulse server runs its graph at the quantum its streams ask
    // for here (5.3 ms, about minreq); PulseAudio ignores it.
    pa_.pa_proplist_sets(props, "node.latency", "256/48000");
    stream_ = pa_.pa_stream_new_with_proplist(context_, "toni", &format, nullptr, props);
    pa_.pa_proplist_free(props);
    if (!stream_) return false;
    pa_.pa_stream_set_underflow_callback(stream_, &PulseStream::OnUnderflow, this);

    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    // With PA_STREAM_ADJUST_LATENCY the server splits tlength between the
    // sink and the stream's own buffer: it is the whole latency.
    attr.tlength = BytesForMs(latencyMs_);
    // A stream that runs dry waits for the next frame instead of running on
    // in silence, which would swallow the start of the next tone.
    attr.prebuf = sizeof(std::int16_t);
    attr.minreq = BytesForMs(PulseTone::kMinRequestMs);
    attr.fragsize = std::uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa_.pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) return false;
    while (pa_.pa_stream_get_state(stream_) != PA_STREAM_READY)
        if (!good() || hooks_.stopRequested() || !iterate(kPollMs)) return false;
    return true;
}

bool PulseStream::write(const std::vector<std::int16_t>& samples)
{
    if (samples.empty()) return true;
    if (pa_.pa_stream_write(stream_, samples.data(), samples.size() * sizeof(std::int16_t), nullptr, 0,
                            PA_SEEK_RELATIVE) < 0)
        return false;
    written_ += std::int64_t(samples.size());
    return true;
}

bool PulseStream::drain(Clock::time_point until)
{
    pa_operation* op = pa_.pa_stream_drain(stream_, nullptr, nullptr);
    if (!op) return false;
    bool ok = true;
    while (ok && pa_.pa_operation_get_state(op) == PA_OPERATION_RUNNING && Clock::now() < until)
        ok = good() && iterate(kPollMs);
    pa_.pa_operation_unref(op);
    return ok;
}

std::int64_t PulseStream::sinkDelay() const
{
    const pa_timing_info* info = pa_.pa_stream_get_timing_info(stream_);
    return info ? FramesForUsec(info->sink_usec + info->transport_usec) : 0;
}

void PulseStream::refreshTiming()
{
    if (timingAsked_) return;
    if (pa_operation* op = pa_.pa_stream_update_timing_info(stream_, &PulseStream::OnTiming, this)) {
        timingAsked_ = true;
        pa_.pa_operation_unref(op);
    }
}

void PulseStream::OnTiming(pa_stream*, int, void* self)
{
    static_cast<PulseStream*>(self)->timingAsked_ = false;
}

void PulseStream::OnUnderflow(pa_stream*, void* self)
{
    auto* stream = static_cast<PulseStream*>(self);
    if (!stream->feeding) return;
    stream->hooks_.underrun();
    // The stream plays on from wherever the next frame is written: the next
    // tone starts a run of its own, with a timeline of its own, instead of
    // every tone after it coming as late as the stall that ran it dry.
    stream->feeding = false;
}

}  // namespace pulse
