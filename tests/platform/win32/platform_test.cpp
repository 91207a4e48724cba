// The Win32 backend with real windows: styles, geometry, input, timers, boxes,
// and the whole program's repaints.
// Needs a desktop (on Linux: wine on an X server, see run_in_wine_session.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "forms/chaser/Form1.h"
#include "platform/win32/win32_platform.h"
#include "runtime/application.h"

using namespace win32;

namespace {

struct Event {
    std::string kind;
    rt::WindowId window = 0;
    int a = 0, b = 0;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e)
{
    return os << e.kind << "(" << e.window << ", " << e.a << ", " << e.b << ")";
}

// Records what the backend reports; a test may act on each report.
class Recorder : public rt::Host {
public:
    std::vector<Event> events;
    std::function<void(const Event&)> react;

    void onTimer(rt::TimerId id) override { add({"timer", 0, int(id)}); }
    void onClick(rt::WindowId w, int x, int y) override { add({"click", w, x, y}); }
    void onDoubleClick(rt::WindowId w, int x, int y) override { add({"dblclick", w, x, y}); }
    void onKeyPress(rt::WindowId w, int code) override { add({"key", w, code}); }
    void onGeometryChanged(rt::WindowId w, rt::PixelRect r) override
    {
        add({"geometry", w, r.x, r.y});
        lastGeometry = r;
    }
    void onCloseRequest(rt::WindowId w) override { add({"close", w}); }

    std::vector<Event> of(const std::string& kind) const
    {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    rt::PixelRect lastGeometry;

private:
    void add(const Event& e)
    {
        events.push_back(e);
        if (react) react(e);
    }
};

// Handles messages until `done` holds, for at most `limitMs` (a time box, not a measurement).
bool PumpUntil(const std::function<bool()>& done, int limitMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void Pump(int ms)
{
    PumpUntil([] { return false; }, ms);
}

rt::PixelRect ClientOnScreen(HWND hwnd)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    return {origin.x, origin.y, r.right, r.bottom};
}

// Synthesised input, as the mouse and keyboard drivers would deliver it.
void MouseTo(int x, int y)
{
    SetCursorPos(x, y);
    Pump(50);
}

void Button(DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof(in));
}

void Key(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

struct Box {
    HWND hwnd = nullptr;
    std::wstring caption, text;
    HWND owner = nullptr;
    bool topMost = false;
};

BOOL CALLBACK FindStaticText(HWND child, LPARAM out)
{
    wchar_t cls[32] = {}, text[256] = {};
    GetClassNameW(child, cls, 32);
    GetWindowTextW(child, text, 256);
    if (_wcsicmp(cls, L"Static") == 0 && text[0]) *reinterpret_cast<std::wstring*>(out) = text;
    return TRUE;
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM out)
{
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
    Box& box = *reinterpret_cast<Box*>(out);
    box.hwnd = hwnd;
    wchar_t caption[256] = {};
    GetWindowTextW(hwnd, caption, 256);
    box.caption = caption;
    box.owner = GetWindow(hwnd, GW_OWNER);
    box.topMost = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    EnumChildWindows(hwnd, &FindStaticText, reinterpret_cast<LPARAM>(&box.text));
    return FALSE;
}

Box OpenBox()
{
    Box box;
    EnumThreadWindows(GetCurrentThreadId(), &FindBox, reinterpret_cast<LPARAM>(&box));
    return box;
}

// Ends a run() that nothing else ends, so that a fault fails its test instead of hanging it.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(-99); }

class Win32PlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform.attach(host);
        watchdog_ = SetTimer(nullptr, 0, 15000, &Watchdog);
    }
    void TearDown() override
    {
        KillTimer(nullptr, watchdog_);
        MSG msg;
        PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }

