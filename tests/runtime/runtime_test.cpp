// The form runtime on the simulated desktop, with small forms made for the tests.
#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "runtime/application.h"
#include "runtime/winapi.h"

using namespace rt;

namespace {

Form::Design plainDesign(const std::string& name)
{
    Form::Design d;
    d.name = name;
    d.caption = name;
    d.borderStyle = 0;
    d.clientWidth = 1500;
    d.clientHeight = 1500;
    d.startUpPosition = Form::StartUp::Manual;
    return d;
}

// Records what happened to it; its handlers do what the test sets.
struct Probe {
    std::vector<std::pair<std::string, long long>> events;
    sim::SimDesktop* desk = nullptr;
    void log(const std::string& what) { events.emplace_back(what, desk->now()); }
    int count(const std::string& what) const
    {
        int n = 0;
        for (auto& e : events) n += e.first == what;
        return n;
    }
    std::vector<long long> times(const std::string& what) const
    {
        std::vector<long long> out;
        for (auto& e : events)
            if (e.first == what) out.push_back(e.second);
        return out;
    }
};
Probe probe;

struct ClickForm : Form {
    PictureBox Pic;
    ClickForm()
        : Form(plainDesign("ClickForm")),
          Pic(*this, *this, "Pic", {600, 0, 300, 300}, dot())
    {
        Pic.Click = [] { probe.log("Pic_Click"); };
    }
    // One red pixel, the same image every time.
    static const rt::Picture& dot()
    {
        static const char* const xpm[] = {"1 1 1 1", "a c #FF0000", "a"};
        static const rt::Picture picture = rt::Picture::FromXpm("dot", xpm);
        return picture;
    }
    void Form_Click() override { probe.log("Click"); }
    void Form_DblClick() override { probe.log("DblClick"); }
    void Form_KeyPress(Integer& k) override
    {
        probe.log("Key" + std::to_string(k.value()));
        if (k == Integer('q')) Unload(*this);
    }
};

struct SideForm : Form {
    Timer Fast;
    SideForm() : Form(plainDesign("SideForm")), Fast(*this, "Fast", 20, true)
    {
        Fast.Tick = [] { probe.log("Side"); };
    }
};

// A timer whose first tick opens a box for 95 ms.
struct MergeForm : Form {
    Timer Slow;
    int ticks = 0;
    MergeForm() : Form(plainDesign("MergeForm")), Slow(*this, "Slow", 10, true)
    {
        Slow.Tick = [this] {
            probe.log("Slow");
            if (++ticks == 1) MsgBox("tick");
            if (ticks == 4) End();
        };
    }
    void Form_Load() override { Default<SideForm>().Show(); }
};

int runProgram(sim::SimDesktop& desk, const std::function<Form&()>& startup)
{
    probe = Probe{};
    probe.desk = &desk;
    Application app(desk);
    return app.Run(startup);
}

}  // namespace

TEST(Runtime, TimerTicksThatFallDueDuringItsHandlerMergeIntoOneWhileOthersKeepTicking)
{
    sim::SimDesktop desk;
    desk.setResponder([](const sim::Box&) { return 95LL; });
    const int status = runProgram(desk, [] () -> Form& { return Default<MergeForm>(); });
    EXPECT_EQ(status, 0);
    // First tick at 10; its box is up until 105; one merged tick right then; then every 10 ms.
    EXPECT_EQ(probe.times("Slow"), (std::vector<long long>{10, 105, 115, 125}));
    // The other form's timer ticked while the box was up.
    EXPECT_EQ(probe.times("Side"), (std::vector<long long>{20, 40, 60, 80, 100, 120}));
}

TEST(Runtime, SingleClickWaitsForTheDoubleClickTimeAndADoubleClickRaisesOnlyDblClick)
{
    sim::SimDesktop desk;
    desk.setDoubleClickTime(400);
    desk.at(100, [&] { desk.clickAt(10, 10); });              // single: Click at 500
    desk.at(1000, [&] { desk.doubleClickAt(10, 10, 150); });   // DblClick at 1150, no Click
    desk.at(2000, [&] { desk.doubleClickAt(10, 10, 450); });   // too slow: two Clicks, at 2400 and 2850
    desk.at(3000, [&] { desk.clickAt(45, 5); });                // on the picture box
    desk.at(3100, [&] { desk.key('a'); });                      // a key releases the held click first
    desk.at(4000, [&] { desk.key('q'); });
    runProgram(desk, [] () -> Form& { return Default<ClickForm>(); });
    EXPECT_EQ(probe.times("Click"), (std::vector<long long>{500, 2400, 2850}));
    EXPECT_EQ(probe.times("DblClick"), (std::vector<long long>{1150}));
    EXPECT_EQ(probe.times("Pic_Click"), (std::vector<long long>{3100}));
    ASSERT_GE(probe.events.size(), 3u);
    EXPECT_EQ(probe.events[probe.events.size() - 3].first, "Pic_Click");
    EXPECT_EQ(probe.events[probe.events.size() - 2].first, "Key97");
}

