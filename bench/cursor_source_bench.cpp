// The desktop's cursor on Wayland, as the chase gets it: how long after the
// pointer moves the source tells the new place, and how many reports a second
// it gives while the pointer keeps moving.
//
//   belmora_cursor_source_bench kwin|mutter DRIVER [ARGS...]
//
// Runs in a Wayland session (scripts/bench.sh starts a headless compositor);
// DRIVER is the pointer driver of tests/e2e/wayland (it reads "move X Y" lines
// and answers "ok"). The latency is from the move's request to the driver to
// the source's new position, so it includes the driver's own round trip.
#include <QApplication>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_table.h"
#include "platform/qt/kwin_cursor.h"
#include "platform/qt/mutter_cursor.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// The driver, with its stdin and stdout on pipes.
struct Driver {
    pid_t pid = -1;
    FILE* in = nullptr;   // its stdin
    FILE* out = nullptr;  // its stdout

    bool start(char** argv)
    {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
        pid = fork();
        if (pid == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            execvp(argv[0], argv);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in = fdopen(toChild[1], "w");
        out = fdopen(fromChild[0], "r");
        return pid > 0 && line() == "ready";
    }
    std::string line()
    {
        char text[256];
        if (!fgets(text, sizeof text, out)) return {};
        std::string s(text);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        return s;
    }
    void send(int x, int y)
    {
        std::fprintf(in, "move %d %d\n", x, y);
        std::fflush(in);
    }
    ~Driver()
    {
        if (in) std::fclose(in);  // the driver ends at the end of its input
        if (pid > 0) {
            int status = 0;
            for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (waitpid(pid, &status, WNOHANG) == 0) {
                kill(pid, SIGTERM);
                waitpid(pid, &status, 0);
            }
        }
        if (out) std::fclose(out);
    }
};

// Polls the source (letting Qt deliver D-Bus messages) until it tells (x, y).
bool WaitFor(qt::CursorSource& source, int x, int y, double timeoutMs, Clock::time_point t0)
{
    while (MsSince(t0) < timeoutMs) {
        QCoreApplication::processEvents();
        std::int32_t rx = 0, ry = 0;
        if (source.read(rx, ry) && rx == x && ry == y) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s kwin|mutter DRIVER [ARGS...]\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    std::unique_ptr<qt::CursorSource> source =
        kind == "kwin" ? qt::kwin::OpenCursor() : qt::mutter::OpenCursor();
    if (!source) {
        std::fprintf(stderr, "cursor bench: no %s cursor source here\n", kind.c_str());
        return 1;
    }
    Driver driver;
    if (!driver.start(argv + 2)) {
        std::fprintf(stderr, "cursor bench: the driver did not start\n");
        return 1;
    }
    const std::string name = kind == "kwin" ? "KWin script" : "mutter screen cast";

    // Latency: 200 moves to fresh places, 30 ms apart.
    std::vector<double> latency;
    int lost = 0;
    driver.send(300, 300);
    driver.line();
    WaitFor(*source, 300, 300, 3000, Clock::now());
    for (int i = 0; i < 200; ++i) {
        const int x = 100 + (i * 37) % 700, y = 100 + (i * 53) % 500;
        const auto t0 = Clock::now();
        driver.send(x, y);
        if (WaitFor(*source, x, y, 1000, t0))
            latency.push_back(MsSince(t0));
        else
            ++lost;
        driver.line();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    bench::MsRow("cursor report latency, " + name + " (move to report)", latency, -1, -1);
    if (lost) std::fprintf(stderr, "cursor bench: %d of 200 moves never reported\n", lost);

    // Rate: the pointer moves every 5 ms for 3 s; count the new positions seen.
    int reports = 0, moves = 0;
    std::int32_t lastX = -1, lastY = -1;
    const auto start = Clock::now();
    auto nextMove = start;
    while (MsSince(start) < 3000) {
        if (Clock::now() >= nextMove) {
            driver.send(100 + moves % 600, 300 + (moves / 600) % 2);
            driver.line();
            ++moves;
            nextMove += std::chrono::milliseconds(5);
        }
        QCoreApplication::processEvents();
        std::int32_t x = 0, y = 0;
        if (source->read(x, y) && (x != lastX || y != lastY)) {
            ++reports;
            lastX = x;
            lastY = y;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    char perSecond[32], moved[64];
    std::snprintf(perSecond, sizeof perSecond, "%.0f /s", reports / 3.0);
    std::snprintf(moved, sizeof moved, "(pointer moved %.0f times a second)", moves / 3.0);
    bench::Row("cursor reports per second, " + name, perSecond, "-", moved, "-", std::size_t(reports));
    return 0;
}
