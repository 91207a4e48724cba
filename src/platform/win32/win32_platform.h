#pragma once
// Win32Platform: the Platform port on the Windows API (user32, gdi32, kernel32).
//
// Files
//   win32_platform.cpp   window classes, the hidden helper window, loop and quit
//   form_window.h/.cpp   form windows: styles, owner, geometry, showing, their
//                        window procedure (painting, clicks, keys, close)
//   window_icon.cpp      icons made from the forms' icon pictures
//   message_box.cpp      message boxes, their owner's activation, their end on quit
//   timers.cpp           the tick: timers on the helper window
//   system_services.cpp  cursor, screen size, double-click time, tones
//   scene_painter.h/.cpp painting a Scene with GDI
//   belmora.rc.in, belmora.exe.manifest  the exe's version, icon and manifest
//
// Implements
//   - one top-level window per form: WS_POPUP when borderless, WS_OVERLAPPEDWINDOW
//     when bordered; a window kept out of the taskbar is owned by a hidden window
//   - painting the Scene in WM_PAINT through an off-screen DIB section
//     (scene_painter.h): fills, pictures unscaled with alpha 0 transparent, text
//     in the named font ("Fixedsys" at 9 pt), wrapped at spaces, aligned, clipped;
//     a window is repainted only when it gets a scene or is exposed (the
//     runtime sends a scene only when it changes)
//   - geometry as the client area in screen pixels (AdjustWindowRectEx for
//     bordered windows); moves and resizes made by the user or the window
//     manager are reported when they differ from what the runtime last set
//   - top-most windows (HWND_TOPMOST); showing with or without activation; a
//     window shown with activation is made foreground, active and focused; the
//     active window, when destroyed, goes only at the loop's next message, so
//     that the activation passes straight to the window shown meanwhile
//   - clicks: the press is remembered, the click is reported at the release
//     (WM_LBUTTONUP) with the press's position, if released inside the window;
//     double-clicks (CS_DBLCLKS): WM_LBUTTONDBLCLK is reported and its release
//     is not a click
//   - keys that give a character (WM_CHAR; Ctrl+Backspace as Windows gives it,
//     127, where wine gives 8); close requests (WM_CLOSE never closes by itself)
//   - periodic SetTimer timers on a hidden window, so they fire inside message
//     box loops too
//   - MessageBoxW, owned by the given window (else the active one), above
//     top-most windows, brought to the foreground; its owner is activated just
//     before the box ends (a WH_CALLWNDPROC hook sees the ending command);
//     quit() ends every open box (EndDialog on the thread's dialog windows,
//     found with EnumThreadWindows)
//   - GetCursorPos, the primary screen's size, GetDoubleClickTime, kernel32 Beep
//   - the window and class icon made from the form's icon picture
//   - DPI: the program is not DPI aware, and says so (belmora.exe.manifest,
//     dpiAware false): Windows scales its windows, pictures and text on
//     screens above 96 DPI, so the banner and the page keep their proportions;
//     the coordinates it sees are the scaled ones, cursor included
// Does not implement
//   - other mouse buttons, mouse moves, key releases, keys with no character
//   - message box buttons other than OK
//   - the size of screens other than the primary one (windows and the cursor
//     may be anywhere on the virtual screen, at negative coordinates left of
//     or above the primary)
//   - the common controls' visual styles (no comctl32 6 in the manifest: the
//     message boxes keep the classic look)
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/scene_painter.h"
#include "runtime/platform.h"

namespace win32 {

// An icon made from a picture: its colours with their alpha, and a mask that is
// set where alpha is 0. The caller destroys it (DestroyIcon).
HICON IconFromPicture(const rt::Picture& picture);

class Win32Platform : public rt::Platform {
public:
    explicit Win32Platform(HINSTANCE instance = GetModuleHandleW(nullptr));
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    void attach(rt::Host& host) override;
    int run() override;
    void quit(int status) override;

    rt::WindowId createWindow(const rt::WindowStyle& windowStyle) override;
    void destroyWindow(rt::WindowId w) override;
    void setGeometry(rt::WindowId w, rt::PixelRect client) override;
    void setScene(rt::WindowId w, const rt::Scene& scene) override;
    void setTopMost(rt::WindowId w, bool topMost) override;
    void show(rt::WindowId w, bool activate) override;
    void hide(rt::WindowId w) override;

    rt::PixelSize screenSize() override;
    bool cursorPos(std::int32_t& x, std::int32_t& y) override;

    rt::TimerId startTimer(int intervalMs) override;
    void stopTimer(rt::TimerId id) override;
    int doubleClickTimeMs() override;

    void messageBox(rt::WindowId owner, const std::string& prompt, int style,
                    const std::string& title) override;

    void beep(int frequencyHz, int durationMs) override;

    // For tests and diagnostics: a window's handle (or nullptr), the hidden
    // window that owns windows kept out of the taskbar, the boxes open now, and
    // how many WM_PAINT messages the program's windows have handled so far.
    HWND handle(rt::WindowId w) const;
    HWND ownerWindow() const { return helper_; }
    int openMessageBoxes() const { return boxDepth_; }
    long paintsHandled() const { return paints_; }

private:
    struct FormWindow;

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK HelperProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleForm(FormWindow& window, UINT message, WPARAM wParam, LPARAM lParam);
    void reportGeometry(FormWindow& window);
    FormWindow* find(rt::WindowId w) const;
    HICON iconOf(const rt::Picture& picture);
    bool anyTopMostShown() const;
    void endOpenBoxes();
    void closeLeftWindows();

    HINSTANCE instance_;
    ATOM formClass_ = 0, helperClass_ = 0;
    HWND helper_ = nullptr;
    HICON appIcon_ = nullptr, appIconSmall_ = nullptr;
    bool classIconSet_ = false;
    rt::Host* host_ = nullptr;
    ScenePainter painter_;
    std::map<rt::WindowId, std::unique_ptr<FormWindow>> windows_;
    std::vector<std::unique_ptr<FormWindow>> retired_;  // destroyed, freed when no handler can use them
    std::vector<HWND> leftWindows_;  // given up while active: destroyed at the next message
    std::vector<std::pair<rt::Picture, HICON>> icons_;
    std::set<rt::TimerId> timers_;
    rt::WindowId nextWindow_ = 1;
    rt::TimerId nextTimer_ = 1;
    int boxDepth_ = 0;
    long paints_ = 0;
    bool quitting_ = false;
    int status_ = 0;
};

}  // namespace win32
