// The reader behind cursorPos() on X11 (x11_cursor.cpp), on connections of its own.
#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "platform/qt/x11_window.h"
#include "qt_test_support.h"

namespace {

using qt_test::Sh;
using qt_test::WaitFor;

bool ReadsAt(qt::CursorSource& reader, int x, int y)
{
    std::int32_t rx = -1, ry = -1;
    return reader.read(rx, ry) && rx == x && ry == y;
}

// It follows the pointer to the screen's far corners, and several readers may be open at once.
TEST(X11CursorReader, FollowsThePointerAcrossTheScreen)
{
    std::unique_ptr<qt::CursorSource> reader = qt::x11::OpenCursorReader();
    ASSERT_NE(reader, nullptr) << "the tests run on xcb";
    std::unique_ptr<qt::CursorSource> other = qt::x11::OpenCursorReader();
    ASSERT_NE(other, nullptr);
    const struct {
        int x, y;
    } corners[] = {{0, 0}, {1023, 767}, {1023, 0}, {0, 767}};
    for (const auto& at : corners) {
        ASSERT_TRUE(Sh("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y)));
        EXPECT_TRUE(WaitFor([&] { return ReadsAt(*reader, at.x, at.y); })) << at.x << "," << at.y;
        EXPECT_TRUE(ReadsAt(*other, at.x, at.y));
    }
}

// Between motions the reader keeps its last answer: every motion must reach
// it, whether the pointer was warped (xdotool mousemove) or moved as a device
// moves it (XTEST, xdotool mousemove_relative). Asked again only after an
// hour, the reader can learn of them from the motions' reports alone.
TEST(X11CursorReader, LearnsOfEveryMotion)
{
    std::unique_ptr<qt::CursorSource> reader = qt::x11::OpenCursorReader(std::chrono::hours(1));
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(Sh("xdotool mousemove 200 100"));
    ASSERT_TRUE(WaitFor([&] { return ReadsAt(*reader, 200, 100); }));
    int x = 200, y = 100;
    for (int i = 0; i < 10; ++i) {
        if (i % 2 == 0) {
            x += 7;
            ASSERT_TRUE(Sh("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)));
        } else {
            y += 5;
            ASSERT_TRUE(Sh("xdotool mousemove_relative 0 5"));
        }
        EXPECT_TRUE(WaitFor([&] { return ReadsAt(*reader, x, y); }))
            << "move " << i << " to " << x << "," << y;
    }
}

// A server without RECORD: the reader asks it on every read.
TEST(X11CursorReader, AsksEveryTimeWithoutRecord)
{
    char dir[] = "/tmp/belmora-norecord.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string tmp = dir;
    struct Stop {
        std::string tmp;
        pid_t xvfb = 0;
        ~Stop()
        {
            if (xvfb > 0) kill(xvfb, SIGTERM);
            Sh("rm -rf " + tmp);
        }
    } stop{tmp};
    ASSERT_TRUE(Sh("Xvfb -displayfd 3 -extension RECORD -screen 0 640x480x24 -nolisten tcp 3>" + tmp +
                   "/display >" + tmp + "/xvfb.log 2>&1 & echo $! >" + tmp + "/pid"));
    std::ifstream(tmp + "/pid") >> stop.xvfb;
    ASSERT_GT(stop.xvfb, 0);
    std::string number;
    ASSERT_TRUE(WaitFor([&] { return bool(std::ifstream(tmp + "/display") >> number); }, 10000))
        << "the second Xvfb did not start";
    const std::string display = ":" + number, on = "DISPLAY=" + display + " ";
    EXPECT_FALSE(Sh(on + "xdpyinfo -queryExtensions | grep -q RECORD")) << "the server still has RECORD";
    const std::string old = std::getenv("DISPLAY");
    setenv("DISPLAY", display.c_str(), 1);
    std::unique_ptr<qt::CursorSource> reader = qt::x11::OpenCursorReader(std::chrono::hours(1));
    setenv("DISPLAY", old.c_str(), 1);
    ASSERT_NE(reader, nullptr);
    for (int x : {10, 300, 639}) {
        ASSERT_TRUE(Sh(on + "xdotool mousemove " + std::to_string(x) + " 20"));
        EXPECT_TRUE(ReadsAt(*reader, x, 20)) << x;
    }
}

}  // namespace
