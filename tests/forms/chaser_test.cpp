// The banner on the simulated desktop: start-up, the catch box, the chase steps and tones.
#include <gtest/gtest.h>

#include "forms/chaser/Form1.h"
#include "forms/chaser/pictures.h"
#include "support/sim_program.h"

using testing_support::Loaded;
using testing_support::SimRun;

namespace {

struct TickOutcome {
    bool caught = false;
    float left = 0, top = 0;
    int tones = 0;
};

// Puts the banner at (left, top) twips and the cursor at (x, y) px at virtual
// time t, and reports what the one tick that runs at t did.
void oneTick(SimRun& r, long long t, float left, float top, int x, int y, TickOutcome& out)
{
    r.probe(t, [&r, left, top, x, y] {
        Form1* f = Loaded<Form1>();
        f->Left(left);
        f->Top(top);
        r.desk.moveCursor(x, y);
    });
    r.probe(t + 5, [&r, t, &out] {
        Form1* f = Loaded<Form1>();
        out.caught = f->Picture() == GreetingPicture();
        out.left = f->Left();
        out.top = f->Top();
        for (const auto& tone : r.desk.tones())
            if (tone.at >= t) ++out.tones;
    });
}

}  // namespace

TEST(Chaser, LoadBeepsThenShowsTheBannerTopMostAtTheTopLeftWithoutFocus)
{
    SimRun r;
    r.desk.moveCursor(16, 16);  // at rest from the start: no chase tones
    r.desk.setTimeLimit(1000);
    r.run();
    ASSERT_FALSE(r.desk.tones().empty());
    EXPECT_EQ(r.desk.tones()[0].at, 0);
    EXPECT_EQ(r.desk.tones()[0].frequency, 3000);
    EXPECT_EQ(r.desk.tones()[0].duration, 200);

    const sim::WindowChange* shown = nullptr;
    for (const auto& c : r.desk.changes())
        if (c.kind == sim::WindowChange::Kind::Shown && !shown) shown = &c;
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->at, 200);  // after the load tone
    EXPECT_FALSE(shown->activated);
    EXPECT_EQ(shown->rect, (rt::PixelRect{0, 0, 81, 28}));  // not centred on the screen
    EXPECT_EQ(shown->caption, "Form1");

    const sim::SimWindow* w = r.desk.windowCaptioned("Form1");
    EXPECT_EQ(w, nullptr);  // the time limit ended the run, and no window stays behind
    int picturesBeforeFirstTick = 0;
    for (const auto& c : r.desk.changes())
        if (c.kind == sim::WindowChange::Kind::Picture && c.at <= 200) {
            ++picturesBeforeFirstTick;
            EXPECT_EQ(c.picture, "greeting");
        }
    EXPECT_EQ(picturesBeforeFirstTick, 1);
}

TEST(Chaser, BannerWindowIsBorderlessTopMostWithNoTaskbarButton)
{
    SimRun r;
    r.desk.setTimeLimit(300);
    bool checked = false;
    r.probe(250, [&] {
        const sim::SimWindow* w = r.desk.windowCaptioned("Form1");
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->windowStyle.bordered);
        EXPECT_FALSE(w->windowStyle.showInTaskbar);
        EXPECT_TRUE(w->topMost);
        EXPECT_EQ(w->windowStyle.icon.name(), "smiley");
        EXPECT_EQ(w->rect.w, 81);
        EXPECT_EQ(w->rect.h, 28);
        // The picture boxes lie wholly right of the 81 px window.
        int boxItems = 0;
        for (const auto& item : w->scene.items)
            if (item.owner == "PicRIDE" || item.owner == "PicPIANGE") {
                ++boxItems;
                EXPECT_GE(item.rect.x, 81);
            }
        EXPECT_GT(boxItems, 0) << "the scene holds no picture-box item";
        checked = true;
    });
    r.run();
    EXPECT_TRUE(checked);
}

TEST(Chaser, CatchBoxIsOpenThirtyTwoPixelsSquareAtTheTopLeft)
{
    // Columns and rows counted from the window's top-left corner (100, 100).
    struct Case {
        int col, row;
        bool caught;
    };
    const std::vector<Case> cases = {
        {1, 16, true},  {31, 16, true}, {0, 16, false},  {32, 16, false}, {16, 1, true},
        {16, 31, true}, {16, 0, false}, {16, 32, false}, {40, 10, false}, {80, 27, false},
        {1, 28, true},  {31, 31, true}, {20, 29, true},  {1, 1, true},    {0, 0, false},
    };
    SimRun r;
    std::vector<TickOutcome> outcomes(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        oneTick(r, 1000 + 100 * static_cast<long long>(i), 1500, 1500, 100 + cases[i].col, 100 + cases[i].row,
                outcomes[i]);
    r.desk.setTimeLimit(1000 + 100 * static_cast<long long>(cases.size()));
    r.run();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("column " + std::to_string(cases[i].col) + ", row " + std::to_string(cases[i].row));
        EXPECT_EQ(outcomes[i].caught, cases[i].caught);
        EXPECT_EQ(outcomes[i].tones, cases[i].caught ? 0 : 1);
    }
    // A caught step is 1 px (15 twips) towards the target; a missed one 5 px.
    EXPECT_EQ(outcomes[0].left, 1500 - 15);  // column 1: target is 15 px left of the window
    EXPECT_EQ(outcomes[2].left, 1500 - 75);  // column 0: missed, 5 px
}

