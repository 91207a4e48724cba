#pragma once
// The few X11 window properties Qt does not manage for us, through the xcb
// connection Qt already has. Every function does nothing (and returns false)
// when the application does not run on xcb.
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/qt/cursor_source.h"

namespace qt::x11 {

// Waits, at most `timeoutMs`, until the window manager has finished
// withdrawing an unmapped window: it then removes WM_STATE (or sets it to
// Withdrawn), and it drops _NET_WM_STATE on the way. A window mapped again
// before that loses the states written for the new map when the window manager
// catches up with the old unmap. Returns at once for a window that no window
// manager manages.
bool WaitUntilWithdrawn(QWidget* window, int timeoutMs);

// Adds _NET_WM_STATE atoms to a window that is not mapped (withdrawn), keeping
// the ones already there; Qt merges its own (e.g. _NET_WM_STATE_ABOVE) when it
// maps the window. Used for _NET_WM_STATE_SKIP_TASKBAR/_SKIP_PAGER, which Qt
// has no flag for (Qt::Tool does not keep a window out of the taskbar).
bool AddStatesBeforeMap(QWidget* window, const char* const* atomNames, int count);

// Whether the window's _NET_WM_STATE property lists the atom.
bool HasState(QWidget* window, const char* atomName);

// Whether an EWMH window manager runs (_NET_SUPPORTING_WM_CHECK on the root
// window names a live window that names itself).
bool WindowManagerRunning();

// The name the running EWMH window manager gives itself (_NET_WM_NAME of the
// _NET_SUPPORTING_WM_CHECK window), empty when none runs.
std::string WindowManagerName();

// Sets or clears an atom of _NET_WM_STATE on a mapped window with no window
// manager around: the property is written directly (with a window manager it
// must be asked by client message instead, which Qt does for the flags it knows).
bool SetStateWithoutWindowManager(QWidget* window, const char* atomName, bool set);

// Asks the window manager to set or clear an atom of _NET_WM_STATE on a mapped
// window (the client message of the EWMH).
bool RequestState(QWidget* window, const char* atomName, bool set);

// Whether the window is the highest mapped window on the screen (the highest
// viewable child of the root window).
bool IsHighest(QWidget* window);

// Calls `changed` with the X window concerned whenever a window of the screen
// (a child of the root window: a top-level window without a window manager,
// a frame or an override-redirect window with one) is mapped, moved,
// resized or restacked, from Qt's event loop (the events come on a connection
// of its own). Does nothing when the application does not run on xcb.
class StackingWatch {
public:
    explicit StackingWatch(std::function<void(std::uint32_t)> changed);
    ~StackingWatch();
    StackingWatch(const StackingWatch&) = delete;
    StackingWatch& operator=(const StackingWatch&) = delete;

private:
    class Filter;
    std::unique_ptr<Filter> filter_;
};

// The X window of a widget (0 when there is none).
std::uint32_t NativeWindow(QWidget* window);

// Gives the keyboard focus to a mapped window (XSetInputFocus).
bool FocusWindow(QWidget* window);

// Whether the window is viewable (mapped, with its ancestors mapped).
bool IsViewable(QWidget* window);

// The cursor read with XQueryPointer on a connection of its own to the X
// server of $DISPLAY, asked only when the RECORD extension has reported a
// pointer motion since the last answer (and every `recheck` all the same), on
// every read when the server has no RECORD; nullptr when the application does
// not run on xcb or the server cannot be reached. In x11_cursor.cpp.
std::unique_ptr<CursorSource> OpenCursorReader(
    std::chrono::milliseconds recheck = std::chrono::milliseconds(250));

}  // namespace qt::x11