    // A window shown with activation, once it has the focus.
    rt::WindowId shownWindow(rt::PixelRect at, bool bordered = false)
    {
        rt::WindowStyle windowStyle;
        windowStyle.caption = "Test";
        windowStyle.bordered = bordered;
        const rt::WindowId w = platform.createWindow(windowStyle);
        platform.setGeometry(w, at);
        platform.show(w, true);
        PumpUntil([&] { return GetFocus() == platform.handle(w); });
        Pump(100);
        host.events.clear();
        return w;
    }

    Recorder host;
    Win32Platform platform;
    UINT_PTR watchdog_ = 0;
};

}  // namespace

TEST_F(Win32PlatformTest, WindowStylesFollowTheSpec)
{
    rt::WindowStyle banner;
    banner.caption = "Banner";
    banner.showInTaskbar = false;
    banner.icon = rt::Picture("icon", 2, 1, {0xFFFFFF00, 0x00000000});
    const rt::WindowId b = platform.createWindow(banner);
    HWND hb = platform.handle(b);
    ASSERT_TRUE(hb);
    EXPECT_FALSE(IsWindowVisible(hb));
    const LONG style = GetWindowLongW(hb, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME));
    EXPECT_EQ(GetWindow(hb, GW_OWNER), platform.ownerWindow());  // owned: no taskbar button
    EXPECT_FALSE(IsWindowVisible(platform.ownerWindow()));
    EXPECT_TRUE(GetClassLongW(hb, GCL_STYLE) & CS_DBLCLKS);

    // The icon's mask is set exactly where the picture is transparent.
    HICON icon = reinterpret_cast<HICON>(SendMessageW(hb, WM_GETICON, ICON_BIG, 0));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, info.hbmMask);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
    DeleteDC(dc);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);

    rt::WindowStyle framed;
    framed.caption = "Framed \xC3\xA8";
    framed.bordered = true;
    HWND hf = platform.handle(platform.createWindow(framed));
    EXPECT_EQ(GetWindowLongW(hf, GWL_STYLE) & WS_OVERLAPPEDWINDOW, LONG(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(GetWindow(hf, GW_OWNER), nullptr);
    wchar_t caption[32] = {};
    GetWindowTextW(hf, caption, 32);
    EXPECT_STREQ(caption, L"Framed \u00E8");
}

TEST_F(Win32PlatformTest, GeometryIsTheClientAreaAndOnlyOutsideMovesAreReported)
{
    const rt::PixelRect asked{100, 120, 200, 150};
    const rt::WindowId framed = shownWindow(asked, true);
    EXPECT_EQ(ClientOnScreen(platform.handle(framed)), asked);
    const rt::WindowId bare = shownWindow({0, 0, 81, 28});
    EXPECT_EQ(ClientOnScreen(platform.handle(bare)), (rt::PixelRect{0, 0, 81, 28}));

    platform.setGeometry(bare, {300, 200, 81, 28});
    Pump(200);
    EXPECT_TRUE(host.of("geometry").empty());

    // A move the runtime did not ask for, as the user or window manager makes it.
    SetWindowPos(platform.handle(bare), nullptr, 310, 220, 90, 30, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] { return !host.of("geometry").empty(); }));
    EXPECT_EQ(host.of("geometry").size(), 1u);
    EXPECT_EQ(host.lastGeometry, (rt::PixelRect{310, 220, 90, 30}));
}

