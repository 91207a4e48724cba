// The whole program on the simulated desktop: chase, click, greeting, the
// crash page, seven keys and the end.
#include <gtest/gtest.h>

#include "forms/chaser/Form1.h"
#include "forms/crash/TimerForm.h"
#include "forms/crash/frmBSOD.h"
#include "support/sim_program.h"

using testing_support::Loaded;
using testing_support::SimRun;

namespace {

using Tones = std::vector<std::pair<int, int>>;  // frequency, duration

Tones tonesBetween(const sim::SimDesktop& desk, long long from, long long to)
{
    Tones out;
    for (const auto& t : desk.tones())
        if (t.at >= from && t.at < to) out.emplace_back(t.frequency, t.duration);
    return out;
}

const Tones Chime{{800, 100}, {1300, 100}, {1000, 100}, {800, 100}, {1300, 100}, {1000, 100}, {800, 100}};

struct PageState {
    bool loaded = false;
    std::string caption;
    bool visible = false;
    int pressCount = -1;
    bool blinking = false;
};

PageState pageState()
{
    PageState s;
    frmBSOD* page = Loaded<frmBSOD>();
    if (page == nullptr) return s;
    s.loaded = true;
    s.caption = page->lblInsertCoin.Caption();
    s.visible = page->lblInsertCoin.Visible();
    s.pressCount = page->PressCount.value();
    if (TimerForm* tf = Loaded<TimerForm>()) s.blinking = tf->timBlinkerFluid.Enabled();
    return s;
}

}  // namespace

