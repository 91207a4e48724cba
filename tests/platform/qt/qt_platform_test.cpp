// The Qt backend on a real X server: painting, window states, input, timers
// and message boxes.
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/qt/qt_platform.h"
#include "platform/qt/text_layout.h"
#include "platform/qt/x11_window.h"
#include "qt_test_support.h"

using qt_test::RecordingHost;
using qt_test::Sh;
using qt_test::WaitFor;

namespace {

// No sound in these tests: a server that is never there.
constexpr const char* kNoPulse = "unix:/nonexistent/belmora-test/native";

rt::DrawItem Fill(rt::PixelRect rect, rt::PixelRect clip, rt::Rgb colour)
{
    rt::DrawItem item;
    item.kind = rt::DrawItem::Kind::Fill;
    item.rect = rect;
    item.clip = clip;
    item.back = colour;
    return item;
}

rt::DrawItem Image(rt::PixelRect rect, rt::PixelRect clip, rt::Picture picture)
{
    rt::DrawItem item;
    item.kind = rt::DrawItem::Kind::Image;
    item.rect = rect;
    item.clip = clip;
    item.picture = std::move(picture);
    return item;
}

rt::DrawItem Text(rt::PixelRect rect, rt::PixelRect clip, std::string text, rt::Rgb ink,
                  rt::Align align = rt::Align::Left)
{
    rt::DrawItem item;
    item.kind = rt::DrawItem::Kind::Text;
    item.rect = rect;
    item.clip = clip;
    item.text = std::move(text);
    item.fore = ink;
    item.align = align;
    item.font = rt::FontSpec{"Fixedsys", 9.0f, 400};
    return item;
}

QRgb Rgb(rt::Rgb c) { return qRgb(c.r, c.g, c.b); }

// The box holding every pixel of `ink` colour in the image (empty if none).
QRect InkBox(const QImage& image, QRgb ink)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (ink & 0xffffff)) box |= QRect(x, y, 1, 1);
    return box;
}

class QtPlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform = std::make_unique<qt::QtPlatform>(kNoPulse);
        platform->attach(host);
    }

    void TearDown() override
    {
        platform.reset();
        qt_test::Pump(50);  // let deferred deletes and unmaps go through
    }

    rt::WindowId Window(rt::PixelRect client, bool bordered = false, bool inTaskbar = true)
    {
        rt::WindowStyle windowStyle;
        windowStyle.caption = "prova";
        windowStyle.bordered = bordered;
        windowStyle.showInTaskbar = inTaskbar;
        const rt::WindowId w = platform->createWindow(windowStyle);
        platform->setGeometry(w, client);
        return w;
    }

    QImage Grab(rt::WindowId w)
    {
        return platform->widget(w)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    bool Exposed(rt::WindowId w)
    {
        return WaitFor([&] {
            QWindow* handle = platform->widget(w)->windowHandle();
            return handle && handle->isExposed() && qt::x11::IsViewable(platform->widget(w));
        });
    }

    std::string WindowIdArg(rt::WindowId w) { return std::to_string(platform->widget(w)->winId()); }

    RecordingHost host;
    std::unique_ptr<qt::QtPlatform> platform;
};

// ---------------------------------------------------------------- painting

TEST_F(QtPlatformTest, FillsCoverTheirRectangleCutToTheClip)
{
    const rt::WindowId w = Window({0, 0, 60, 40});
    const rt::Rgb back{1, 2, 3}, red{200, 0, 0}, blue{0, 0, 210};
    rt::Scene scene;
    scene.background = back;
    scene.items.push_back(Fill({5, 5, 20, 10}, {0, 0, 60, 40}, red));
    // Lies over x 30..59, but only x 40..49 is inside its container.
    scene.items.push_back(Fill({30, 0, 30, 40}, {40, 0, 10, 40}, blue));
    // Entirely outside its clip: nothing of it appears.
    scene.items.push_back(Fill({0, 30, 10, 10}, {50, 0, 10, 10}, red));
    platform->setScene(w, scene);

    const QImage image = Grab(w);
    ASSERT_EQ(image.size(), QSize(60, 40));
    EXPECT_EQ(InkBox(image, Rgb(red)), QRect(5, 5, 20, 10));
    EXPECT_EQ(InkBox(image, Rgb(blue)), QRect(40, 0, 10, 40));
    EXPECT_EQ(image.pixel(35, 20), Rgb(back));
    EXPECT_EQ(image.pixel(55, 20), Rgb(back));
    EXPECT_EQ(image.pixel(5, 35), Rgb(back));
}