TEST(Chaser, OriginCursorWalksTheBannerOffTheCornerAndRestsThere)
{
    SimRun r;
    r.desk.moveCursor(0, 0);
    float left1 = 0, top1 = 0, left2 = 0, top2 = 0;
    std::size_t tonesAtRest = 0;
    r.probe(2000, [&] {
        left1 = Loaded<Form1>()->Left();
        top1 = Loaded<Form1>()->Top();
        tonesAtRest = r.desk.tones().size();
    });
    r.probe(4000, [&] {
        left2 = Loaded<Form1>()->Left();
        top2 = Loaded<Form1>()->Top();
        EXPECT_EQ(Loaded<Form1>()->Picture(), GreetingPicture());
    });
    r.desk.setTimeLimit(4001);
    r.run();
    EXPECT_EQ(left1, -240);
    EXPECT_EQ(top1, -240);
    EXPECT_EQ(left2, -240);
    EXPECT_EQ(top2, -240);
    EXPECT_EQ(r.desk.tones().size(), tonesAtRest);  // silent while caught
    // The first tick misses (the cursor sits on the box's edge), so it steps 5 px and beeps once.
    ASSERT_GE(r.desk.tones().size(), 2u);
    EXPECT_EQ(r.desk.tones()[1].frequency, 70);
    EXPECT_EQ(r.desk.tones()[1].duration, 10);
    EXPECT_EQ(r.desk.tones().size(), 2u);
}

TEST(Chaser, MissedTickOvershootsAndAStillAxisStaysPut)
{
    // Cursor at (500, 400): targets 7260, 5760 twips.
    SimRun r;
    TickOutcome overshoot, stillAxis;
    oneTick(r, 1000, 7260 + 30, 5760 + 3000, 500, 400, overshoot);  // missed: the cursor is far above
    oneTick(r, 1100, 7260, 5760 - 3000, 500, 400, stillAxis);
    r.desk.setTimeLimit(1200);
    r.run();
    EXPECT_FALSE(overshoot.caught);
    EXPECT_EQ(overshoot.left, 7260 - 45);
    EXPECT_EQ(overshoot.top, 5760 + 3000 - 75);
    EXPECT_EQ(stillAxis.left, 7260);
    EXPECT_EQ(stillAxis.top, 5760 - 3000 + 75);
}

TEST(Chaser, EveryMissedTickBeepsOnceAndTheBannerShowsTheGrowl)
{
    SimRun r;
    r.desk.moveCursor(1000, 700);
    std::vector<long long> tickTimes;
    r.probe(600, [&] {
        EXPECT_EQ(Loaded<Form1>()->Picture(), GrowlPicture());
        EXPECT_EQ(Loaded<Form1>()->Left(), 0 + 75 * 40);  // 40 ticks from 200 ms, 5 px each
    });
    r.desk.setTimeLimit(601);
    r.run();
    std::vector<long long> chase;
    for (const auto& t : r.desk.tones())
        if (t.frequency == 70 && t.at < 600) {
            EXPECT_EQ(t.duration, 10);
            chase.push_back(t.at);
        }
    ASSERT_EQ(chase.size(), 40u);
    for (std::size_t i = 0; i < chase.size(); ++i) EXPECT_EQ(chase[i], 200 + 10 * static_cast<long long>(i));
}

TEST(Chaser, CursorBeyondTheLongRangeShowsOopsAndEndsTheProgram)
{
    for (const auto& [x, y] : std::vector<std::pair<std::int32_t, std::int32_t>>{
             {143165577, 10}, {10, 143165577}, {-143165577, 10}}) {
        SimRun r;
        r.desk.moveCursor(x, y);
        r.run();
        EXPECT_EQ(r.status, 0);
        EXPECT_FALSE(r.desk.stoppedAtLimit());
        ASSERT_EQ(r.desk.boxes().size(), 1u);
        EXPECT_EQ(r.desk.boxes()[0].prompt, "Overflow");
        EXPECT_EQ(r.desk.boxes()[0].style, 16);
        EXPECT_EQ(r.desk.boxes()[0].title, "OOPS!");
        EXPECT_TRUE(r.desk.windows().empty());
    }
    // The largest cursor that does not overflow goes on chasing.
    SimRun ok;
    ok.desk.moveCursor(143165576, 10);
    ok.desk.setTimeLimit(500);
    ok.run();
    EXPECT_TRUE(ok.desk.stoppedAtLimit());
    EXPECT_TRUE(ok.desk.boxes().empty());
}
