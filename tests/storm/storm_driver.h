#pragma once
// Event storms: a stream of desktop events, drawn from a seed or from a
// fuzzer's bytes, thrown at the whole program on the simulated desktop from
// load to end, run after run. After every event the program's invariants are
// checked, and every tone and message box must belong to one of the sequences
// the program plays (TraceChecker). The first fault stops the storm.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace storm {

// ---- where the storm's choices come from -----------------------------------

class Source {
public:
    virtual ~Source() = default;
    // A value in [0, n); 0 when n <= 1.
    virtual std::uint64_t below(std::uint64_t n) = 0;
    // No choice is left to make: the storm winds down.
    virtual bool exhausted() const { return false; }

    bool oneIn(std::uint64_t n) { return below(n) == 0; }
    // A value in [lo, hi], both included.
    std::int64_t between(std::int64_t lo, std::int64_t hi);
};

// SplitMix64 with an unbiased bounded draw: the same storm for a seed on every
// platform and standard library.
class SeededSource final : public Source {
public:
    explicit SeededSource(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    std::uint64_t below(std::uint64_t n) override;

private:
    std::uint64_t state_;
};

// Reads each choice from as few bytes as hold it (little-endian, reduced
// modulo n); past the end every choice is 0 and the source is exhausted.
class ByteSource final : public Source {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t below(std::uint64_t n) override;
    bool exhausted() const override { return pos_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Passes another source's choices through and writes them as the bytes that
// make a ByteSource choose the same: a seeded storm turned into fuzzer input.
class RecordingSource final : public Source {
public:
    explicit RecordingSource(Source& inner) : inner_(inner) {}
    std::uint64_t below(std::uint64_t n) override;
    bool exhausted() const override { return inner_.exhausted(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    Source& inner_;
    std::vector<std::uint8_t> bytes_;
};

// ---- the designed sequences ------------------------------------------------

// Which of the program's windows exist when a tone or box comes.
struct Presence {
    bool banner = false;  // Form1
    bool page = false;    // frmBSOD
};

// How a run of the program ended.
enum class Ending {
    SeventhKey,    // the closing greeting after the seventh key
    Oops,          // the overflow box of the chase
    OopsOverGreeting,  // the overflow box of a tick behind the greeting, over it
    PageClosed,    // a close request on the crash page
    BannerClosed,  // a close request on the banner, the last form
    Stopped,       // the storm's budget ran out mid-run
    Count
};
const char* EndingName(Ending e);

// A recogniser over one run's tones, boxes and end. Each call returns an empty
// string when the token fits a designed sequence, else what is wrong.
class TraceChecker {
public:
    enum class CloseRequest { None, Banner, Page };

    std::string tone(int frequency, int durationMs, Presence p);
    std::string boxOpened(const std::string& prompt, int style, const std::string& title, Presence p);
    std::string boxClosed();
    // The program asked to quit with `status`, while a close request (if any) was handled.
    std::string ended(int status, CloseRequest during);

    // Key presses the tones have told of, 0 to 6 (the seventh leaves it at 6).
    int presses() const { return presses_; }
    // The overflow box is up over the greeting: the one time two boxes are open.
    bool oopsOverGreeting() const { return phase_ == Phase::OopsOverGreeting; }
    std::optional<Ending> ending() const { return ending_; }

private:
    enum class Phase {
        Fresh, Running, Greeting, Oops, AfterOops, OopsOverGreeting, AfterOopsOverGreeting, Farewell, Finale, Ended
    };
    enum class Awaits { Nothing, Greeting, Farewell };

    Phase phase_ = Phase::Fresh;
    Awaits awaits_ = Awaits::Nothing;
    std::vector<std::pair<int, int>> pending_;  // tones that must come next, in order
    std::size_t next_ = 0;
    int presses_ = 0;
    int open_ = 0;  // boxes open
    std::optional<Ending> ending_;
};

// ---- the storm -------------------------------------------------------------

struct Options {
    long long events = 100'000;  // events to throw, over as many runs as they take
    int overflowOneIn = 2'000;   // cursor jumps to a position whose x15 overflows
    int closeOneIn = 1'500;      // close requests
};

// The options of the fuzz target: its inputs (tests/storm/corpus) replay the
// same storm only under these.
Options FuzzOptions();

struct Stats {
    long long events = 0;     // thrown
    long long delivered = 0;  // not dropped by an open message box
    long long runs = 0;
    long long runsOnPage = 0;  // runs that reached the crash page
    long long tones = 0;
    long long boxes = 0;
    long long virtualMs = 0;
    std::array<long long, static_cast<std::size_t>(Ending::Count)> endings{};
    std::uint64_t digest = 14695981039346656037ull;  // of every token, in order

    long long ended(Ending e) const { return endings[static_cast<std::size_t>(e)]; }
};

struct Failure {
    long long event = 0;  // the number of the last event thrown (1-based)
    long long run = 0;    // the number of the run (1-based)
    long long at = 0;     // virtual ms into the run
    std::string what;
    std::vector<std::string> recent;  // the last events and tokens before it
};

class Storm {
public:
    Storm(Source& source, Options options = {});
    ~Storm();
    Storm(const Storm&) = delete;
    Storm& operator=(const Storm&) = delete;

    // Throws events until the budget or the source is spent, or the first
    // fault. Returns false on a fault.
    bool run();

    const Stats& stats() const { return stats_; }
    const std::optional<Failure>& failure() const { return failure_; }
    // The failure with the events that led to it, for a test's message.
    std::string describeFailure() const;

    struct Run;  // one run of the program (storm_driver.cpp)

private:
    friend struct Run;
    Source& source_;
    Options options_;
    Stats stats_;
    std::optional<Failure> failure_;
};

}  // namespace storm