TEST_F(QtPlatformTest, PicturesAreDrawnUnscaledAtTheirTopLeftAndClipped)
{
    const rt::WindowId w = Window({0, 0, 40, 30});
    const rt::Rgb back{10, 20, 30}, under{90, 90, 90};
    // 3 x 2: distinct pixels, one of them transparent.
    const rt::Picture picture("prova", 3, 2,
                              {0xffff0000, 0xff00ff00, 0xff0000ff,  //
                               0xffffffff, 0x00123456, 0xff808000});
    rt::Scene scene;
    scene.background = back;
    scene.items.push_back(Fill({10, 20, 3, 2}, {0, 0, 40, 30}, under));
    scene.items.push_back(Image({10, 20, 3, 2}, {0, 0, 40, 30}, picture));
    // The same picture in a container that shows only its first column.
    scene.items.push_back(Image({30, 5, 3, 2}, {25, 0, 6, 30}, picture));
    platform->setScene(w, scene);

    const QImage image = Grab(w);
    EXPECT_EQ(image.pixel(10, 20), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(11, 20), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(12, 20), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(10, 21), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(11, 21), Rgb(under)) << "a transparent pixel shows what lies below";
    EXPECT_EQ(image.pixel(12, 21), qRgb(128, 128, 0));
    EXPECT_EQ(image.pixel(13, 20), Rgb(back));
    EXPECT_EQ(image.pixel(10, 22), Rgb(back));

    EXPECT_EQ(image.pixel(30, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(31, 5), Rgb(back)) << "clipped by its container";
}

TEST_F(QtPlatformTest, TextIsInkedInsideItsRectangleAlignedAndCutToTheClip)
{
    const rt::WindowId w = Window({0, 0, 200, 100});
    const rt::Rgb back{255, 255, 255}, ink{221, 96, 76}, ink2{0, 0, 128}, ink3{0, 120, 0};
    const QFontMetrics metrics(qt::ResolveFont(rt::FontSpec{"Fixedsys", 9.0f, 400}));
    const int cell = metrics.horizontalAdvance(QLatin1Char('M'));
    const int line = metrics.height();

    rt::Scene scene;
    scene.background = back;
    // Left, three lines wrapped at spaces; only two lines fit the height.
    scene.items.push_back(Text({10, 10, 4 * cell, 2 * line}, {0, 0, 200, 100}, "ab cd ef", ink));
    // Right-aligned in its rectangle.
    scene.items.push_back(Text({100, 10, 90, line}, {0, 0, 200, 100}, "XY", ink2, rt::Align::Right));
    // Centred, but its container shows only the rectangle's left half.
    scene.items.push_back(Text({100, 60, 80, line}, {100, 60, 40, line}, "MMMMMM", ink3, rt::Align::Center));
    platform->setScene(w, scene);

    const QImage image = Grab(w);
    const QRect left = InkBox(image, Rgb(ink));
    ASSERT_FALSE(left.isEmpty());
    EXPECT_TRUE(QRect(10, 10, 4 * cell, 2 * line).contains(left)) << "ink outside its rectangle";
    EXPECT_GE(left.bottom(), 10 + line) << "the second line is drawn";
    EXPECT_LE(left.right(), 10 + 2 * cell) << "no line is longer than two characters";

    const QRect right = InkBox(image, Rgb(ink2));
    ASSERT_FALSE(right.isEmpty());
    EXPECT_LE(right.right(), 189);
    EXPECT_GE(right.left(), 190 - 2 * cell);

    const QRect centred = InkBox(image, Rgb(ink3));
    ASSERT_FALSE(centred.isEmpty());
    EXPECT_GE(centred.left(), 100 + (80 - 6 * cell) / 2);
    EXPECT_LE(centred.right(), 139) << "the clip cuts the line";
}

// ---------------------------------------------------------------- window states

TEST_F(QtPlatformTest, BorderlessWindowKeepsOutOfTheTaskbarAndOnTopAcrossHideAndShow)
{
    const rt::WindowId w = Window({20, 30, 81, 28}, /*bordered=*/false, /*inTaskbar=*/false);
    platform->setTopMost(w, true);
    platform->show(w, false);
    ASSERT_TRUE(Exposed(w));
    QWidget* widget = platform->widget(w);
    EXPECT_TRUE(widget->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(widget->geometry(), QRect(20, 30, 81, 28));

    // The second hide and show holds the window manager up (stopped) from
    // before the hide until 300 ms later: it withdraws the window only after
    // the program has asked for it again, as a busy window manager does.
    const pid_t wm = qt_test::WindowManagerPid();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round == 0   ? "first map"
                     : round == 1 ? "after hide and show"
                                  : "after hide and show with the window manager lagging");
        EXPECT_TRUE(WaitFor([&] { return qt::x11::HasState(widget, "_NET_WM_STATE_SKIP_TASKBAR"); }));
        EXPECT_TRUE(qt::x11::HasState(widget, "_NET_WM_STATE_SKIP_PAGER"));
        EXPECT_TRUE(qt::x11::HasState(widget, "_NET_WM_STATE_ABOVE"));
        if (round == 2) break;
        std::optional<qt_test::HeldProcess> held;
        if (round == 1 && wm > 0) held.emplace(wm, std::chrono::milliseconds(300));
        platform->hide(w);
        ASSERT_TRUE(WaitFor([&] { return !qt::x11::IsViewable(widget); }));
        platform->show(w, false);
        held.reset();
        ASSERT_TRUE(Exposed(w));
    }

    platform->setTopMost(w, false);
    EXPECT_TRUE(WaitFor([&] { return !qt::x11::HasState(widget, "_NET_WM_STATE_ABOVE"); }));
    EXPECT_TRUE(widget->isVisible()) << "changing top-most must not unmap the window";
}

