#pragma once
// Square-wave tones through PulseAudio, with the timing of a blocking beep.
//
// Implements
//   - play(f, d): d ms of square wave at f Hz, returning d ms after the call
//   - tones heard a fixed latency after their call, in the calls' own rhythm,
//     on PulseAudio (kLatencyMs) and on PipeWire's pulse server
//     (kPipeWireLatencyMs)
//   - connecting in the background, with a time limit; silent waits and one
//     warning without a server; the last tones played out at the end
// Does not implement
//   - following a sound card's clock where it drifts from the system's over a
//     long unbroken run of tones (runs start afresh after kIdleAfterMs)
//   - choosing a sink: the server's default takes the stream
//
// One playback stream is opened at start-up and kept for the program's life:
// opening a stream per tone stalls for a large fraction of a second. A feeder
// thread owns the stream; play(f, d) hands it d ms of square wave stamped with
// the time of the call and returns d ms (wall time) after it was called, never
// earlier, whatever the sound server does.
//
// What is heard keeps the program's own rhythm, a fixed latency (kLatencyMs)
// after the calls: while tones come, the feeder lays each one in the stream at
// the place of its call and fills the time between them with silence, a few
// milliseconds at a time (kFillStepMs). Back-to-back tones are heard back to
// back, with only the pause the program really made between them; tones
// spaced by a timer tick are heard spaced by that tick. Two calls are always
// two tones: at least one frame of silence parts them.
//
// A run of tones (calls no further apart than kIdleAfterMs) starts on a
// stream that has run dry: the first is laid after what the sink's own delay
// (as the server last reported it) leaves of kLatencyMs, and every later one
// at its call's place on the wall clock from there. The server keeps a small
// buffer for the stream (tlength kLatencyMs, sink included, with minreq
// kMinRequestMs): a feeder held up by a busy machine for longer than that can
// only lengthen a pause, never cut a tone: a tone is always handed over whole
// (a sound server held up that long can; see below). The feeder asks for a
// low real-time priority, or a raised nice level, where the system allows.
// The server's own play position is not used to place tones: once a stream
// has run dry, PulseAudio's clock for it runs on while its write index waits,
// and the two cannot be set against each other.
// A stream that runs dry stops until data comes (it is opened with a one-frame
// pre-buffer), so a tone that follows a pause never loses its start.
//
// Once no tone has come for kIdleAfterMs the feeder stops writing and lets the
// stream run dry: an idle program costs the sound server and itself nothing.
// The next tone starts the stream again, still kLatencyMs after its call: the
// silence before it is what the sink's own latency leaves of that.
//
// PipeWire's pulse server runs its graph at the quantum its streams ask for:
// the stream asks for a small one through its properties (node.latency), never
// through the environment. Its graph runs on a real-time thread that a busy
// machine does not hold up, and it holds a stream's data about a quantum
// longer than it reports: there the stream is asked for kPipeWireLatencyMs.
// PulseAudio's own daemon takes its clients' data on its main thread, which
// two busy loops on a two-core machine can hold up for over 20 ms: with a
// 30 ms stream a tone was now and then cut there, with kLatencyMs none was
// (the whole runs of tests/audio, under load).
//
// Connecting never holds the program up: the client library is opened, and
// the connection made, on the feeder thread. A little silence is played out
// first: a sink comes round to a new stream in its own time (an idle null
// sink: up to seconds). Tones played meanwhile are kept and heard then; only
// those over before the connection came are dropped.
// With no sound server, or one that stops answering, or none ready
// connectTimeoutMs after start-up, one warning line goes to stderr (once per
// PulseTone) and tones are silent waits of the same length.
//
// When the PulseTone goes (the program ends), what was already handed over is
// played to its end, waiting at most kDrainLimitMs.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pulse {

class PulseTone {
public:
    static constexpr int kRate = 48000;            // frames per second, mono S16
    static constexpr int kLatencyMs = 40;          // from a call to its tone heard (the stream's tlength)
    static constexpr int kPipeWireLatencyMs = 30;  // the same on PipeWire's pulse server
    static constexpr int kMinRequestMs = 5;        // the server asks for data in pieces this small
    static constexpr int kFillStepMs = 5;          // silence is written this often between tones
    static constexpr int kIdleAfterMs = 150;       // no tone for this long: the stream runs dry
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kDrainLimitMs = 1000;  // at the end, for the last tones to be heard

    // server: a PulseAudio server string ("unix:/path"); empty means the usual
    // default (PULSE_SERVER, client.conf, the user's session server).
    // Connecting starts at once, in the background.
    explicit PulseTone(std::string server = {}, int connectTimeoutMs = kConnectTimeoutMs);
    ~PulseTone();
    PulseTone(const PulseTone&) = delete;
    PulseTone& operator=(const PulseTone&) = delete;

    // Plays a tone of frequencyHz for durationMs and returns durationMs after the call.
    // Frequencies outside 1..kRate/2 and durations <= 0 are silent (the wait still holds).
    void play(int frequencyHz, int durationMs);

    // Waits for the connection attempt to end (at most until its time limit);
    // true when the stream is open and the server has taken its first data.
    bool ready();

    // How often the stream ran dry while tones were coming (not counting the
    // pauses where it is let run dry on purpose): each one lengthened a pause.
    int underruns() const;

    // The samples of one tone: square wave, starting with the high half-period.
    static std::vector<std::int16_t> SquareWave(int frequencyHz, int durationMs);

    static const char* const kNoServerWarning;

private:
    struct Feeder;
    enum class State { Connecting, Ready, Silent };
    // Learns how the connection went if that is known by `until` (or by the time
    // limit, whichever is first); gives up once the time limit has passed.
    // Ready streams turn Silent when the feeder reports a failure.
    void poll(std::chrono::steady_clock::time_point until);
    void warnOnce(const std::string& detail);

    std::shared_ptr<Feeder> feeder_;
    std::chrono::steady_clock::time_point deadline_;
    State state_ = State::Connecting;
    bool warned_ = false;
};

}  // namespace pulse
