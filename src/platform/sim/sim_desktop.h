#pragma once
// The simulated desktop: a backend with a virtual clock, for tests.
//
// Implements:
//   - a virtual clock in milliseconds; timers fire in virtual time and a late
//     periodic timer fires once, then keeps its cadence from then (as Qt's do);
//   - Beep: records the tone and advances the clock by its duration;
//   - a scripted cursor (any 32-bit position, or unreadable), clicks,
//     double-clicks and keys, scheduled at virtual times; keys go to the
//     window that last took the focus;
//   - message boxes answered by a scripted responder after a virtual delay,
//     timers ticking meanwhile; input scheduled while a box is up is dropped;
//   - a settable screen size and double-click time;
//   - windows and timers it cannot make (createWindow/startTimer return 0),
//     and message boxes it cannot show (a responder that throws);
//   - the runtime's error lines, kept instead of going to stderr;
//   - a trace of tones, boxes and window changes, for tests to assert on.
// Does not implement: painting, fonts, real time, window-manager moves
// (a test can report one with Host::onGeometryChanged itself).
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/platform.h"

namespace sim {

using rt::PixelRect;
using rt::WindowId;

struct Tone {
    long long at;  // start, virtual ms
    int frequency;
    int duration;
};

struct Box {
    long long at;
    std::string prompt;
    int style;
    std::string title;
    WindowId owner;
};

struct WindowChange {
    enum class Kind { Created, Geometry, Picture, Shown, Hidden, TopMost, Destroyed };
    long long at;
    Kind kind;
    WindowId window;
    std::string caption;   // the window's caption
    PixelRect rect;        // Geometry
    std::string picture;   // Picture: the name of the image at the client's origin
    bool activated = false;  // Shown
};

struct SimWindow {
    WindowId id = 0;
    rt::WindowStyle windowStyle;
    PixelRect rect;
    rt::Scene scene;
    int scenes = 0;          // how many scenes the runtime has sent
    bool visible = false;
    bool topMost = false;
    bool alive = true;
    long long raisedAt = 0;  // z-order within its band: the latest raised is on top
};

class SimDesktop final : public rt::Platform {
public:
    SimDesktop(int screenWidth = 1024, int screenHeight = 768);

    // ---- the script ----
    // A message box is answered this many virtual ms after it opens. A
    // responder that throws makes messageBox throw it: a box that cannot be shown.
    using Responder = std::function<long long(const Box&)>;
    void setResponder(Responder r) { responder_ = std::move(r); }
    void setScreenSize(int w, int h) { screen_ = {w, h}; }
    void setDoubleClickTime(int ms) { doubleClickMs_ = ms; }
    // Windows and timers for which these say true are not made: 0 comes back.
    void failWindows(std::function<bool(const rt::WindowStyle&)> f) { windowFails_ = std::move(f); }
    void failTimers(std::function<bool(int intervalMs)> f) { timerFails_ = std::move(f); }
    // Ends run() at this virtual time if the program has not ended by then.
    void setTimeLimit(long long ms) { limit_ = ms; }
    // Runs `action` at virtual time t (input actions are dropped while a box is up).
    void at(long long t, std::function<void()> action, bool isInput = true);
    // Inputs, each taking effect at the current virtual time.
    void moveCursor(std::int32_t x, std::int32_t y);
    void makeCursorUnreadable() { cursorReadable_ = false; }
    void clickAt(int x, int y);
    // Two presses `gapMs` apart: a click, then a double-click.
    void doubleClickAt(int x, int y, long long gapMs = 100);
    void key(int charCode);

    // ---- what happened ----
    long long now() const { return now_; }
    const std::vector<Tone>& tones() const { return tones_; }
    const std::vector<Box>& boxes() const { return boxes_; }
    const std::vector<WindowChange>& changes() const { return changes_; }
    const std::vector<long long>& droppedInputs() const { return dropped_; }
    // The lines the runtime reported for whoever started the program.
    const std::vector<std::string>& errorLines() const { return errorLines_; }
    bool boxOpen() const { return boxDepth_ > 0; }
    int boxDepth() const { return boxDepth_; }
    bool quitCalled() const { return quit_; }
    bool stoppedAtLimit() const { return stoppedAtLimit_; }
    // Windows that exist now.
    std::vector<const SimWindow*> windows() const;
    const SimWindow* window(WindowId id) const;
    const SimWindow* windowCaptioned(const std::string& caption) const;
    WindowId focus() const { return focus_; }
    std::int32_t cursorX() const { return cursorX_; }
    std::int32_t cursorY() const { return cursorY_; }

    // ---- rt::Platform ----
    void attach(rt::Host& host) override { host_ = &host; }
    int run() override;
    void quit(int status) override;
    WindowId createWindow(const rt::WindowStyle& windowStyle) override;
    void destroyWindow(WindowId w) override;
    void setGeometry(WindowId w, PixelRect client) override;
    void setScene(WindowId w, const rt::Scene& scene) override;
    void setTopMost(WindowId w, bool topMost) override;
    void show(WindowId w, bool activate) override;
    void hide(WindowId w) override;
    rt::PixelSize screenSize() override { return screen_; }
    bool cursorPos(std::int32_t& x, std::int32_t& y) override;
    rt::TimerId startTimer(int intervalMs) override;
    void stopTimer(rt::TimerId id) override;
    int doubleClickTimeMs() override { return doubleClickMs_; }
    void messageBox(WindowId owner, const std::string& prompt, int style, const std::string& title) override;
    void beep(int frequencyHz, int durationMs) override;
    void reportError(const std::string& line) override { errorLines_.push_back(line); }

private:
    struct TimerState {
        int interval;
        long long due;
        std::uint64_t order;
    };
    struct Action {
        long long t;
        std::uint64_t order;
        std::function<void()> run;
        bool isInput;
    };

    // Handles events up to virtual time `until`, or until quit().
    void loop(long long until);
    void record(WindowChange::Kind kind, SimWindow& w);
    SimWindow* find(WindowId id);
    const SimWindow* windowAt(int x, int y) const;

    rt::Host* host_ = nullptr;
    long long now_ = 0;
    long long limit_ = 10LL * 60 * 1000;
    rt::PixelSize screen_;
    int doubleClickMs_ = 500;
    std::int32_t cursorX_ = 0, cursorY_ = 0;
    bool cursorReadable_ = true;
    Responder responder_ = [](const Box&) { return 1000LL; };
    std::function<bool(const rt::WindowStyle&)> windowFails_;
    std::function<bool(int)> timerFails_;

    std::map<WindowId, SimWindow> windows_;
    WindowId nextWindow_ = 1;
    WindowId focus_ = 0;
    std::map<rt::TimerId, TimerState> timers_;
    rt::TimerId nextTimer_ = 1;
    std::vector<Action> actions_;
    std::uint64_t order_ = 0;
    int boxDepth_ = 0;
    bool quit_ = false;
    int status_ = 0;
    bool stoppedAtLimit_ = false;

    std::vector<Tone> tones_;
    std::vector<Box> boxes_;
    std::vector<WindowChange> changes_;
    std::vector<long long> dropped_;
    std::vector<std::string> errorLines_;
};

}  // namespace sim