TEST(WholeRun, ClickGreetingCrashPageSevenKeysAndTheEnd)
{
    SimRun r;
    r.desk.moveCursor(16, 16);  // resting in the catch box: a silent chase
    r.desk.setResponder([](const sim::Box&) { return 1000LL; });
    r.input(1000, [&] { r.desk.clickAt(10, 10); });  // Click raised at 1500
    // The greeting is answered at 3200; the page is up from then on.
    bool pageChecked = false;
    r.probe(3250, [&] {
        EXPECT_EQ(Loaded<Form1>(), nullptr);
        frmBSOD* page = Loaded<frmBSOD>();
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->Frame1.Left(), 3143);
        EXPECT_EQ(page->Frame1.Top(), 2436);
        EXPECT_EQ(page->Width(), 15360);
        EXPECT_EQ(page->Height(), 11520);
        EXPECT_EQ(page->lblError.Caption().size(), 79u);
        EXPECT_EQ(page->lblErrorLine2.Caption().size(), 44u);
        EXPECT_EQ(page->lblPressAny.Caption(), "*      Premere un tasto per continuare.");
        EXPECT_EQ(page->lblPressAny2.Caption().size(), 139u);
        EXPECT_EQ(page->lblPressAny2.Caption().find("\r\n"), 53u);
        EXPECT_EQ(page->lblWIndows.Caption(), "QuadriLume");
        const sim::SimWindow* w = r.desk.windowCaptioned("Windows BSOD");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->rect, (rt::PixelRect{0, 0, 1024, 768}));
        EXPECT_TRUE(w->visible);
        EXPECT_FALSE(w->windowStyle.showInTaskbar);
        EXPECT_FALSE(w->windowStyle.bordered);
        EXPECT_EQ(r.desk.focus(), w->id);
        TimerForm* tf = Loaded<TimerForm>();
        ASSERT_NE(tf, nullptr);
        EXPECT_FALSE(tf->Visible());
        EXPECT_EQ(r.desk.windowCaptioned("Form1"), nullptr);
        pageChecked = true;
    });
    // The blink: ticks at 4200, 5200, 6200 flip the label.
    std::vector<bool> blink;
    for (long long t : {4100, 4300, 5300, 6300}) r.probe(t, [&] { blink.push_back(pageState().visible); });
    // Seven keys, one a second from 7000; the state after each one.
    std::vector<PageState> after;
    const int keys[] = {'a', '7', ' ', 13, 27, 'Z', 'x'};
    for (int i = 0; i < 7; ++i) {
        r.input(7000 + 1000LL * i, [&, i] { r.desk.key(keys[i]); });
        if (i < 6) r.probe(7000 + 1000LL * i + 600, [&] { after.push_back(pageState()); });
    }
    std::vector<bool> visibleAfterKeys;
    for (long long t : {7700, 8300, 9250}) r.probe(t, [&] { visibleAfterKeys.push_back(pageState().visible); });

    EXPECT_EQ(r.run(), 0);
    EXPECT_FALSE(r.desk.stoppedAtLimit());
    EXPECT_TRUE(pageChecked);

    // Load tone, then the click's chime, and nothing else before the greeting.
    EXPECT_EQ(tonesBetween(r.desk, 0, 1), (Tones{{3000, 200}}));
    EXPECT_EQ(tonesBetween(r.desk, 1, 2200), Chime);
    EXPECT_EQ(r.desk.tones()[1].at, 1500);
    ASSERT_EQ(r.desk.boxes().size(), 2u);
    EXPECT_EQ(r.desk.boxes()[0].at, 2200);
    EXPECT_EQ(r.desk.boxes()[0].prompt, "Auguri fratello BRUNDELMAR\r\rbenvenuto fra di noi");
    EXPECT_EQ(r.desk.boxes()[0].style, 0);
    EXPECT_EQ(r.desk.boxes()[0].title, "Belmora");

    EXPECT_EQ(blink, (std::vector<bool>{true, false, true, false}));

    ASSERT_EQ(after.size(), 6u);
    const std::vector<std::string> captions = {"CREDITI: 1", "CREDITI: 2", "CREDITI: 3",
                                               "PREMERE UN TASTO", "CREDITI: 5", "CREDITI: 6"};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE("after press " + std::to_string(i + 1));
        EXPECT_EQ(after[i].caption, captions[i]);
        EXPECT_EQ(after[i].pressCount, i + 1);
        EXPECT_TRUE(after[i].visible);
        EXPECT_FALSE(after[i].blinking);
        const Tones expected = i == 3 ? Tones{{400, 300}} : Tones{{400, 300}, {400, 200}};
        EXPECT_EQ(tonesBetween(r.desk, 7000 + 1000LL * i, 7000 + 1000LL * (i + 1)), expected);
    }
    EXPECT_EQ(visibleAfterKeys, (std::vector<bool>{true, true, true}));  // the blink stopped for good

    // The seventh key: chime, the closing greeting, chime ending on 500 Hz, the end.
    EXPECT_EQ(tonesBetween(r.desk, 13000, 13700), Chime);
    const sim::Box& closing = r.desk.boxes()[1];
    EXPECT_EQ(closing.at, 13700);
    EXPECT_EQ(closing.prompt, "Nuovmente Auguri fratello BRUNDELMAR\r\rdi cuore ...da tutti NOI");
    EXPECT_EQ(closing.prompt.size(), 62u);
    EXPECT_EQ(closing.style, 16);
    EXPECT_EQ(closing.title, "BRUNDELMAR entry");
    Tones last = Chime;
    last.back() = {500, 100};
    EXPECT_EQ(tonesBetween(r.desk, 14700, 100000), last);
    EXPECT_EQ(r.desk.now(), 15400);
    EXPECT_TRUE(r.desk.windows().empty());
}

TEST(WholeRun, DoubleClickGoesStraightToThePageWithNoToneAndNoBox)
{
    SimRun r;
    r.desk.moveCursor(16, 16);
    r.input(1000, [&] { r.desk.doubleClickAt(10, 10, 120); });
    bool onPage = false;
    r.probe(1200, [&] { onPage = Loaded<frmBSOD>() != nullptr && Loaded<Form1>() == nullptr; });
    r.desk.setTimeLimit(3000);
    r.run();
    EXPECT_TRUE(onPage);
    EXPECT_EQ(r.desk.tones().size(), 1u);  // the load tone only
    EXPECT_TRUE(r.desk.boxes().empty());
    // TimerForm was loaded, shown and hidden in one go: it never reached the screen.
    int timerFormChanges = 0;
    for (const auto& c : r.desk.changes())
        if (c.caption == "TimerForm") {
            ++timerFormChanges;
            EXPECT_NE(c.kind, sim::WindowChange::Kind::Shown);
        }
    EXPECT_GT(timerFormChanges, 0) << "TimerForm was never created";
}

