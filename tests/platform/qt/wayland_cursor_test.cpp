// The cursor on a Wayland session: the freshest of the desktop's report and
// XWayland's own pointer, which starts out at a guess.
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "platform/qt/wayland_cursor.h"

namespace {

// A source whose position the test sets; `ok` false makes reads fail.
struct Scripted : qt::CursorSource {
    struct State {
        bool ok = false;
        std::int32_t x = 0, y = 0;
    };
    explicit Scripted(std::shared_ptr<State> s) : state(std::move(s)) {}
    bool read(std::int32_t& x, std::int32_t& y) override
    {
        if (!state->ok) return false;
        x = state->x;
        y = state->y;
        return true;
    }
    std::shared_ptr<State> state;
};

using Clock = qt::wayland::FreshestCursor::Clock;

// Both sources, read once a tick of 10 ms of a clock of the test's own.
struct Sources {
    std::shared_ptr<Scripted::State> desktop = std::make_shared<Scripted::State>();
    std::shared_ptr<Scripted::State> xwayland = std::make_shared<Scripted::State>();
    Clock::time_point now{};
    qt::wayland::FreshestCursor cursor{std::make_unique<Scripted>(desktop),
                                       std::make_unique<Scripted>(xwayland),
                                       [this] { return now += std::chrono::milliseconds(10); }};

    static void Set(Scripted::State& s, std::int32_t x, std::int32_t y)
    {
        s.ok = true;
        s.x = x;
        s.y = y;
    }
    // The position read, or {-1, -1} when the read fails.
    std::pair<std::int32_t, std::int32_t> Read()
    {
        std::int32_t x = -1, y = -1;
        if (!cursor.read(x, y)) return {-1, -1};
        return {x, y};
    }
};

using P = std::pair<std::int32_t, std::int32_t>;

TEST(FreshestCursorTest, XWaylandsStartUpGuessIsNotTrustedUntilItMoves)
{
    // No desktop source (sway, weston): XWayland's screen centre is no answer.
    auto xwayland = std::make_shared<Scripted::State>();
    qt::wayland::FreshestCursor cursor(nullptr, std::make_unique<Scripted>(xwayland));
    std::int32_t x = 0, y = 0;
    EXPECT_FALSE(cursor.read(x, y));
    Sources::Set(*xwayland, 512, 384);
    EXPECT_FALSE(cursor.read(x, y));
    EXPECT_FALSE(cursor.read(x, y)) << "the same guess, read again, is still a guess";
    Sources::Set(*xwayland, 40, 50);  // the pointer came over our window
    ASSERT_TRUE(cursor.read(x, y));
    EXPECT_EQ(P(x, y), P(40, 50));
    // Once real, a position stands while the pointer rests.
    ASSERT_TRUE(cursor.read(x, y));
    EXPECT_EQ(P(x, y), P(40, 50));
}

TEST(FreshestCursorTest, TheSourceThatMovedLastWins)
{
    Sources s;
    EXPECT_EQ(s.Read(), P(-1, -1)) << "nothing reported yet";
    Sources::Set(*s.xwayland, 512, 384);  // XWayland's guess
    EXPECT_EQ(s.Read(), P(-1, -1));
    Sources::Set(*s.desktop, 900, 100);  // the desktop's first report is the truth
    EXPECT_EQ(s.Read(), P(900, 100));
    EXPECT_EQ(s.Read(), P(900, 100)) << "XWayland's guess does not take over while both rest";

    // Over the banner both follow the pointer; XWayland's answer is the fresher.
    Sources::Set(*s.desktop, 30, 30);
    Sources::Set(*s.xwayland, 31, 31);
    EXPECT_EQ(s.Read(), P(31, 31));
    Sources::Set(*s.xwayland, 32, 33);  // the desktop's report of it is still on its way
    EXPECT_EQ(s.Read(), P(32, 33));
    Sources::Set(*s.desktop, 32, 33);
    EXPECT_EQ(s.Read(), P(32, 33));

    // Off the banner XWayland freezes where the pointer left it: the desktop leads.
    Sources::Set(*s.desktop, 300, 200);
    EXPECT_EQ(s.Read(), P(300, 200));
    EXPECT_EQ(s.Read(), P(300, 200));
    Sources::Set(*s.desktop, 700, 600);
    EXPECT_EQ(s.Read(), P(700, 600));
}

TEST(FreshestCursorTest, XWaylandMovingWhileTheDesktopIsStillIsOurWindowMoving)
{
    Sources s;
    Sources::Set(*s.xwayland, 512, 384);
    Sources::Set(*s.desktop, 416, 200);  // the pointer parked over the desktop
    EXPECT_EQ(s.Read(), P(416, 200));
    for (int i = 0; i < 20; ++i)  // 200 ms: the banner runs to it
        EXPECT_EQ(s.Read(), P(416, 200));
    // The banner arrives under the resting pointer: XWayland works the pointer
    // out from where it last knew the window, a step behind.
    Sources::Set(*s.xwayland, 421, 205);
    EXPECT_EQ(s.Read(), P(416, 200));
    Sources::Set(*s.xwayland, 417, 201);
    EXPECT_EQ(s.Read(), P(416, 200));
    // The pointer moves again: the desktop reports, XWayland's next answer is fresher.
    Sources::Set(*s.desktop, 420, 204);
    EXPECT_EQ(s.Read(), P(420, 204));
    Sources::Set(*s.xwayland, 425, 209);
    EXPECT_EQ(s.Read(), P(425, 209));
    for (int i = 0; i < 9; ++i)  // up to 100 ms after the desktop's last report
        Sources::Set(*s.xwayland, 426 + i, 209), s.Read();
    EXPECT_EQ(s.Read(), P(434, 209));
    Sources::Set(*s.xwayland, 440, 209);  // 110 ms: the desktop has been still too long
    EXPECT_EQ(s.Read(), P(420, 204));
}

TEST(FreshestCursorTest, AFailingReadKeepsTheLastPosition)
{
    Sources s;
    Sources::Set(*s.desktop, 10, 20);
    EXPECT_EQ(s.Read(), P(10, 20));
    s.desktop->ok = false;  // e.g. the X connection or the report stream hiccups
    EXPECT_EQ(s.Read(), P(10, 20));
    Sources::Set(*s.desktop, 11, 21);
    EXPECT_EQ(s.Read(), P(11, 21));
}

}  // namespace