TEST_F(QtPlatformTest, BorderlessTopMostWindowIsPlacedExactlyAndComesBackAboveWindowsShownLater)
{
    const rt::WindowId banner = Window({0, 0, 81, 28}, /*bordered=*/false, /*inTaskbar=*/false);
    platform->setTopMost(banner, true);
    platform->show(banner, false);
    ASSERT_TRUE(Exposed(banner));
    QWidget* widget = platform->widget(banner);
    // No window manager places, frames or focuses it.
    EXPECT_TRUE(widget->windowFlags() & Qt::BypassWindowManagerHint);
    EXPECT_TRUE(widget->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(WaitFor([&] { return qt::x11::IsHighest(widget); }));
    ASSERT_TRUE(Sh("test \"$(xwininfo -id " + WindowIdArg(banner) +
                   " | sed -n 's/.*Absolute upper-left \\([XY]\\): *//p' | tr '\\n' ,)\" = 0,0,"));

    // A window shown later over it, activated: the banner comes back on top,
    // and the keys still go to the other window.
    const rt::WindowId other = Window({0, 0, 300, 200}, /*bordered=*/true);
    platform->show(other, true);
    ASSERT_TRUE(Exposed(other));
    ASSERT_TRUE(WaitFor([&] { return platform->widget(other)->isActiveWindow(); }));
    EXPECT_TRUE(WaitFor([&] { return qt::x11::IsHighest(widget); }))
        << "the banner stays under the later window";
    EXPECT_FALSE(widget->isActiveWindow());

    // Raised over it (by the window manager when there is one, as a click on it
    // would): the banner comes back again.
    const std::string raiseOther = "xdotool windowraise " + WindowIdArg(other) + "; xdotool windowactivate " +
                                   WindowIdArg(other) + " 2>/dev/null; true";
    ASSERT_TRUE(Sh(raiseOther));
    qt_test::Pump(100);
    EXPECT_TRUE(WaitFor([&] { return qt::x11::IsHighest(widget); }))
        << "the banner stays under the raised window";
}

TEST_F(QtPlatformTest, BorderlessWindowOfTheScreensSizeAsksForFullScreenAndTakesTheKeys)
{
    const rt::PixelSize screen = platform->screenSize();
    const rt::WindowId page = Window({0, 0, screen.w, screen.h}, /*bordered=*/false, /*inTaskbar=*/false);
    platform->show(page, true);
    ASSERT_TRUE(Exposed(page));
    QWidget* widget = platform->widget(page);
    EXPECT_FALSE(widget->windowFlags() & Qt::BypassWindowManagerHint);
    EXPECT_TRUE(WaitFor([&] { return qt::x11::HasState(widget, "_NET_WM_STATE_FULLSCREEN"); }));
    ASSERT_TRUE(WaitFor([&] { return widget->isActiveWindow(); }));
    EXPECT_EQ(widget->geometry(), QRect(0, 0, screen.w, screen.h));
    ASSERT_TRUE(Sh("xdotool key a"));
    EXPECT_TRUE(WaitFor([&] { return host.only("key").size() == 1; }));

    // Made smaller, it is full screen no more (the window manager drops the state).
    if (qt_test::WindowManagerExpected()) {
        platform->setGeometry(page, {10, 20, 300, 200});
        EXPECT_TRUE(WaitFor([&] { return !qt::x11::HasState(widget, "_NET_WM_STATE_FULLSCREEN"); }));
        EXPECT_TRUE(WaitFor([&] { return widget->geometry() == QRect(10, 20, 300, 200); }))
            << "at " << widget->geometry().x() << "," << widget->geometry().y() << " "
            << widget->geometry().width() << "x" << widget->geometry().height();
    }
}

TEST_F(QtPlatformTest, ActivatedWindowGetsKeysWithoutAClickAndAnUnactivatedOneDoesNotTakeThem)
{
    const rt::WindowId a = Window({100, 100, 120, 60}, /*bordered=*/true);
    platform->show(a, true);
    ASSERT_TRUE(Exposed(a));
    ASSERT_TRUE(WaitFor([&] { return platform->widget(a)->isActiveWindow(); }));

    // Shown later, above it, without activation: the keys still go to the first.
    const rt::WindowId b = Window({110, 110, 81, 28}, /*bordered=*/false, /*inTaskbar=*/false);
    platform->setTopMost(b, true);
    platform->show(b, false);
    ASSERT_TRUE(Exposed(b));
    qt_test::Pump(200);

    ASSERT_TRUE(Sh("xdotool key a shift+b Return Escape BackSpace Tab shift+1"));
    ASSERT_TRUE(WaitFor([&] { return host.only("key").size() >= 7; }))
        << ::testing::PrintToString(host.events);
    const std::vector<RecordingHost::Event> expected{{"key", a, 'a'}, {"key", a, 'B'}, {"key", a, 13},
                                                     {"key", a, 27},  {"key", a, 8},   {"key", a, 9},
                                                     {"key", a, '!'}};
    EXPECT_EQ(host.only("key"), expected);
    EXPECT_FALSE(platform->widget(b)->isActiveWindow());
}

TEST_F(QtPlatformTest, ClickAndDoubleClickReportClientPixels)
{
    const rt::WindowId w = Window({200, 150, 100, 50});
    platform->show(w, false);
    ASSERT_TRUE(Exposed(w));
    const int interval = platform->doubleClickTimeMs();
    ASSERT_GT(interval, 0);

    ASSERT_TRUE(Sh("xdotool mousemove 210 170 click 1"));
    ASSERT_TRUE(WaitFor([&] { return host.only("click").size() == 1; }));
    qt_test::Pump(interval + 200);  // the next press starts afresh

    ASSERT_TRUE(Sh("xdotool mousemove 250 190 click --repeat 2 --delay 60 1"));
    ASSERT_TRUE(WaitFor([&] { return host.only("dblclick").size() == 1; }));
    qt_test::Pump(interval + 200);
    const std::vector<RecordingHost::Event> expected{
        {"click", w, 10, 20}, {"click", w, 50, 40}, {"dblclick", w, 50, 40}};
    EXPECT_EQ(host.events, expected) << "a double-click is one click then one double-click";

    // Other buttons are not the program's business.
    ASSERT_TRUE(Sh("xdotool click 3"));
    qt_test::Pump(200);
    EXPECT_EQ(host.events.size(), expected.size());
}

TEST_F(QtPlatformTest, CloseRequestIsReportedAndTheWindowStays)
{
    const rt::WindowId w = Window({50, 50, 100, 60}, /*bordered=*/true);
    platform->show(w, false);
    ASSERT_TRUE(Exposed(w));

    // What a window manager sends for Alt+F4 or the close button.
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* c = x11->connection();
    auto atom = [&](const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t a = r->atom;
        free(r);
        return a;
    };
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(platform->widget(w)->winId());
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(c);

    ASSERT_TRUE(WaitFor([&] { return host.only("close").size() == 1; }));
    qt_test::Pump(100);
    EXPECT_TRUE(platform->widget(w)->isVisible());
    EXPECT_TRUE(qt::x11::IsViewable(platform->widget(w)));
}

TEST_F(QtPlatformTest, OnlyGeometryChangesFromOutsideAreReported)
{
    const rt::WindowId w = Window({0, 0, 81, 28}, /*bordered=*/false, /*inTaskbar=*/false);
    platform->show(w, false);
    ASSERT_TRUE(Exposed(w));

    // Moving every few milliseconds, as a chasing window does: the echoes of
    // these moves arrive late, none of them is news.
    for (int i = 1; i <= 40; ++i) {
        platform->setGeometry(w, {5 * i, 3 * i, 81, 28});
        qt_test::Pump(5);
    }
    qt_test::Pump(300);
    EXPECT_TRUE(host.only("geometry").empty()) << host.only("geometry").front();
    EXPECT_EQ(platform->widget(w)->geometry(), QRect(200, 120, 81, 28));

    ASSERT_TRUE(Sh("xdotool windowmove " + WindowIdArg(w) + " 300 250"));
    ASSERT_TRUE(WaitFor([&] { return !host.only("geometry").empty(); }));
    EXPECT_EQ(host.only("geometry").back(), (RecordingHost::Event{"geometry", w, 300, 250, 81, 28}));
}

TEST_F(QtPlatformTest, DestroyingAWindowFromItsOwnClickIsSafe)
{
    const rt::WindowId w = Window({300, 300, 50, 50});
    platform->show(w, false);
    ASSERT_TRUE(Exposed(w));
    struct DestroyingHost : RecordingHost {
        qt::QtPlatform* platform = nullptr;
        void onClick(rt::WindowId w, int x, int y) override
        {
            RecordingHost::onClick(w, x, y);
            platform->destroyWindow(w);
        }
    } destroying;
    destroying.platform = platform.get();
    platform->attach(destroying);
    ASSERT_TRUE(Sh("xdotool mousemove 310 310 click 1"));
    ASSERT_TRUE(WaitFor([&] { return destroying.only("click").size() == 1; }));
    qt_test::Pump(100);
    EXPECT_EQ(platform->widget(w), nullptr);
}

// ---------------------------------------------------------------- timers, boxes, quit

TEST_F(QtPlatformTest, TimersFireInsideAMessageBoxAndQuitClosesTheBox)
{
    const rt::WindowId owner = Window({100, 100, 81, 28}, false, false);
    platform->setTopMost(owner, true);
    platform->show(owner, false);

    int ticks = 0, ticksWhenBoxReturned = -1;
    bool sawBox = false;
    rt::TimerId timer = 0;
    host.timer = [&](rt::TimerId id) {
        ASSERT_EQ(id, timer);
        ++ticks;
        if (ticks == 1) {
            platform->messageBox(owner, "riga uno\r\nriga <b>due</b>", 16, "Belmora");
            ticksWhenBoxReturned = ticks;
        } else if (ticks == 10) {
            const std::vector<QMessageBox*> boxes = platform->openMessageBoxes();
            ASSERT_EQ(boxes.size(), 1u);
            QMessageBox* box = boxes.front();
            sawBox = true;
            EXPECT_TRUE(box->isVisible());
            EXPECT_EQ(box->text(), QStringLiteral("riga uno\nriga <b>due</b>"));
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->icon(), QMessageBox::Critical);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Belmora"));
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_EQ(box->parentWidget(), platform->widget(owner));
            // In the middle of the screen, as Windows puts it, not over its small owner.
            EXPECT_NEAR(box->geometry().center().x(), 512, 40);
            EXPECT_NEAR(box->geometry().center().y(), 384, 40);
        } else if (ticks == 20) {
            platform->quit(7);
        }
    };
    timer = platform->startTimer(10);
    EXPECT_EQ(platform->run(), 7);
    EXPECT_TRUE(sawBox);
    EXPECT_EQ(ticksWhenBoxReturned, 20) << "the box returns when quit() is called";
    EXPECT_TRUE(platform->openMessageBoxes().empty());
    EXPECT_EQ(platform->run(), 7) << "after quit() the loop does not start again";
}