TEST(WholeRun, CrashPageCentresItsPanelAtLoadThenRecentresAtTheFirstResize)
{
    sim::SimDesktop desk(1024, 768);
    rt::Application app(desk);
    frmBSOD& page = rt::Default<frmBSOD>();  // loaded, not yet shown
    EXPECT_EQ(page.PressCount.value(), 0);
    EXPECT_EQ(page.Frame1.Left(), 3000);
    EXPECT_EQ(page.Frame1.Top(), 2436);
    page.Show();
    EXPECT_EQ(page.Frame1.Left(), 3143);
    EXPECT_EQ(page.Frame1.Top(), 2436);
    EXPECT_EQ(page.Left(), 0);
    EXPECT_EQ(page.Top(), 0);
    // A window manager's resize to a narrower page puts the panel back at its design Left.
    app.onGeometryChanged(desk.windowCaptioned("Windows BSOD")->id, {0, 0, 700, 768});
    EXPECT_EQ(page.Frame1.Left(), 1035);
}

TEST(WholeRun, ClosingThePageAnyWayEndsTheProgramWithEveryWindow)
{
    SimRun r;
    r.desk.moveCursor(16, 16);
    r.input(1000, [&] { r.desk.doubleClickAt(10, 10, 120); });
    r.input(2000, [&] {
        const sim::SimWindow* w = r.desk.windowCaptioned("Windows BSOD");
        ASSERT_NE(w, nullptr);
        rt::Application::Current().onCloseRequest(w->id);
    });
    EXPECT_EQ(r.run(), 0);
    EXPECT_EQ(r.desk.now(), 2000);
    EXPECT_TRUE(r.desk.windows().empty());
}

// Timers keep ticking while a box is up: the banner goes on chasing, and
// growling, behind the greeting, and its window follows on the screen.
TEST(WholeRun, ChaseGoesOnOnScreenAndGrowlsBehindTheGreeting)
{
    SimRun r;
    r.desk.moveCursor(16, 16);
    r.desk.setResponder([](const sim::Box&) { return 1000LL; });
    r.input(1000, [&] { r.desk.clickAt(10, 10); });           // Click at 1500, greeting from 2200 to 3200
    r.probe(2300, [&] { r.desk.moveCursor(900, 700); });      // away from the banner, under the box
    float leftAtTheEnd = 0;
    r.probe(3190, [&] { leftAtTheEnd = Loaded<Form1>()->Left(); });
    r.desk.setTimeLimit(4000);
    r.run();
    ASSERT_FALSE(r.desk.boxes().empty());
    EXPECT_EQ(r.desk.boxes()[0].at, 2200);
    EXPECT_EQ(r.desk.boxes()[0].title, "Belmora");
    EXPECT_EQ(r.desk.boxes().size(), 1u);

    const Tones growls = tonesBetween(r.desk, 2300, 3200);
    EXPECT_GE(growls.size(), 80u);
    for (const auto& t : growls) EXPECT_EQ(t, (std::pair<int, int>{70, 10}));

    // The window on the screen, as the desktop has it, walks toward the cursor while the box is up.
    std::vector<rt::PixelRect> moves;
    for (const auto& c : r.desk.changes())
        if (c.caption == "Form1" && c.kind == sim::WindowChange::Kind::Geometry && c.at > 2300 && c.at < 3200)
            moves.push_back(c.rect);
    ASSERT_GE(moves.size(), 80u);
    for (std::size_t i = 1; i < moves.size(); ++i) {
        EXPECT_GT(moves[i].x, moves[i - 1].x);
        EXPECT_GT(moves[i].y, moves[i - 1].y);
    }
    EXPECT_GE(moves.back().x, 400);
    EXPECT_EQ(moves.back().x * 15, leftAtTheEnd);  // the screen is not behind the form
    EXPECT_EQ(moves.back().w, 81);

    // The hand-over still keeps TimerForm off the screen.
    bool pageShown = false;
    for (const auto& c : r.desk.changes()) {
        pageShown |= c.caption == "Windows BSOD" && c.kind == sim::WindowChange::Kind::Shown && c.at >= 3200;
        if (c.caption == "TimerForm") {
            EXPECT_NE(c.kind, sim::WindowChange::Kind::Shown);
        }
    }
    EXPECT_TRUE(pageShown);
}