TEST_F(Win32PlatformTest, TopMostAndShowingWithoutActivation)
{
    const rt::WindowId active = shownWindow({200, 200, 100, 100});
    HWND front = platform.handle(active);
    ASSERT_EQ(GetForegroundWindow(), front);

    rt::WindowStyle windowStyle;
    windowStyle.showInTaskbar = false;
    const rt::WindowId banner = platform.createWindow(windowStyle);
    HWND hb = platform.handle(banner);
    platform.setGeometry(banner, {0, 0, 81, 28});
    platform.setTopMost(banner, true);
    platform.show(banner, false);
    Pump(200);
    EXPECT_TRUE(IsWindowVisible(hb));
    EXPECT_TRUE(GetWindowLongW(hb, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetForegroundWindow(), front);
    EXPECT_EQ(GetFocus(), front);

    platform.setTopMost(banner, false);
    EXPECT_FALSE(GetWindowLongW(hb, GWL_EXSTYLE) & WS_EX_TOPMOST);
    platform.hide(banner);
    EXPECT_FALSE(IsWindowVisible(hb));
}

TEST_F(Win32PlatformTest, ClicksAreReportedAtTheReleaseAndADoubleClickFollowsOneClick)
{
    const rt::WindowId w = shownWindow({100, 100, 200, 100});
    MouseTo(150, 130);
    Button(MOUSEEVENTF_LEFTDOWN);
    Button(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(PumpUntil([&] { return !host.of("click").empty(); }));
    Pump(600);  // past the double-click time
    MouseTo(110, 120);
    for (int i = 0; i < 2; ++i) Button(MOUSEEVENTF_LEFTDOWN), Button(MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(PumpUntil([&] { return !host.of("dblclick").empty(); }));
    // Pressed inside, released outside: no click.
    Button(MOUSEEVENTF_LEFTDOWN);
    Pump(50);
    MouseTo(400, 400);
    Button(MOUSEEVENTF_LEFTUP);
    Pump(200);
    EXPECT_EQ(host.events,
              (std::vector<Event>{{"click", w, 50, 30}, {"click", w, 10, 20}, {"dblclick", w, 10, 20}}));
}

TEST_F(Win32PlatformTest, KeysGiveCharactersAndCloseIsARequest)
{
    const rt::WindowId w = shownWindow({100, 100, 200, 100});
    for (WORD vk : {WORD(VK_F5), WORD(VK_RETURN), WORD('A'), WORD(VK_ESCAPE), WORD(VK_BACK), WORD(VK_TAB)})
        Key(vk);
    ASSERT_TRUE(PumpUntil([&] { return host.of("key").size() >= 5; }));
    PostMessageW(platform.handle(w), WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !host.of("close").empty(); }));
    EXPECT_EQ(
        host.events,
        (std::vector<Event>{
            {"key", w, 13}, {"key", w, 'a'}, {"key", w, 27}, {"key", w, 8}, {"key", w, 9}, {"close", w}}));
    EXPECT_TRUE(IsWindow(platform.handle(w)));

    // The runtime may unload a form from the form's own key handler.
    HWND hwnd = platform.handle(w);
    host.react = [&](const Event& e) { platform.destroyWindow(e.window); };
    Key('X');
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }));
    EXPECT_EQ(platform.handle(w), nullptr);
}

TEST_F(Win32PlatformTest, TimersRepeatUntilStoppedAndRunReturnsTheQuitStatus)
{
    const rt::TimerId a = platform.startTimer(20);
    const rt::TimerId b = platform.startTimer(20);
    ASSERT_NE(a, b);
    int ticksOfA = 0, ticksOfB = 0;
    host.react = [&](const Event& e) {
        if (e.a == int(a) && ++ticksOfA == 2) platform.stopTimer(b);
        if (e.a == int(b)) ++ticksOfB;
        if (ticksOfA == 6) platform.quit(42);
    };
    EXPECT_EQ(platform.run(), 42);
    EXPECT_EQ(ticksOfA, 6);
    EXPECT_LE(ticksOfB, 2);
}

