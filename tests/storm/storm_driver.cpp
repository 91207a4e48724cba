#include "storm/storm_driver.h"

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <iterator>
#include <limits>
#include <utility>

#include "forms/crash/frmBSOD.h"
#include "platform/sim/sim_desktop.h"
#include "program.h"
#include "runtime/application.h"

namespace storm {

// ---- sources -----------------------------------------------------------------

std::int64_t Source::between(std::int64_t lo, std::int64_t hi)
{
    const std::uint64_t span = static_cast<std::uint64_t>(hi) - static_cast<std::uint64_t>(lo) + 1;
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) + below(span));
}

std::uint64_t SeededSource::next()
{
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t SeededSource::below(std::uint64_t n)
{
    if (n <= 1) return 0;
    // Values under 2^64 mod n would make the low residues more likely.
    const std::uint64_t threshold = (0 - n) % n;
    for (;;) {
        const std::uint64_t x = next();
        if (x >= threshold) return x % n;
    }
}

std::uint64_t ByteSource::below(std::uint64_t n)
{
    if (n <= 1) return 0;
    std::uint64_t v = 0;
    int shift = 0;
    for (std::uint64_t m = n - 1; m != 0; m >>= 8, shift += 8) {
        if (pos_ < size_) v |= std::uint64_t(data_[pos_++]) << shift;
    }
    return v % n;
}

std::uint64_t RecordingSource::below(std::uint64_t n)
{
    const std::uint64_t v = inner_.below(n);
    if (n <= 1) return v;
    std::uint64_t rest = v;
    for (std::uint64_t m = n - 1; m != 0; m >>= 8, rest >>= 8)
        bytes_.push_back(static_cast<std::uint8_t>(rest));
    return v;
}

// ---- the designed sequences ------------------------------------------------

namespace {

using Tone = std::pair<int, int>;  // frequency, duration
using Tones = std::vector<Tone>;

// The chime after its first tone (800 Hz), as a click or the seventh key plays it.
const Tones ChimeAfterFirst{{1300, 100}, {1000, 100}, {800, 100}, {1300, 100}, {1000, 100}, {800, 100}};
// What follows the closing greeting.
const Tones Finale{{800, 100}, {1300, 100}, {1000, 100}, {800, 100}, {1300, 100}, {1000, 100}, {500, 100}};

const std::string GreetingPrompt = "Auguri fratello BRUNDELMAR\r\rbenvenuto fra di noi";
const std::string FarewellPrompt = "Nuovmente Auguri fratello BRUNDELMAR\r\rdi cuore ...da tutti NOI";

std::string format(const char* fmt, ...)
{
    char buf[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

std::string toneText(Tone t) { return format("tone %d Hz %d ms", t.first, t.second); }

// A prompt on one line, control characters shown as \r, \n or \xNN.
std::string printable(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32)
            out += format("\\x%02X", c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string boxText(const std::string& prompt, int style, const std::string& title)
{
    return "box \"" + printable(prompt) + "\" style " + std::to_string(style) + " title \"" +
           printable(title) + "\"";
}

std::string presenceText(Presence p)
{
    if (p.banner && p.page) return "banner and page both loaded";
    if (p.banner) return "on the banner";
    if (p.page) return "on the page";
    return "with neither banner nor page";
}

}  // namespace

const char* EndingName(Ending e)
{
    switch (e) {
    case Ending::SeventhKey: return "seventh key";
    case Ending::Oops: return "OOPS!";
    case Ending::OopsOverGreeting: return "OOPS! over the greeting";
    case Ending::PageClosed: return "page closed";
    case Ending::BannerClosed: return "banner closed";
    case Ending::Stopped: return "stopped by the storm";
    case Ending::Count: break;
    }
    return "?";
}

std::string TraceChecker::tone(int frequency, int durationMs, Presence p)
{
    const Tone t{frequency, durationMs};
    if (next_ < pending_.size()) {
        if (pending_[next_] != t) return toneText(t) + " where " + toneText(pending_[next_]) + " was due";
        if (++next_ == pending_.size()) {
            pending_.clear();
            next_ = 0;
        }
        return {};
    }
    if (awaits_ != Awaits::Nothing)
        return toneText(t) + " where the " + (awaits_ == Awaits::Greeting ? "greeting" : "closing greeting") +
               " box was due";
    switch (phase_) {
    case Phase::Fresh:
        if (t == Tone{3000, 200} && p.banner) {
            phase_ = Phase::Running;
            return {};
        }
        return toneText(t) + " where the load tone (3000 Hz 200 ms) was due";
    case Phase::Running:
        if (t == Tone{3000, 200}) return "a second load tone: the banner was loaded again";
        if (t == Tone{70, 10}) return p.banner ? std::string() : "a chase tone " + presenceText(p);
        if (t == Tone{800, 100}) {
            if (p.banner && !p.page) {
                awaits_ = Awaits::Greeting;
            } else if (p.page && !p.banner && presses_ == 6) {
                awaits_ = Awaits::Farewell;
            } else {
                return "a chime " + presenceText(p) + " after " + std::to_string(presses_) + " presses";
            }
            pending_ = ChimeAfterFirst;
            next_ = 0;
            return {};
        }
        if (t == Tone{400, 300}) {
            if (!p.page || p.banner) return "a key tone " + presenceText(p);
            if (presses_ >= 6) return "a key tone after six presses";
            if (++presses_ != 4) {  // the fourth press has the short tone alone
                pending_ = {{400, 200}};
                next_ = 0;
            }
            return {};
        }
        return toneText(t) + " fits no designed sequence (" + presenceText(p) + ", " +
               std::to_string(presses_) + " presses)";
    case Phase::Greeting:
        if (t == Tone{70, 10} && p.banner) return {};  // the chase goes on behind the greeting
        return toneText(t) + " while the greeting is up";
    case Phase::Oops: return toneText(t) + " while the overflow box is up";
    case Phase::AfterOops: return toneText(t) + " after the overflow box, where the end was due";
    case Phase::OopsOverGreeting: return toneText(t) + " while the overflow box is up over the greeting";
    case Phase::AfterOopsOverGreeting:
        return toneText(t) + " after the overflow box over the greeting, where the end was due";
    case Phase::Farewell: return toneText(t) + " while the closing greeting is up";
    case Phase::Finale: return toneText(t) + " after the closing chime, where the end was due";
    case Phase::Ended: return toneText(t) + " after the program ended";
    }
    return "?";
}

std::string TraceChecker::boxOpened(const std::string& prompt, int style, const std::string& title,
                                    Presence p)
{
    const std::string box = boxText(prompt, style, title);
    if (next_ < pending_.size()) return box + " where " + toneText(pending_[next_]) + " was due";
    if (awaits_ == Awaits::Greeting) {
        if (prompt != GreetingPrompt || style != 0 || title != rt::ApplicationTitle)
            return box + " where the greeting was due";
        awaits_ = Awaits::Nothing;
        phase_ = Phase::Greeting;
        ++open_;
        return {};
    }
    if (awaits_ == Awaits::Farewell) {
        if (prompt != FarewellPrompt || style != 16 || title != "BRUNDELMAR entry")
            return box + " where the closing greeting was due";
        awaits_ = Awaits::Nothing;
        phase_ = Phase::Farewell;
        ++open_;
        return {};
    }
    if ((phase_ == Phase::Running || phase_ == Phase::Greeting) && prompt == "Overflow" && style == 16 &&
        title == "OOPS!") {
        if (!p.banner || p.page) return box + " " + presenceText(p);
        // Timers tick while a box is up: the chase's own box can come over the greeting.
        phase_ = phase_ == Phase::Greeting ? Phase::OopsOverGreeting : Phase::Oops;
        ++open_;
        return {};
    }
    if (phase_ == Phase::Greeting || phase_ == Phase::Oops || phase_ == Phase::OopsOverGreeting ||
        phase_ == Phase::Farewell)
        return box + " while another box is up";
    return box + " fits no designed sequence";
}

std::string TraceChecker::boxClosed()
{
    if (open_ == 0) return "a box closed that no designed sequence opened";
    --open_;
    switch (phase_) {
    case Phase::Greeting: phase_ = Phase::Running; return {};
    case Phase::Oops: phase_ = Phase::AfterOops; return {};
    // Its dismissal unloads the banner, the last form: the end is due, and the
    // greeting under it closes with the program, never by itself.
    case Phase::OopsOverGreeting: phase_ = Phase::AfterOopsOverGreeting; return {};
    case Phase::Ended: return {};  // the end closes the boxes still up
    case Phase::Farewell:
        phase_ = Phase::Finale;
        pending_ = Finale;
        next_ = 0;
        return {};
    default: return "a box closed that no designed sequence opened";
    }
}

std::string TraceChecker::ended(int status, CloseRequest during)
{
    const Phase phase = std::exchange(phase_, Phase::Ended);
    if (status != 0) return "the program ended with status " + std::to_string(status);
    if (next_ < pending_.size()) return "the program ended where " + toneText(pending_[next_]) + " was due";
    if (awaits_ != Awaits::Nothing) return "the program ended where a greeting box was due";
    switch (phase) {
    case Phase::AfterOops: ending_ = Ending::Oops; return {};
    case Phase::AfterOopsOverGreeting: ending_ = Ending::OopsOverGreeting; return {};
    case Phase::Finale: ending_ = Ending::SeventhKey; return {};
    case Phase::Running:
        if (during == CloseRequest::Page) {
            ending_ = Ending::PageClosed;
            return {};
        }
        if (during == CloseRequest::Banner) {
            ending_ = Ending::BannerClosed;
            return {};
        }
        return "the program ended with no designed cause (after " + std::to_string(presses_) + " presses)";
    case Phase::Ended: return "the program ended twice";
    default: return "the program ended while a box was up or before its load tone";
    }
}

// ---- one run of the program ------------------------------------------------

namespace {

constexpr int StoppedStatus = 99;  // the storm's own quit, when its budget runs out

// The largest and smallest cursor coordinates whose x15 - 240 fits in 32 bits.
constexpr std::int32_t MaxSafe = 143'165'576;
constexpr std::int32_t MinSafe = -143'165'560;

struct Event {
    enum class Kind { Cursor, Unreadable, Click, DoubleClick, Key, Geometry, Close };
    Kind kind = Kind::Cursor;
    std::int32_t x = 0, y = 0;
    int w = 0, h = 0;
    int code = 0;
    long long pressGap = 0;  // DoubleClick: between the presses
    rt::WindowId window = 0;
    long long gap = 0;  // to the next event
};

// How likely each kind of event is in a run: runs differ, so that some linger
// on the banner and some on the page.
struct Profile {
    std::uint64_t cursor, clickBanner, clickElsewhere, doubleBanner, doubleElsewhere, key, geometry;
    std::uint64_t total() const
    {
        return cursor + clickBanner + clickElsewhere + doubleBanner + doubleElsewhere + key + geometry;
    }
};

}  // namespace

struct Storm::Run final : rt::Platform {
    Storm& storm;
    Source& src;
    sim::SimDesktop desk;
    TraceChecker checker;
    Profile profile{};
    rt::WindowId banner = 0, page = 0;  // alive windows of Form1 and frmBSOD
    int bannersMade = 0, pagesMade = 0;
    TraceChecker::CloseRequest closing = TraceChecker::CloseRequest::None;
    bool stopping = false;  // the run is being stopped: no more events, no more checks
    std::optional<int> quitStatus;
    bool reachedPage = false;

    // The last events and tokens, formatted only when a fault is reported.
    enum class Note {
        Cursor,
        Unreadable,
        Click,
        DoubleClick,
        Key,
        Geometry,
        Close,
        Made,
        Destroyed,
        Box,
        BoxClosed,
        Tone,
        Quit
    };
    struct LogLine {
        long long t = 0, last = 0;  // a line repeated in a row is kept once, with its count and last time
        int repeats = 0;
        Note what = Note::Quit;
        std::array<long long, 4> v{};
        std::string text;
    };
    std::array<LogLine, 40> log{};
    std::size_t logged = 0;

    explicit Run(Storm& s) : storm(s), src(s.source_) {}

    // ---- bookkeeping ----

    void note(Note what, std::array<long long, 4> v = {}, std::string text = {})
    {
        if (logged > 0) {
            LogLine& previous = log[(logged - 1) % log.size()];
            if (previous.what == what && previous.v == v && previous.text == text) {
                ++previous.repeats;
                previous.last = desk.now();
                return;
            }
        }
        LogLine& line = log[logged++ % log.size()];
        line.t = line.last = desk.now();
        line.repeats = 1;
        line.what = what;
        line.v = v;
        line.text = std::move(text);
    }

    static std::string describe(const LogLine& l)
    {
        std::string s = "t=" + std::to_string(l.t) + " ";
        switch (l.what) {
        case Note::Cursor: s += format("cursor to (%lld, %lld)", l.v[0], l.v[1]); break;
        case Note::Unreadable: s += "cursor unreadable"; break;
        case Note::Click: s += format("click at (%lld, %lld)", l.v[0], l.v[1]); break;
        case Note::DoubleClick:
            s += format("double-click at (%lld, %lld), presses %lld ms apart", l.v[0], l.v[1], l.v[2]);
            break;
        case Note::Key: s += format("key %lld", l.v[0]); break;
        case Note::Geometry:
            s += format("window %lld geometry (%lld, %lld) %lld x %lld", l.v[0] >> 32, l.v[0] & 0xFFFFFFFF,
                        l.v[1], l.v[2], l.v[3]);
            break;
        case Note::Close: s += format("close request on window %lld", l.v[0]); break;
        case Note::Made: s += format("window %lld made: ", l.v[0]) + l.text; break;
        case Note::Destroyed: s += format("window %lld destroyed", l.v[0]); break;
        case Note::Box: s += l.text; break;
        case Note::BoxClosed: s += "box closed"; break;
        case Note::Tone: s += format("tone %lld Hz %lld ms", l.v[0], l.v[1]); break;
        case Note::Quit: s += format("quit %lld", l.v[0]); break;
        }
        if (l.repeats > 1) s += format(" (x%d, the last at t=%lld)", l.repeats, l.last);
        return s;
    }

    void mix(std::uint64_t v)
    {
        for (int i = 0; i < 8; ++i) {
            storm.stats_.digest ^= (v >> (8 * i)) & 0xFF;
            storm.stats_.digest *= 1099511628211ull;
        }
    }

    void fail(const std::string& what)
    {
        if (storm.failure_) return;
        Failure f;
        f.event = storm.stats_.events;
        f.run = storm.stats_.runs;
        f.at = desk.now();
        f.what = what;
        for (std::size_t i = logged > log.size() ? logged - log.size() : 0; i < logged; ++i)
            f.recent.push_back(describe(log[i % log.size()]));
        storm.failure_ = std::move(f);
        stop();
    }

    void stop()
    {
        stopping = true;
        desk.quit(StoppedStatus);
    }

    Presence presence() const { return {banner != 0, page != 0}; }

    // ---- invariants, after every event ----

    void check(const char* when)
    {
        if (stopping) return;
        rt::Application& app = rt::Application::Current();
        // Two boxes only with the overflow box over the greeting.
        if (desk.boxDepth() > (checker.oopsOverGreeting() ? 2 : 1))
            return fail(format("%d message boxes open at once (%s)", desk.boxDepth(), when));
        if (app.ended()) return;
        if (app.loadedForms().empty())
            return fail(format("no form is loaded, yet the program goes on (%s)", when));
        if (frmBSOD* p = app.Existing<frmBSOD>(); p != nullptr && p->IsLoaded()) {
            reachedPage = true;
            const int n = p->PressCount.value();
            if (n < 0 || n > 6) return fail(format("PressCount is %d (%s)", n, when));
            if (n != checker.presses())
                return fail(format("PressCount is %d, but the tones told of %d presses (%s)", n,
                                   checker.presses(), when));
        }
    }

    // ---- drawing events ----

    void drawProfile()
    {
        // With no click aimed at the banner, a run lingers there: chase, overflow and close requests.
        static constexpr std::uint64_t clicks[] = {0, 3, 8, 16}, doubles[] = {0, 0, 2, 4};
        static constexpr std::uint64_t keys[] = {2, 8, 25}, resizes[] = {0, 2, 8};
        profile.cursor = 20 + src.below(41);
        profile.clickBanner = clicks[src.below(4)];
        profile.clickElsewhere = 1 + src.below(3);
        profile.doubleBanner = doubles[src.below(4)];
        profile.doubleElsewhere = src.below(4);
        profile.key = keys[src.below(3)];
        profile.geometry = resizes[src.below(3)];
    }

    long long drawGap()
    {
        const std::uint64_t r = src.below(20);
        if (r < 6) return src.between(0, 2);
        if (r < 16) return src.between(3, 40);
        if (r < 19) return src.between(41, 700);
        return src.between(701, 3000);
    }

    const sim::SimWindow* bannerWindow() const
    {
        const sim::SimWindow* w = banner ? desk.window(banner) : nullptr;
        return w != nullptr && w->visible && w->rect.w > 0 && w->rect.h > 0 ? w : nullptr;
    }

    std::int32_t overflowing()
    {
        switch (src.below(4)) {
        case 0: return MaxSafe + 1;
        case 1: return MinSafe - 1;
        case 2: return static_cast<std::int32_t>(src.between(std::int64_t(MaxSafe) + 1, INT32_MAX));
        default: return static_cast<std::int32_t>(src.between(INT32_MIN, std::int64_t(MinSafe) - 1));
        }
    }

    std::int32_t edgeValue(int screenExtent)
    {
        const std::int32_t values[] = {0,   -1, 1,       screenExtent - 1, screenExtent,
                                       -16, 16, MaxSafe, MinSafe,          -240};
        return values[src.below(std::size(values))];
    }

    void drawCursor(Event& e)
    {
        const rt::PixelSize screen = desk.screenSize();
        if (src.oneIn(static_cast<std::uint64_t>(storm.options_.overflowOneIn))) {
            // One coordinate or both past what x15 holds in 32 bits.
            e.x = static_cast<std::int32_t>(src.between(-100, screen.w + 100));
            e.y = static_cast<std::int32_t>(src.between(-100, screen.h + 100));
            const std::uint64_t which = src.below(3);
            if (which != 1) e.x = overflowing();
            if (which != 0) e.y = overflowing();
            return;
        }
        if (src.oneIn(200)) {
            e.kind = Event::Kind::Unreadable;
            return;
        }
        const std::uint64_t r = src.below(16);
        const sim::SimWindow* b = bannerWindow();
        if (r < 8 && b != nullptr) {  // near the banner: caught or nearly
            e.x = static_cast<std::int32_t>(
                src.between(std::int64_t(b->rect.x) - 60, std::int64_t(b->rect.x) + 140));
            e.y = static_cast<std::int32_t>(
                src.between(std::int64_t(b->rect.y) - 60, std::int64_t(b->rect.y) + 90));
        } else if (r < 12 || (r < 8 && b == nullptr)) {
            e.x = static_cast<std::int32_t>(src.between(0, screen.w - 1));
            e.y = static_cast<std::int32_t>(src.between(0, screen.h - 1));
        } else if (r < 14) {
            e.x = static_cast<std::int32_t>(src.between(-5000, 5000));
            e.y = static_cast<std::int32_t>(src.between(-5000, 5000));
        } else if (r < 15) {
            e.x = static_cast<std::int32_t>(src.between(MinSafe, MaxSafe));
            e.y = static_cast<std::int32_t>(src.between(MinSafe, MaxSafe));
        } else {
            e.x = edgeValue(screen.w);
            e.y = edgeValue(screen.h);
        }
    }

    void drawPoint(Event& e, bool onBanner)
    {
        const sim::SimWindow* b = bannerWindow();
        const rt::PixelSize screen = desk.screenSize();
        if (onBanner && b != nullptr) {
            e.x = b->rect.x + static_cast<std::int32_t>(src.below(std::uint64_t(b->rect.w)));
            e.y = b->rect.y + static_cast<std::int32_t>(src.below(std::uint64_t(b->rect.h)));
        } else if (!src.oneIn(5)) {
            e.x = static_cast<std::int32_t>(src.between(0, screen.w - 1));
            e.y = static_cast<std::int32_t>(src.between(0, screen.h - 1));
        } else {
            e.x = static_cast<std::int32_t>(src.between(-3000, 5000));
            e.y = static_cast<std::int32_t>(src.between(-3000, 5000));
        }
    }

    int drawKey()
    {
        static constexpr int oddKeys[] = {0, 8, 9, 10, 13, 27, 32, 127};
        switch (src.below(8)) {
        case 0:
        case 1:
        case 2: return static_cast<int>(src.between(32, 126));
        case 3: return oddKeys[src.below(std::size(oddKeys))];
        case 4:
        case 5: return static_cast<int>(src.between(0, 255));
        default: return static_cast<int>(src.between(0, 65535));
        }
    }

    void drawGeometry(Event& e)
    {
        const rt::PixelSize screen = desk.screenSize();
        if (page == 0) {
            // The banner: a window manager may move it, never resize it.
            e.window = banner;
            const sim::SimWindow* w = banner ? desk.window(banner) : nullptr;
            e.x = static_cast<int>(src.between(-200, screen.w + 200));
            e.y = static_cast<int>(src.between(-200, screen.h + 200));
            e.w = w ? w->rect.w : 0;
            e.h = w ? w->rect.h : 0;
            return;
        }
        e.window = page;
        const sim::SimWindow* w = desk.window(page);
        switch (src.below(6)) {
        case 0: e.x = 0, e.y = 0, e.w = screen.w, e.h = screen.h; break;
        case 1:
            if (w != nullptr) {  // as it is: nothing changes
                e.x = w->rect.x, e.y = w->rect.y, e.w = w->rect.w, e.h = w->rect.h;
                break;
            }
            [[fallthrough]];
        case 2:
        case 3:
        case 4:
            e.x = static_cast<int>(src.between(-500, 3000));
            e.y = static_cast<int>(src.between(-500, 3000));
            e.w = static_cast<int>(src.between(0, 4000));
            e.h = static_cast<int>(src.between(0, 4000));
            break;
        default: {
            static constexpr int sizes[] = {0, 1, 2, 32767};
            e.x = static_cast<int>(src.between(-32768, 32767));
            e.y = static_cast<int>(src.between(-32768, 32767));
            e.w = src.oneIn(2) ? sizes[src.below(4)] : static_cast<int>(src.between(0, 32767));
            e.h = src.oneIn(2) ? sizes[src.below(4)] : static_cast<int>(src.between(0, 32767));
        }
        }
    }

    Event draw()
    {
        Event e;
        if (src.oneIn(static_cast<std::uint64_t>(storm.options_.closeOneIn)) && (page != 0 || banner != 0)) {
            e.kind = Event::Kind::Close;
            e.window = page != 0 ? page : banner;
        } else {
            std::uint64_t r = src.below(profile.total());
            auto in = [&r](std::uint64_t weight) {
                if (r < weight) return true;
                r -= weight;
                return false;
            };
            if (in(profile.cursor)) {
                drawCursor(e);
            } else if (in(profile.clickBanner)) {
                e.kind = Event::Kind::Click;
                drawPoint(e, true);
            } else if (in(profile.clickElsewhere)) {
                e.kind = Event::Kind::Click;
                drawPoint(e, false);
            } else if (in(profile.doubleBanner)) {
                e.kind = Event::Kind::DoubleClick;
                drawPoint(e, true);
                e.pressGap = src.between(0, desk.doubleClickTimeMs() * 3 / 2);
            } else if (in(profile.doubleElsewhere)) {
                e.kind = Event::Kind::DoubleClick;
                drawPoint(e, false);
                e.pressGap = src.between(0, desk.doubleClickTimeMs() * 3 / 2);
            } else if (in(profile.key)) {
                e.kind = Event::Kind::Key;
                e.code = drawKey();
            } else {
                e.kind = Event::Kind::Geometry;
                drawGeometry(e);
            }
        }
        e.gap = drawGap();
        return e;
    }

    // ---- throwing them ----

    void perform(const Event& e)
    {
        ++storm.stats_.delivered;
        rt::Application& app = rt::Application::Current();
        switch (e.kind) {
        case Event::Kind::Cursor:
            note(Note::Cursor, {e.x, e.y});
            desk.moveCursor(e.x, e.y);
            break;
        case Event::Kind::Unreadable:
            note(Note::Unreadable);
            desk.makeCursorUnreadable();
            break;
        case Event::Kind::Click:
            note(Note::Click, {e.x, e.y});
            desk.clickAt(e.x, e.y);
            break;
        case Event::Kind::DoubleClick:
            note(Note::DoubleClick, {e.x, e.y, e.pressGap});
            desk.doubleClickAt(e.x, e.y, e.pressGap);
            desk.at(
                desk.now() + e.pressGap, [this] { check("after a double-click's second press"); }, false);
            break;
        case Event::Kind::Key:
            note(Note::Key, {e.code});
            desk.key(e.code);
            break;
        case Event::Kind::Geometry:
            note(Note::Geometry,
                 {(static_cast<long long>(e.window) << 32) | std::uint32_t(e.x), e.y, e.w, e.h});
            app.onGeometryChanged(e.window, {e.x, e.y, e.w, e.h});
            break;
        case Event::Kind::Close:
            note(Note::Close, {e.window});
            closing = e.window == page     ? TraceChecker::CloseRequest::Page
                      : e.window == banner ? TraceChecker::CloseRequest::Banner
                                           : TraceChecker::CloseRequest::None;
            app.onCloseRequest(e.window);
            closing = TraceChecker::CloseRequest::None;
            break;
        }
    }

    void pump()
    {
        if (stopping) return;
        check("before an event");
        if (stopping) return;
        if (storm.stats_.events >= storm.options_.events || src.exhausted()) return stop();
        const Event e = draw();
        ++storm.stats_.events;
        mix(static_cast<std::uint64_t>(e.kind) ^ (std::uint64_t(std::uint32_t(e.x)) << 8) ^
            (std::uint64_t(std::uint32_t(e.y)) << 40) ^ std::uint64_t(e.code) ^ (std::uint64_t(e.w) << 20));
        desk.at(
            desk.now(),
            [this, e] {
                perform(e);
                check("after an event");
            },
            true);
        desk.at(
            desk.now() + e.gap, [this] { pump(); }, false);
    }

    // ---- the run ----

    void go()
    {
        ++storm.stats_.runs;
        switch (src.below(4)) {
        case 0: desk.setScreenSize(1024, 768); break;
        case 1: desk.setScreenSize(800, 600); break;
        case 2: desk.setScreenSize(1920, 1080); break;
        default:
            desk.setScreenSize(static_cast<int>(src.between(320, 3840)),
                               static_cast<int>(src.between(200, 2160)));
        }
        desk.setDoubleClickTime(static_cast<int>(src.between(100, 900)));
        desk.setTimeLimit(std::numeric_limits<long long>::max() / 4);
        desk.setResponder([this](const sim::Box&) -> long long {
            switch (src.below(10)) {
            case 0: return 0;
            case 1:
            case 2:
            case 3:
            case 4: return src.between(1, 300);
            case 5:
            case 6:
            case 7:
            case 8: return src.between(301, 2500);
            default: return src.between(2501, 20000);
            }
        });
        drawProfile();
        desk.moveCursor(static_cast<std::int32_t>(src.between(0, desk.screenSize().w - 1)),
                        static_cast<std::int32_t>(src.between(0, desk.screenSize().h - 1)));
        desk.at(
            drawGap(), [this] { pump(); }, false);

        int status = -1;
        try {
            status = RunBelmora(*this);
        } catch (const std::exception& e) {
            fail(std::string("an exception escaped the program: ") + e.what());
        } catch (...) {
            fail("an exception escaped the program");
        }
        storm.stats_.virtualMs += desk.now();
        if (reachedPage) ++storm.stats_.runsOnPage;
        if (!stopping) {
            if (!quitStatus)
                fail(format("the run stopped (status %d) without the program ending", status));
            else if (status != *quitStatus)
                fail(format("the program quit with %d but returned %d", *quitStatus, status));
        }
        if (!storm.failure_ && !desk.windows().empty())
            fail(format("%zu windows are left after the run", desk.windows().size()));
        if (storm.failure_) return;
        const Ending ending = stopping ? Ending::Stopped : *checker.ending();
        ++storm.stats_.endings[static_cast<std::size_t>(ending)];
    }

    // ---- rt::Platform: the simulated desktop, watched ----

    void attach(rt::Host& host) override { desk.attach(host); }
    int run() override { return desk.run(); }
    void quit(int status) override
    {
        if (!stopping) {
            note(Note::Quit, {status});
            mix(0x5155495400000000ull ^ std::uint64_t(status));
            quitStatus = status;
            if (std::string e = checker.ended(status, closing); !e.empty()) fail(e);
        }
        desk.quit(status);
    }
    rt::WindowId createWindow(const rt::WindowStyle& style) override
    {
        const rt::WindowId id = desk.createWindow(style);
        note(Note::Made, {id}, style.caption);
        if (stopping) return id;
        if (style.caption == "Form1") {
            banner = id;
            if (++bannersMade > 1) fail("the banner was made a second time");
        } else if (style.caption == "Windows BSOD") {
            page = id;
            if (++pagesMade > 1) fail("the crash page was made a second time");
        }
        return id;
    }
    void destroyWindow(rt::WindowId w) override
    {
        note(Note::Destroyed, {w});
        if (w == banner) banner = 0;
        if (w == page) page = 0;
        desk.destroyWindow(w);
    }
    void setGeometry(rt::WindowId w, rt::PixelRect client) override { desk.setGeometry(w, client); }
    void setScene(rt::WindowId w, const rt::Scene& scene) override { desk.setScene(w, scene); }
    void setTopMost(rt::WindowId w, bool topMost) override { desk.setTopMost(w, topMost); }
    void show(rt::WindowId w, bool activate) override { desk.show(w, activate); }
    void hide(rt::WindowId w) override { desk.hide(w); }
    rt::PixelSize screenSize() override { return desk.screenSize(); }
    bool cursorPos(std::int32_t& x, std::int32_t& y) override { return desk.cursorPos(x, y); }
    rt::TimerId startTimer(int intervalMs) override { return desk.startTimer(intervalMs); }
    void stopTimer(rt::TimerId id) override { desk.stopTimer(id); }
    int doubleClickTimeMs() override { return desk.doubleClickTimeMs(); }

    void messageBox(rt::WindowId owner, const std::string& prompt, int style,
                    const std::string& title) override
    {
        if (!stopping) {
            ++storm.stats_.boxes;
            note(Note::Box, {}, boxText(prompt, style, title));
            for (unsigned char c : prompt + title) mix(c);
            if (std::string e = checker.boxOpened(prompt, style, title, presence()); !e.empty()) fail(e);
        }
        desk.messageBox(owner, prompt, style, title);
        if (!stopping) {
            note(Note::BoxClosed);
            if (std::string e = checker.boxClosed(); !e.empty()) fail(e);
        }
    }

    void beep(int frequencyHz, int durationMs) override
    {
        if (!stopping) {
            ++storm.stats_.tones;
            note(Note::Tone, {frequencyHz, durationMs});
            mix((std::uint64_t(std::uint32_t(frequencyHz)) << 32) ^ std::uint64_t(std::uint32_t(durationMs)) ^
                (std::uint64_t(desk.now()) << 12));
            if (std::string e = checker.tone(frequencyHz, durationMs, presence()); !e.empty()) fail(e);
        }
        desk.beep(frequencyHz, durationMs);
    }
};

// ---- the storm ---------------------------------------------------------------

Options FuzzOptions()
{
    Options o;
    o.events = 50'000;  // the bytes run out long before
    o.overflowOneIn = 200;
    o.closeOneIn = 300;
    return o;
}

Storm::Storm(Source& source, Options options) : source_(source), options_(options) {}
Storm::~Storm() = default;

bool Storm::run()
{
    while (!failure_ && stats_.events < options_.events && !source_.exhausted()) {
        Run r(*this);
        r.go();
    }
    return !failure_;
}

std::string Storm::describeFailure() const
{
    if (!failure_) return "no failure";
    std::string out =
        format("run %lld, event %lld, %lld ms into the run: ", failure_->run, failure_->event, failure_->at) +
        failure_->what + "\nlast events and tokens:\n";
    for (const std::string& line : failure_->recent) out += "  " + line + "\n";
    return out;
}

}  // namespace storm
