#pragma once
// A Platform that passes everything on to another one and times the chase:
// it stands between the runtime and the real backend, notes when each tick of
// a 10 ms timer reaches the runtime, and whether the tick growled (a 70 Hz
// beep during the tick: the cursor was not caught).
#include <chrono>
#include <set>
#include <vector>

#include "runtime/platform.h"

namespace bench {

class TimingPlatform : public rt::Platform, private rt::Host {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kChaseIntervalMs = 10;

    struct Tick {
        Clock::time_point start;
        bool growled = false;
    };

    explicit TimingPlatform(rt::Platform& inner) : inner_(inner) {}

    const std::vector<Tick>& ticks() const { return ticks_; }

    // Periods (ms) from the start of one chase tick to the next, where both
    // ticks growled (growled = true) or neither did (growled = false).
    std::vector<double> periods(bool growled) const;

    void attach(rt::Host& host) override;
    int run() override { return inner_.run(); }
    void quit(int status) override { inner_.quit(status); }
    rt::WindowId createWindow(const rt::WindowStyle& style) override { return inner_.createWindow(style); }
    void destroyWindow(rt::WindowId w) override { inner_.destroyWindow(w); }
    void setGeometry(rt::WindowId w, rt::PixelRect r) override { inner_.setGeometry(w, r); }
    void setScene(rt::WindowId w, const rt::Scene& s) override { inner_.setScene(w, s); }
    void setTopMost(rt::WindowId w, bool on) override { inner_.setTopMost(w, on); }
    void show(rt::WindowId w, bool activate) override { inner_.show(w, activate); }
    void hide(rt::WindowId w) override { inner_.hide(w); }
    rt::PixelSize screenSize() override { return inner_.screenSize(); }
    bool cursorPos(std::int32_t& x, std::int32_t& y) override { return inner_.cursorPos(x, y); }
    rt::TimerId startTimer(int intervalMs) override;
    void stopTimer(rt::TimerId id) override;
    int doubleClickTimeMs() override { return inner_.doubleClickTimeMs(); }
    void messageBox(rt::WindowId owner, const std::string& prompt, int style,
                    const std::string& title) override
    {
        inner_.messageBox(owner, prompt, style, title);
    }
    void beep(int frequencyHz, int durationMs) override;

private:
    void onTimer(rt::TimerId id) override;
    void onClick(rt::WindowId w, int x, int y) override { host_->onClick(w, x, y); }
    void onDoubleClick(rt::WindowId w, int x, int y) override { host_->onDoubleClick(w, x, y); }
    void onKeyPress(rt::WindowId w, int code) override { host_->onKeyPress(w, code); }
    void onGeometryChanged(rt::WindowId w, rt::PixelRect r) override { host_->onGeometryChanged(w, r); }
    void onCloseRequest(rt::WindowId w) override { host_->onCloseRequest(w); }

    rt::Platform& inner_;
    rt::Host* host_ = nullptr;
    std::set<rt::TimerId> chaseTimers_;
    std::vector<Tick> ticks_;
    bool inTick_ = false;
};

}  // namespace bench
