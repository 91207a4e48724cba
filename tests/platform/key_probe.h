#pragma once
// A window that reports every key press its backend hands to the runtime, one
// line on stdout per key ("key 97"), for key_table_test.sh. Each backend's probe
// only makes its Platform and calls RunKeyProbe, so the keys go through that
// backend's real translation.
#include <cstdio>

#include "runtime/platform.h"

namespace keyprobe {

// The window's caption, by which the test finds it on the X server.
inline constexpr const char* kCaption = "belmora key probe";

class PrintingHost : public rt::Host {
public:
    explicit PrintingHost(rt::Platform& platform) : platform_(platform) {}
    void onTimer(rt::TimerId) override {}
    void onClick(rt::WindowId, int, int) override {}
    void onDoubleClick(rt::WindowId, int, int) override {}
    void onKeyPress(rt::WindowId, int charCode) override
    {
        std::printf("key %d\n", charCode);
        std::fflush(stdout);
    }
    void onGeometryChanged(rt::WindowId, rt::PixelRect) override {}
    void onCloseRequest(rt::WindowId) override { platform_.quit(0); }

private:
    rt::Platform& platform_;
};

// Shows one active, borderless window (as the crash page is) and runs the
// event loop until the window is closed or the process is stopped.
inline int RunKeyProbe(rt::Platform& platform)
{
    PrintingHost host(platform);
    platform.attach(host);
    rt::WindowStyle style;
    style.caption = kCaption;
    const rt::WindowId w = platform.createWindow(style);
    if (w == 0) {
        std::fprintf(stderr, "key probe: the backend made no window\n");
        return 1;
    }
    platform.setGeometry(w, rt::PixelRect{100, 100, 320, 200});
    platform.setScene(w, rt::Scene{rt::Rgb{0, 0, 128}, {}});
    platform.show(w, true);
    std::printf("ready\n");
    std::fflush(stdout);
    return platform.run();
}

}  // namespace keyprobe
