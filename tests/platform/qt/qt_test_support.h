#pragma once
// Helpers for the Qt backend tests. They run on a real X server: the test
// binary is started by run_in_session.sh, which gives it its own Xvfb (and,
// when asked, openbox and a private PulseAudio).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform.h"

namespace qt_test {

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets the event loop run for `ms`.
inline void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

// Runs a shell command (xdotool and friends); true when it exits 0.
inline bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

inline bool WindowManagerExpected() {
    const char* wm = std::getenv("BELMORA_TEST_WM");
    return wm && std::string(wm) == "1";
}

// Records what the backend reports.
struct RecordingHost : rt::Host {
    struct Event {
        std::string what;
        rt::WindowId w = 0;
        int a = 0, b = 0, c = 0, d = 0;
        bool operator==(const Event&) const = default;
    };
    std::vector<Event> events;
    std::function<void(rt::TimerId)> timer;

    void onTimer(rt::TimerId id) override {
        if (timer)
            timer(id);
    }
    void onClick(rt::WindowId w, int x, int y) override { events.push_back({"click", w, x, y}); }
    void onDoubleClick(rt::WindowId w, int x, int y) override { events.push_back({"dblclick", w, x, y}); }
    void onKeyPress(rt::WindowId w, int code) override { events.push_back({"key", w, code}); }
    void onGeometryChanged(rt::WindowId w, rt::PixelRect r) override {
        events.push_back({"geometry", w, r.x, r.y, r.w, r.h});
    }
    void onCloseRequest(rt::WindowId w) override { events.push_back({"close", w}); }

    std::vector<Event> only(const std::string& what) const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.what == what)
                out.push_back(e);
        return out;
    }
};

inline std::ostream& operator<<(std::ostream& os, const RecordingHost::Event& e) {
    return os << e.what << "(w" << e.w << ": " << e.a << "," << e.b << "," << e.c << "," << e.d << ")";
}

}  // namespace qt_test