TEST_F(QtPlatformTest, MessageBoxTakesTheKeyboardAndReturnDismissesIt)
{
    const rt::WindowId owner = Window({100, 100, 81, 28}, false, false);
    platform->setTopMost(owner, true);
    platform->show(owner, false);

    int ticks = 0;
    bool returned = false, pressed = false;
    platform->startTimer(10);
    host.timer = [&](rt::TimerId) {
        ++ticks;
        if (ticks == 1) {
            platform->messageBox(owner, "ciao", 0, "Belmora");
            returned = true;
            platform->quit(0);
        } else if (ticks == 2) {
            const auto boxes = platform->openMessageBoxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes.front()->icon(), QMessageBox::NoIcon);
        } else if (ticks > 2 && !pressed && !platform->openMessageBoxes().empty() &&
                   platform->openMessageBoxes().front()->isActiveWindow()) {
            pressed = Sh("xdotool key Return");
        } else if (ticks == 500) {
            platform->quit(99);
        }
    };
    EXPECT_EQ(platform->run(), 0) << "the box never took the keyboard";
    EXPECT_TRUE(returned);
}

TEST_F(QtPlatformTest, StoppedTimersStayStoppedEvenFromTheirOwnTick)
{
    int a = 0, b = 0;
    rt::TimerId ta = 0, tb = 0;
    host.timer = [&](rt::TimerId id) {
        if (id == ta) {
            ++a;
            platform->stopTimer(ta);
        } else if (id == tb && ++b == 15) {
            platform->quit(0);
        }
    };
    ta = platform->startTimer(5);
    tb = platform->startTimer(5);
    EXPECT_NE(ta, tb);
    EXPECT_EQ(platform->run(), 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 15);
}

TEST_F(QtPlatformTest, ScreenAndCursorAreInLogicalScreenPixels)
{
    ASSERT_TRUE(Sh("xdotool mousemove 123 45"));
    std::int32_t x = 0, y = 0;
    ASSERT_TRUE(WaitFor([&] { return platform->cursorPos(x, y) && x == 123 && y == 45; }));
    const rt::PixelSize screen = platform->screenSize();
    EXPECT_EQ(screen, (rt::PixelSize{1024, 768})) << "run_in_session.sh starts a 1024x768 screen";
}

}  // namespace
