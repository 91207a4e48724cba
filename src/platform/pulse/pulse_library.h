#pragma once
// The PulseAudio client library (libpulse.so.0), opened at run time rather
// than linked: with the codec libraries it pulls in, loading it adds about
// 10 ms to the start of a program that has nothing to play yet. Only the
// functions the tone engine calls are looked up; without the library (or
// with one that lacks any of them) tones are silent.
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>
#include <pulse/stream.h>

#include <string>

namespace pulse {

#define BELMORA_PULSE_FUNCTIONS(X)      \
    X(pa_mainloop_new)                  \
    X(pa_mainloop_get_api)              \
    X(pa_mainloop_prepare)              \
    X(pa_mainloop_poll)                 \
    X(pa_mainloop_dispatch)             \
    X(pa_mainloop_wakeup)               \
    X(pa_mainloop_free)                 \
    X(pa_proplist_new)                  \
    X(pa_proplist_sets)                 \
    X(pa_proplist_free)                 \
    X(pa_context_new_with_proplist)     \
    X(pa_context_connect)               \
    X(pa_context_get_state)             \
    X(pa_context_errno)                 \
    X(pa_context_get_server_info)       \
    X(pa_context_disconnect)            \
    X(pa_context_unref)                 \
    X(pa_stream_new_with_proplist)      \
    X(pa_stream_connect_playback)       \
    X(pa_stream_get_state)              \
    X(pa_stream_write)                  \
    X(pa_stream_update_timing_info)     \
    X(pa_stream_get_timing_info)        \
    X(pa_stream_set_underflow_callback) \
    X(pa_stream_drain)                  \
    X(pa_stream_disconnect)             \
    X(pa_stream_unref)                  \
    X(pa_operation_get_state)           \
    X(pa_operation_unref)               \
    X(pa_strerror)

struct PulseLibrary {
#define BELMORA_PULSE_MEMBER(name) decltype(&::name) name = nullptr;
    BELMORA_PULSE_FUNCTIONS(BELMORA_PULSE_MEMBER)
#undef BELMORA_PULSE_MEMBER
    bool ok = false;
    std::string error;  // why it could not be opened

    // Opened once, on first use, and never closed.
    static const PulseLibrary& Get();

private:
    PulseLibrary();
};

}  // namespace pulse
