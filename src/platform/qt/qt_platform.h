#pragma once
// QtPlatform: the Platform port on Qt 6 Widgets, for X11 desktops (Wayland
// sessions run it through XWayland: main() asks Qt for xcb).
//
// Implements
//   - one top-level QWidget per window (form_window.h), painting its Scene:
//     fills, pictures unscaled at their rectangle's top-left, text
//     (text_layout.h: font substitution for Fixedsys, wrapping, alignment);
//     every item clipped to its rectangle and its clip rectangle
//   - borderless windows (Qt::FramelessWindowHint); windows kept out of the
//     taskbar and pager (_NET_WM_STATE_SKIP_TASKBAR/_SKIP_PAGER, written before
//     each map: Qt::Tool does not do it on X11)
//   - top-most windows: Qt::WindowStaysOnTopHint, i.e. _NET_WM_STATE_ABOVE,
//     kept across hide/show; written directly when no window manager runs
//   - a borderless top-most window out of the taskbar placed exactly where it
//     is asked, at its size, above everything, never taking the focus:
//     override-redirect (no window manager or compositor places, tiles, grows
//     or frames it), raised again whenever another window is mapped, moved or
//     restacked (not while a message box is up); on weston, whose panel keeps
//     the pointer over the top edge, a window weston places instead
//   - a borderless window of the primary monitor's size is full screen:
//     _NET_WM_STATE_FULLSCREEN asked for as well (over panels and top bars),
//     written before the map and asked again once mapped (a window manager
//     that hears of the window late, sway's, would miss the first), and
//     dropped again if it is resized
//   - show with or without activation; an activated window gets the keyboard
//     focus even with no window manager (XSetInputFocus once it is mapped)
//   - geometry as the client area in screen pixels, counted as Windows does
//     from the primary monitor's top-left corner (negative left of or above
//     it), for windows and the cursor alike; moves and resizes made by
//     the window manager or the user are reported, those the runtime asked for
//     (including late echoes of them) are not
//   - left clicks, double clicks, close requests (never closing by itself)
//   - keys giving the characters Windows' WM_CHAR gives: none for Delete,
//     arrows, function and navigation keys, Alt combinations and bare
//     modifiers; Return 13, Escape 27, Backspace 8, Tab 9, Ctrl+letter its
//     control character (tests/platform/key_table.txt)
//   - cursor position: on X11 XQueryPointer on a connection of its own,
//     asked again only after RECORD reports a pointer motion (cursor_source.h,
//     x11_window.h), else QCursor::pos(); on a Wayland
//     session the desktop's own cursor where KWin or mutter offer it, and
//     XWayland's when fresher (wayland_cursor.h)
//   - primary screen size, double-click interval
//   - periodic timers (tick_source.h: a timerfd on Linux, else a precise
//     QTimer), firing in nested event loops too (a tick that opens a message
//     box does not stop its own timer)
//   - modal message boxes: OK only, plain text, critical icon for style 16,
//     centred on the screen, kept above top-most windows, closed by quit()
//   - tones through PulseAudio (platform/pulse/pulse_tone.h, the client library
//     opened at run time), silent waits without a server
// Does not implement
//   - other mouse buttons, mouse moves, key releases, keys with no character
//   - message box buttons other than OK (the icon bits 32/48/64 are shown)
//   - screens other than the primary one; native Wayland (no global cursor
//     there: Wayland sessions run through XWayland); the desktop's cursor on
//     Wayland compositors other than KWin and mutter (a notice says so)
//   - keeping a top-most window that is not override-redirect above others
//     when no window manager runs (there it is only raised when shown or made
//     top-most)
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>

#include "runtime/platform.h"

class QMessageBox;
class QObject;
class QTimer;
class QWidget;

namespace pulse {
class PulseTone;
}

namespace qt {

namespace x11 {
class StackingWatch;
}

class CursorSource;
class FormWindow;

class QtPlatform : public rt::Platform {
public:
    // A QApplication must exist. pulseServer: a PulseAudio server string for the
    // tones, empty for the usual default.
    explicit QtPlatform(const std::string& pulseServer = {});
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

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

    // The widget showing a window, or nullptr (for tests and diagnostics).
    QWidget* widget(rt::WindowId w) const;
    // The message boxes open right now, innermost last.
    std::vector<QMessageBox*> openMessageBoxes() const;

    // Where window events go: the host given to attach(), or nullptr before.
    rt::Host* host() const { return host_; }

private:
    FormWindow* find(rt::WindowId w) const;
    void watchStacking();
    void raisePlacedByThemselves();

    rt::Host* host_ = nullptr;
    std::map<rt::WindowId, FormWindow*> windows_;
    struct Timer {
        QObject* source = nullptr;  // what fires it (see arm())
        int intervalMs = 1;
        bool ticking = false;  // its tick is being handled (is on the stack)
    };
    void arm(rt::TimerId id);
    void tick(rt::TimerId id, QObject* source);
    std::map<rt::TimerId, Timer> timers_;
    std::unique_ptr<QObject> relay_;  // context of the timers' ticks: gone with the platform
    std::vector<QPointer<QMessageBox>> boxes_;
    rt::WindowId nextWindow_ = 1;
    rt::TimerId nextTimer_ = 1;
    bool appIconSet_ = false;
    bool quitting_ = false;
    int status_ = 0;
    std::unique_ptr<pulse::PulseTone> tone_;
    std::unique_ptr<CursorSource> cursor_;  // opened on the first cursorPos(), on Wayland at once
    bool cursorTried_ = false;
    bool cursorFallback_ = true;                    // QCursor::pos() when cursor_ has no answer
    std::unique_ptr<x11::StackingWatch> stacking_;  // from the first window that places itself
    std::unique_ptr<QTimer> raiseTimer_;
};

}  // namespace qt