// A cursor past what the chase's arithmetic holds, while the greeting is up:
// the "OOPS!" box comes over the greeting, and once it is dismissed the banner,
// the last form, goes and the program ends there: the greeting closes with it
// and the click's handler goes no further (no crash page).
TEST(WholeRun, OverflowBehindTheGreetingStacksTheOopsBoxAndEndsTheProgram)
{
    SimRun r;
    r.desk.moveCursor(16, 16);
    r.desk.setResponder([](const sim::Box& b) { return b.title == "OOPS!" ? 300LL : 1000LL; });
    r.input(1000, [&] { r.desk.clickAt(10, 10); });           // Click at 1500, greeting from 2200
    r.probe(2505, [&] { r.desk.moveCursor(143165577, 5); });  // the tick at 2510 overflows
    int depthUnderOops = 0;
    r.probe(2600, [&] { depthUnderOops = r.desk.boxDepth(); });
    EXPECT_EQ(r.run(), 0);
    EXPECT_FALSE(r.desk.stoppedAtLimit());
    ASSERT_EQ(r.desk.boxes().size(), 2u);
    EXPECT_EQ(r.desk.boxes()[0].title, "Belmora");
    EXPECT_EQ(r.desk.boxes()[1].at, 2510);
    EXPECT_EQ(r.desk.boxes()[1].prompt, "Overflow");
    EXPECT_EQ(r.desk.boxes()[1].style, 16);
    EXPECT_EQ(r.desk.boxes()[1].title, "OOPS!");
    EXPECT_EQ(depthUnderOops, 2);
    EXPECT_EQ(r.desk.now(), 2810);  // the end comes with the OOPS box's dismissal
    EXPECT_EQ(r.desk.boxDepth(), 0);
    EXPECT_TRUE(r.desk.windows().empty());
    EXPECT_EQ(tonesBetween(r.desk, 2510, 100000), Tones{});
    for (const auto& c : r.desk.changes()) EXPECT_NE(c.caption, "Windows BSOD");  // no crash page, ever
}

// A window or timer the desktop cannot make ends the program loudly: error 7
// in a critical box, one line for whoever started it, status 1, no window left.
TEST(WholeRun, AWindowOrTimerTheDesktopCannotMakeEndsTheRunWithErrorSeven)
{
    struct Case {
        const char* what;
        std::function<void(sim::SimDesktop&)> setUp;
        std::string description;
        std::size_t tones;  // played before the error
    };
    auto caption = [](const char* c) { return [c](const rt::WindowStyle& s) { return s.caption == c; }; };
    const std::vector<Case> cases = {
        {"the banner's window", [&](sim::SimDesktop& d) { d.failWindows(caption("Form1")); },
         "la finestra di Form1 non si può creare", 0},
        {"the chase's timer", [](sim::SimDesktop& d) { d.failTimers([](int ms) { return ms == 10; }); },
         "il timer Timer1 di Form1 non si può avviare", 0},
        {"the page's window", [&](sim::SimDesktop& d) { d.failWindows(caption("Windows BSOD")); },
         "la finestra di frmBSOD non si può creare", 1},
        {"the blink timer", [](sim::SimDesktop& d) { d.failTimers([](int ms) { return ms == 1000; }); },
         "il timer timBlinkerFluid di TimerForm non si può avviare", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimRun r;
        r.desk.moveCursor(16, 16);
        c.setUp(r.desk);
        r.input(1000, [&] { r.desk.doubleClickAt(10, 10, 120); });
        EXPECT_EQ(r.run(), 1);
        EXPECT_FALSE(r.desk.stoppedAtLimit());
        const std::string description = "Memoria esaurita: " + c.description;
        ASSERT_EQ(r.desk.boxes().size(), 1u);
        EXPECT_EQ(r.desk.boxes()[0].prompt, "Errore di run-time '7':\r\n\r\n" + description);
        EXPECT_EQ(r.desk.boxes()[0].style, 16);
        EXPECT_EQ(r.desk.errorLines(), (std::vector<std::string>{"belmora: Errore di run-time '7': " + description}));
        EXPECT_EQ(r.desk.tones().size(), c.tones);
        EXPECT_TRUE(r.desk.windows().empty());
        for (const auto& ch : r.desk.changes()) {
            if (ch.caption == "Windows BSOD") {
                EXPECT_NE(ch.kind, sim::WindowChange::Kind::Shown);
            }
        }
    }
}
