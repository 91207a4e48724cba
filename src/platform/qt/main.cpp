// Belmora on Linux and other X11 desktops. The program takes no command line.
#include <QApplication>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>

#include "platform/qt/qt_platform.h"
#include "platform/qt/session_env.h"
#include "program.h"

namespace {

// Whether the X server named by $DISPLAY accepts a connection, waiting at most
// `timeout` (connecting to a remote display can hang on name lookups).
bool XDisplayReachable(std::chrono::milliseconds timeout)
{
    std::promise<bool> result;
    std::future<bool> reachable = result.get_future();
    std::thread([result = std::move(result)]() mutable {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const bool ok = c && !xcb_connection_has_error(c);
        if (c) xcb_disconnect(c);
        result.set_value(ok);
    }).detach();
    return reachable.wait_for(timeout) == std::future_status::ready && reachable.get();
}

}  // namespace

int main(int argc, char** argv)
{
    // A session bus that runs already, or none: never one started for us.
    qt::KeepSessionBusLocal();

    // Wayland gives no global cursor position, nor a place of its own to a
    // window: run through XWayland there, also when the session asks Qt
    // programs for Wayland (QT_QPA_PLATFORM=wayland, often set on sway and
    // Plasma). An empty value is as good as none (Qt would try its default plugin).
    const char* asked = std::getenv("QT_QPA_PLATFORM");
    if (!asked || !*asked || std::strncmp(asked, "wayland", 7) == 0) setenv("QT_QPA_PLATFORM", "xcb", 1);

    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (std::strncmp(platform, "xcb", 3) == 0 && !XDisplayReachable(std::chrono::milliseconds(800))) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "belmora: nessun display X raggiungibile (DISPLAY=%s): "
                     "avviare il programma da una sessione grafica\n",
                     display && *display ? display : "(non impostato)");
        std::fflush(stderr);
        std::_Exit(1);  // a connection attempt may still hang in its thread
    }

    // Arguments are not the program's business: Qt only gets the program name.
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 ? argv[0] : const_cast<char*>("belmora"), nullptr};
    QApplication::setApplicationName(QStringLiteral("Belmora"));
    QApplication app(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);  // the program decides when it ends

    qt::QtPlatform platformPort;
    return RunBelmora(platformPort);
}