TEST(Runtime, ProgramEndsWhenNoFormStaysLoadedAndNoObjectDiesUnderItsHandler)
{
    sim::SimDesktop desk;
    desk.at(100, [&] { desk.key('q'); });
    const int status = runProgram(desk, [] () -> Form& { return Default<ClickForm>(); });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(desk.stoppedAtLimit());
    EXPECT_EQ(desk.now(), 100);
    EXPECT_TRUE(desk.windows().empty());
}

namespace {
struct FailingForm : Form {
    Timer T;
    FailingForm() : Form(plainDesign("FailingForm")), T(*this, "T", 10, true)
    {
        T.Tick = [] { (void)(Integer(32767) + 1); };
    }
};

int loads = 0;
struct CountingForm : Form {
    CountingForm() : Form(plainDesign("CountingForm")) {}
    void Form_Load() override { ++loads; }
    void Form_KeyPress(Integer&) override
    {
        Default<SideForm>().Show();  // a form stays loaded: the program goes on past the unload
        Unload(*this);
        // Named after its unload, the default instance is made and loaded afresh.
        if (loads == 1)
            Default<CountingForm>().Show();
        else
            End();
    }
};
}  // namespace

TEST(Runtime, UntrappedErrorShowsACriticalBoxAndEndsWithStatusOne)
{
    sim::SimDesktop desk;
    const int status = runProgram(desk, [] () -> Form& { return Default<FailingForm>(); });
    EXPECT_EQ(status, 1);
    ASSERT_EQ(desk.boxes().size(), 1u);
    EXPECT_EQ(desk.boxes()[0].prompt, "Errore di run-time '6':\r\n\r\nOverflow");
    EXPECT_EQ(desk.boxes()[0].style, 16);
    EXPECT_EQ(desk.boxes()[0].title, "Belmora");
    EXPECT_TRUE(desk.windows().empty());
}

TEST(Runtime, DefaultInstanceIsCreatedAfreshWhenNamedAfterItsUnload)
{
    sim::SimDesktop desk;
    desk.at(100, [&] { desk.key('x'); });
    desk.at(200, [&] { desk.key('x'); });
    loads = 0;
    const int status = runProgram(desk, [] () -> Form& { return Default<CountingForm>(); });
    EXPECT_EQ(loads, 2);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(desk.now(), 200);
}

