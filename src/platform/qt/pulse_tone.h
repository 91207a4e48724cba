#pragma once
// Square-wave tones through PulseAudio, with the timing of a blocking beep.
//
// One playback stream is opened at start-up and kept for the program's life:
// opening a stream per tone stalls for a large fraction of a second. A feeder
// thread owns the stream and keeps it fed, with the tones it is handed and with
// silence in between, so the stream never runs dry: a stream that runs dry
// between tones loses the first milliseconds of the next one (measured on a
// null sink: 10 ms tones 10 ms apart came out 7.6-7.9 ms long). The buffer is
// 20 ms: with 10 ms, a busy two-core machine let the stream run dry in the
// middle of tones.
//
// play(f, d) hands d ms of square wave to the feeder and returns d ms (wall
// time) after it was called, never earlier; the tone is heard within about a
// buffer's length of the call. With no sound server, or one that stops
// answering, one warning line goes to stderr (once per PulseTone) and play()
// is a silent wait of the same length, so the caller's timing never changes.
//
// Connecting never holds the program up: pa_simple_new has no timeout of its
// own and runs on the feeder thread, together with a warm-up write (on a null
// sink the first write to a new stream can stall for about two seconds while
// the sink finishes a long idle block). Until the stream is ready, a tone waits
// for it at most its own length and is silent if it is not there by then; a
// stream that becomes ready during a tone plays that tone whole. If no stream
// is ready connectTimeoutMs after start-up, the attempt is given up (the thread
// finishes by itself, freeing whatever it opened) and the warning is printed.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace belmora_qt {

class PulseTone {
public:
    static constexpr int kRate = 48000;         // frames per second, mono S16
    static constexpr int kBufferMs = 20;        // target playback buffer
    static constexpr int kSilenceChunkMs = 5;   // what the feeder writes between tones
    static constexpr int kConnectTimeoutMs = 5000;

    // server: a PulseAudio server string ("unix:/path"); empty means the usual
    // default (PULSE_SERVER, client.conf, the user's session server).
    // Connecting starts at once, in the background.
    explicit PulseTone(std::string server = {}, int connectTimeoutMs = kConnectTimeoutMs);
    ~PulseTone();
    PulseTone(const PulseTone&) = delete;
    PulseTone& operator=(const PulseTone&) = delete;

    // Plays a tone of frequencyHz for durationMs and returns durationMs after the
    // call (a little more only when the stream came up during the call).
    // Frequencies outside 1..kRate/2 and durations <= 0 are silent (the wait still holds).
    void play(int frequencyHz, int durationMs);

    // Waits for the connection attempt to end (at most until its time limit);
    // true when the stream is open, warm and being fed.
    bool ready();

    // The samples of one tone: square wave, starting with the high half-period.
    static std::vector<std::int16_t> SquareWave(int frequencyHz, int durationMs);

    static const char* const kNoServerWarning;

private:
    struct Feeder;
    enum class State { Connecting, Ready, Silent };
    // Learns how the connection went if that is known by `until` (or by the time
    // limit, whichever is first); gives up once the time limit has passed.
    void poll(std::chrono::steady_clock::time_point until);
    void warnOnce(const std::string& detail);

    std::shared_ptr<Feeder> feeder_;
    std::chrono::steady_clock::time_point deadline_;
    State state_ = State::Connecting;
    bool warned_ = false;
};

}  // namespace belmora_qt