TEST_F(Win32PlatformTest, TimersFireWhileABoxIsUpAndQuitClosesIt)
{
    const rt::WindowId w = shownWindow({300, 300, 81, 28});
    platform.setTopMost(w, true);
    const rt::TimerId opener = platform.startTimer(20);
    int ticksInBox = 0;
    Box seen;
    host.react = [&](const Event& e) {
        if (e.kind != "timer") return;
        if (platform.openMessageBoxes() == 0) {
            platform.stopTimer(opener);
            platform.startTimer(20);
            platform.messageBox(w, "Auguri\r\rbenvenuto\nfra noi", 16, "Belmora");
            return;
        }
        if (++ticksInBox == 5) {
            seen = OpenBox();
            platform.quit(3);
        } else if (ticksInBox == 100) {
            EndDialog(OpenBox().hwnd, IDOK);  // quit() failed to: let the test end
        }
    };
    EXPECT_EQ(platform.run(), 3);
    EXPECT_GE(ticksInBox, 5);
    EXPECT_LT(ticksInBox, 100);
    EXPECT_EQ(platform.openMessageBoxes(), 0);
    EXPECT_EQ(OpenBox().hwnd, nullptr);
    ASSERT_TRUE(seen.hwnd);
    EXPECT_EQ(seen.caption, L"Belmora");
    EXPECT_EQ(seen.text, L"Auguri\r\n\r\nbenvenuto\r\nfra noi");
    EXPECT_EQ(seen.owner, platform.handle(w));
    EXPECT_TRUE(seen.topMost);
}

TEST_F(Win32PlatformTest, APaintedWindowShowsItsScene)
{
    const rt::WindowId w = shownWindow({50, 50, 40, 30});
    rt::Scene scene;
    scene.background = {0, 0, 128};
    rt::DrawItem fill;
    fill.rect = {10, 10, 5, 5};
    fill.clip = {0, 0, 40, 30};
    fill.back = {255, 255, 0};
    scene.items.push_back(fill);
    platform.setScene(w, scene);
    UpdateWindow(platform.handle(w));
    HDC dc = GetDC(platform.handle(w));
    EXPECT_EQ(GetPixel(dc, 2, 2), RGB(0, 0, 128));
    EXPECT_EQ(GetPixel(dc, 12, 12), RGB(255, 255, 0));
    ReleaseDC(platform.handle(w), dc);
}

// Passes the backend's events on to the runtime, counting the timer ticks.
class TickCounter : public rt::Host {
public:
    explicit TickCounter(rt::Host& runtime) : runtime_(runtime) {}
    std::function<void(int)> onTick;

    void onTimer(rt::TimerId id) override
    {
        runtime_.onTimer(id);
        if (onTick) onTick(++ticks_);
    }
    void onClick(rt::WindowId w, int x, int y) override { runtime_.onClick(w, x, y); }
    void onDoubleClick(rt::WindowId w, int x, int y) override { runtime_.onDoubleClick(w, x, y); }
    void onKeyPress(rt::WindowId w, int code) override { runtime_.onKeyPress(w, code); }
    void onGeometryChanged(rt::WindowId w, rt::PixelRect r) override { runtime_.onGeometryChanged(w, r); }
    void onCloseRequest(rt::WindowId w) override { runtime_.onCloseRequest(w); }

private:
    rt::Host& runtime_;
    int ticks_ = 0;
};

// The program's banner sits at the screen's top-left and the cursor at the
// centre of its catch box, 16 px in: every chase tick assigns the picture it
// already shows and moves nothing, so nothing is painted.
TEST_F(Win32PlatformTest, TheProgramAtRestDoesNotRepaint)
{
    MouseTo(16, 16);
    rt::Application app(platform);
    TickCounter counter(app);
    platform.attach(counter);
    long settled = -1, atRest = -1, chasing = -1;
    counter.onTick = [&](int tick) {
        if (tick == 20) settled = platform.paintsHandled();
        if (tick == 120) {
            atRest = platform.paintsHandled() - settled;
            SetCursorPos(300, 200);  // out of the box: the growl picture, and the chase
        }
        if (tick == 140) {
            chasing = platform.paintsHandled() - settled - atRest;
            platform.quit(0);
        }
    };
    EXPECT_EQ(app.Run([]() -> rt::Form& { return rt::Default<Form1>(); }), 0);
    std::printf("paints: %ld by tick 20, %ld in ticks 20-120 at rest, %ld in ticks 120-140 chasing\n",
                settled, atRest, chasing);
    EXPECT_GE(settled, 1);
    EXPECT_EQ(atRest, 0);
    EXPECT_GE(chasing, 1) << "the count of paints is not working";
}