TEST(Runtime, EndFromATimerWhileABoxIsUpClosesItAndStopsTheWaitingHandler)
{
    struct Ender : Form {
        Timer T;
        Ender() : Form(plainDesign("Ender")), T(*this, "T", 50, true)
        {
            T.Tick = [] { End(); };
        }
        void Form_KeyPress(Integer&) override
        {
            MsgBox("waiting");
            probe.log("after box");  // never runs: the program ended meanwhile
        }
    };
    sim::SimDesktop desk;
    desk.setResponder([](const sim::Box&) { return 10'000LL; });
    desk.at(20, [&] { desk.key('a'); });
    const int status = runProgram(desk, [] () -> Form& { return Default<Ender>(); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(probe.count("after box"), 0);
    EXPECT_EQ(desk.now(), 50);
    EXPECT_TRUE(desk.windows().empty());
}

namespace {

// Re-assigns the same picture on every tick, as the chase does at rest, and
// changes the label once.
struct RestingForm : Form {
    Label Caption;
    Timer Tick;
    int ticks = 0;
    RestingForm()
        : Form(plainDesign("RestingForm")),
          Caption(*this, *this, "Caption", {0, 0, 600, 300}, {}, "uno"),
          Tick(*this, "Tick", 10, true)
    {
        Tick.Tick = [this] {
            Picture(ClickForm::dot());
            if (++ticks == 50) Caption.Caption("due");
            if (ticks == 100) End();
        };
    }
};

}  // namespace

TEST(Runtime, AnUnchangedSceneIsNotSentAgain)
{
    sim::SimDesktop desk;
    std::vector<int> scenes;
    for (long long t : {5, 495, 505, 995})
        desk.at(t, [&] { scenes.push_back(desk.windows().at(0)->scenes); }, false);
    runProgram(desk, [] () -> Form& { return Default<RestingForm>(); });
    // One scene at the show, one with the picture, none for 48 ticks that
    // change nothing, one when the label changes, then none again.
    EXPECT_EQ(scenes, (std::vector<int>{1, 2, 3, 3}));
}

namespace {

// Its timer unloads it while a key's box is up, then has more to do.
struct LastForm : Form {
    Timer T;
    LastForm() : Form(plainDesign("LastForm")), T(*this, "T", 50, true)
    {
        T.Tick = [this] {
            Unload(*this);
            probe.log("after unload");
        };
    }
    void Form_KeyPress(Integer&) override
    {
        MsgBox("waiting");
        probe.log("after box");
    }
};

}  // namespace

// Unloading the last loaded form ends the program at once, as End does.
TEST(Runtime, UnloadingTheLastFormEndsTheProgramAtOnceClosingTheBoxesAndStoppingEveryHandler)
{
    sim::SimDesktop desk;
    desk.setResponder([](const sim::Box&) { return 10'000LL; });
    desk.at(20, [&] { desk.key('a'); });
    const int status = runProgram(desk, [] () -> Form& { return Default<LastForm>(); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(probe.count("after unload"), 0);
    EXPECT_EQ(probe.count("after box"), 0);
    EXPECT_EQ(desk.now(), 50);
    EXPECT_EQ(desk.boxDepth(), 0);
    EXPECT_TRUE(desk.windows().empty());
}

// A box the desktop fails to show, trapped by the handler, leaves no box
// counted open: a click held meanwhile is raised when its time comes.
TEST(Runtime, AMessageBoxThatThrowsLeavesNoBoxCountedOpen)
{
    struct Trapping : ClickForm {
        void Form_KeyPress(Integer&) override
        {
            try {
                MsgBox("no box");
            } catch (const RuntimeError& e) {
                probe.log("trapped " + std::to_string(e.number()));
            }
        }
    };
    sim::SimDesktop desk;
    desk.setDoubleClickTime(400);
    desk.setResponder([](const sim::Box&) -> long long { throw RuntimeError(err::OutOfMemory); });
    desk.at(100, [&] { desk.key('a'); });
    desk.at(200, [&] { desk.clickAt(10, 10); });  // raised at 600
    desk.setTimeLimit(1000);
    runProgram(desk, [] () -> Form& { return Default<Trapping>(); });
    EXPECT_EQ(probe.count("trapped 7"), 1);
    EXPECT_EQ(probe.times("Click"), (std::vector<long long>{600}));
}

// What the desktop cannot make (a window, a timer) is an untrapped error 7:
// one line on stderr, a critical box where one can still be shown, status 1.
TEST(Runtime, AWindowOrTimerTheDesktopCannotMakeEndsTheProgramWithErrorSeven)
{
    struct Case {
        const char* what;
        std::function<void(sim::SimDesktop&)> setUp;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"the startup form's window",
         [](sim::SimDesktop& d) { d.failWindows([](const WindowStyle& s) { return s.caption == "SideForm"; }); },
         "Memoria esaurita: la finestra di SideForm non si può creare"},
        {"a form's timer at load",
         [](sim::SimDesktop& d) { d.failTimers([](int ms) { return ms == 20; }); },
         "Memoria esaurita: il timer Fast di SideForm non si può avviare"},
        {"the timer that holds a click",
         [](sim::SimDesktop& d) {
             d.failTimers([](int ms) { return ms == 500; });
             d.at(100, [&d] { d.clickAt(10, 10); });
         },
         "Memoria esaurita: il timer del clic non si può avviare"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimDesktop desk;
        desk.setTimeLimit(5000);
        c.setUp(desk);
        const int status = runProgram(desk, [] () -> Form& { return Default<SideForm>(); });
        EXPECT_EQ(status, 1);
        EXPECT_FALSE(desk.stoppedAtLimit());
        const std::string report = "Errore di run-time '7': " + c.description;
        ASSERT_EQ(desk.boxes().size(), 1u);
        EXPECT_EQ(desk.boxes()[0].prompt, "Errore di run-time '7':\r\n\r\n" + c.description);
        EXPECT_EQ(desk.boxes()[0].style, 16);
        EXPECT_EQ(desk.errorLines(), (std::vector<std::string>{"belmora: " + report}));
        EXPECT_TRUE(desk.windows().empty());
    }
}

// By default the line goes to stderr, whole and alone.
TEST(Runtime, TheErrorLineGoesToStderrByDefault)
{
    sim::SimDesktop desk;
    testing::internal::CaptureStderr();
    desk.Platform::reportError("belmora: Errore di run-time '7': Memoria esaurita");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "belmora: Errore di run-time '7': Memoria esaurita\n");
}

// An end that comes while an untrapped error's box is up still ends with status 1.
TEST(Runtime, AnEndBehindTheUntrappedErrorsBoxKeepsStatusOne)
{
    struct Failing : Form {
        Timer T;
        Failing() : Form(plainDesign("Failing")), T(*this, "T", 50, true)
        {
            T.Tick = [this] { Unload(*this); };
        }
        void Form_KeyPress(Integer&) override { (void)(Integer(32767) + 1); }
    };
    sim::SimDesktop desk;
    desk.setResponder([](const sim::Box&) { return 10'000LL; });
    desk.at(20, [&] { desk.key('a'); });
    const int status = runProgram(desk, [] () -> Form& { return Default<Failing>(); });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(desk.now(), 50);
    EXPECT_EQ(desk.errorLines().size(), 1u);
}
