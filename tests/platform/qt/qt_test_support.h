#pragma once
// Helpers for the Qt backend tests. They run on a real X server: the test
// binary is started by run_in_session.sh, which gives it its own Xvfb (and,
// when asked, openbox and a private PulseAudio).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "runtime/platform.h"

namespace qt_test {

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 3000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets the event loop run for `ms`.
inline void Pump(int ms)
{
    WaitFor([] { return false; }, ms);
}

// Runs a shell command (xdotool and friends); true when it exits 0.
inline bool Sh(const std::string& command) { return std::system(command.c_str()) == 0; }

inline bool WindowManagerExpected()
{
    const char* wm = std::getenv("BELMORA_TEST_WM");
    return wm && std::string(wm) == "1";
}

// The PID of the session's window manager (run_in_session.sh --wm), or 0.
inline pid_t WindowManagerPid()
{
    const char* pid = std::getenv("BELMORA_TEST_WM_PID");
    return pid && WindowManagerExpected() ? pid_t(std::atol(pid)) : 0;
}

// Stops a process (SIGSTOP) for `hold`: a thread lets it go on (SIGCONT) once
// that has passed, whatever the caller is doing then, or when this is
// destroyed, if sooner.
class HeldProcess {
public:
    HeldProcess(pid_t pid, std::chrono::milliseconds hold)
        : pid_(Stopped(pid)),
          resumer_([this, hold](std::stop_token stop) {
              std::unique_lock lock(mutex_);
              wake_.wait_for(lock, stop, hold, [] { return false; });
              ::kill(pid_, SIGCONT);
          })
    {
    }
    ~HeldProcess()
    {
        resumer_.request_stop();
        resumer_.join();
    }

private:
    // Sends SIGSTOP and waits (up to a second) until the process is stopped.
    static pid_t Stopped(pid_t pid)
    {
        ::kill(pid, SIGSTOP);
        for (int i = 0; i < 1000; ++i) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            std::getline(stat, line);
            const std::size_t close = line.rfind(')');
            if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'T') break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return pid;
    }
    pid_t pid_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread resumer_;
};

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

    void onTimer(rt::TimerId id) override
    {
        if (timer) timer(id);
    }
    void onClick(rt::WindowId w, int x, int y) override { events.push_back({"click", w, x, y}); }
    void onDoubleClick(rt::WindowId w, int x, int y) override { events.push_back({"dblclick", w, x, y}); }
    void onKeyPress(rt::WindowId w, int code) override { events.push_back({"key", w, code}); }
    void onGeometryChanged(rt::WindowId w, rt::PixelRect r) override
    {
        events.push_back({"geometry", w, r.x, r.y, r.w, r.h});
    }
    void onCloseRequest(rt::WindowId w) override { events.push_back({"close", w}); }

    std::vector<Event> only(const std::string& what) const
    {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.what == what) out.push_back(e);
        return out;
    }
};

inline std::ostream& operator<<(std::ostream& os, const RecordingHost::Event& e)
{
    return os << e.what << "(w" << e.w << ": " << e.a << "," << e.b << "," << e.c << "," << e.d << ")";
}

}  // namespace qt_test
