// Start-up of the real program, watched from outside: the time from starting
// the process to the X server mapping its banner (a top-level window named
// "Form1", or the window manager's frame around it).
//
//   launch_bench --runs N PROGRAM [TONE_MS [FIGURE]]
//                                     N start-ups, each ended once the banner is
//                                     mapped; prints the table row of the time
//                                     less the start-up tone (200 ms unless told)
//   launch_bench --once PROGRAM       one start-up, left running: prints
//                                     "pid P", then "mapped_ms T", and when the
//                                     program ends "exit S" (its exit status)
//
// The clock starts right before the process is spawned, so the figure holds
// everything: loading the program, connecting to the X and sound servers,
// the 200 ms start-up tone and mapping the window.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_table.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kGoalMs = 40.0;

class MapWatcher {
public:
    MapWatcher()
    {
        c_ = xcb_connect(nullptr, nullptr);
        if (!c_ || xcb_connection_has_error(c_)) {
            std::fprintf(stderr, "launch_bench: no X display\n");
            std::exit(2);
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));  // in force from here on
        netWmName_ = atom("_NET_WM_NAME");
    }
    ~MapWatcher() { xcb_disconnect(c_); }

    // Waits for a top-level window named `name` to be mapped; false after `timeoutMs`.
    bool waitForMap(const std::string& name, int timeoutMs, pid_t child)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
        while (Clock::now() < deadline) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                bool found = false;
                if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
                    found = named(map->window, name, 2);
                }
                free(e);
                if (found) return true;
            }
            if (xcb_connection_has_error(c_)) return false;
            if (child > 0 && waitpid(child, nullptr, WNOHANG) == child) return false;
            poll(&fd, 1, 20);
        }
        return false;
    }

private:
    xcb_atom_t atom(const char* name)
    {
        auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::uint16_t(std::strlen(name)), name),
                                        nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return a;
    }

    std::string property(xcb_window_t w, xcb_atom_t prop)
    {
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
        std::string value;
        if (r) {
            value.assign(static_cast<const char*>(xcb_get_property_value(r)),
                         std::size_t(xcb_get_property_value_length(r)));
            free(r);
        }
        return value;
    }

    // The window or one of its descendants (a window manager's frame holds
    // the program's window) bears the name.
    bool named(xcb_window_t w, const std::string& name, int depth)
    {
        if (property(w, netWmName_) == name || property(w, XCB_ATOM_WM_NAME) == name) return true;
        if (depth == 0) return false;
        auto* tree = xcb_query_tree_reply(c_, xcb_query_tree(c_, w), nullptr);
        if (!tree) return false;
        const xcb_window_t* kids = xcb_query_tree_children(tree);
        const int n = xcb_query_tree_children_length(tree);
        bool found = false;
        for (int i = 0; i < n && !found; ++i) found = named(kids[i], name, depth - 1);
        free(tree);
        return found;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t netWmName_ = XCB_ATOM_NONE;
};

pid_t Spawn(char* program)
{
    char* args[] = {program, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, args, environ) != 0) {
        std::perror("launch_bench: posix_spawn");
        std::exit(2);
    }
    return pid;
}

int Reap(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

double MsSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 6) {
        std::fprintf(stderr, "usage: launch_bench --runs N PROGRAM [TONE_MS [FIGURE]] | --once PROGRAM\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "--once") {
        MapWatcher watcher;
        const auto start = Clock::now();
        const pid_t pid = Spawn(argv[2]);
        std::printf("pid %d\n", int(pid));
        std::fflush(stdout);
        if (watcher.waitForMap("Form1", 20000, pid)) {
            std::printf("mapped_ms %.2f\n", MsSince(start));
            std::fflush(stdout);
        }
        std::printf("exit %d\n", Reap(pid));
        return 0;
    }
    if (mode != "--runs" || argc < 4) return 2;
    const int runs = std::atoi(argv[2]);
    const double toneMs = argc > 4 ? std::atof(argv[4]) : 200.0;
    const std::string figure = argc > 5 ? argv[5] : "start-up to banner mapped, less the 200 ms tone";
    std::vector<double> overhead;
    for (int i = 0; i < runs; ++i) {
        MapWatcher watcher;
        const auto start = Clock::now();
        const pid_t pid = Spawn(argv[3]);
        const bool mapped = watcher.waitForMap("Form1", 20000, pid);
        const double ms = MsSince(start);
        kill(pid, SIGTERM);
        Reap(pid);
        if (!mapped) {
            std::fprintf(stderr, "launch_bench: run %d: the banner was never mapped\n", i + 1);
            continue;
        }
        overhead.push_back(ms - toneMs);
        usleep(200 * 1000);  // let the servers forget the last run
    }
    if (toneMs > 0)
        bench::MsRow(figure, overhead, kGoalMs, -1);
    else  // a reference, with no goal of its own
        bench::Row(figure, bench::Ms(bench::Median(overhead)), bench::Ms(bench::P95(overhead)), "(reference)",
                   "-", overhead.size());
    return overhead.size() == std::size_t(runs) ? 0 : 1;
}
