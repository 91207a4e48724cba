#pragma once
// The Platform port: everything the form runtime needs from a desktop, and the
// events a desktop hands back to it. Backends (Qt, Win32, the simulated
// desktop) implement Platform; the runtime implements Host. Only plain values
// cross this port: no toolkit or operating-system type appears here.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/picture.h"

namespace rt {

using WindowId = std::uint32_t;  // 0 is "no window"
using TimerId = std::uint32_t;   // 0 is "no timer"

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const PixelRect&) const = default;
};

// The area two rectangles share; empty (w or h 0) where they do not meet.
inline PixelRect Intersect(const PixelRect& a, const PixelRect& b)
{
    const int x1 = std::max(a.x, b.x), y1 = std::max(a.y, b.y);
    const int x2 = std::min(a.x + a.w, b.x + b.w), y2 = std::min(a.y + a.h, b.y + b.h);
    return {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
}

struct PixelSize {
    int w = 0, h = 0;
    bool operator==(const PixelSize&) const = default;
};

enum class Align { Left, Right, Center };

struct FontSpec {
    std::string name;      // e.g. "Fixedsys"; backends substitute where it is missing
    float points = 9.0f;
    int weight = 400;
    bool operator==(const FontSpec&) const = default;
};

// One thing to paint in a window, in client pixels, painted in list order.
struct DrawItem {
    enum class Kind { Fill, Image, Text };
    Kind kind = Kind::Fill;
    PixelRect rect;      // where the item lies
    PixelRect clip;      // nothing outside this is painted (the container's area)
    Rgb back;            // Fill: the colour
    Rgb fore;            // Text: the ink
    Picture picture;     // Image: drawn unscaled at rect's top-left
    std::string text;    // Text: UTF-8; CR, LF or CR LF start a new line, long lines
                         // break at spaces; lines below rect are not shown
    Align align = Align::Left;
    FontSpec font;
    std::string owner;   // name of the form or control the item draws (for traces)
    bool operator==(const DrawItem&) const = default;
};

// The whole content of one window.
struct Scene {
    Rgb background;
    std::vector<DrawItem> items;
    bool operator==(const Scene&) const = default;
};

struct WindowStyle {
    std::string caption;
    bool bordered = false;       // title bar and sizing border, or none at all
    bool showInTaskbar = true;
    Picture icon;
};

// What a backend reports to the runtime. Every call comes on the UI thread,
// from the backend's event loop (possibly a nested one, while a message box is up).
class Host {
public:
    virtual ~Host() = default;
    virtual void onTimer(TimerId id) = 0;
    // A single press-and-release of the left button, at client pixel (x, y).
    virtual void onClick(WindowId w, int x, int y) = 0;
    // The second press of a double-click; it always follows an onClick for the first press.
    virtual void onDoubleClick(WindowId w, int x, int y) = 0;
    // A key that gives a character; keys that give none are not reported.
    virtual void onKeyPress(WindowId w, int charCode) = 0;
    // The window manager or the user moved or resized a window (client pixels).
    virtual void onGeometryChanged(WindowId w, PixelRect client) = 0;
    // The user asked to close a window (Alt+F4, the window manager's close).
    virtual void onCloseRequest(WindowId w) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual void attach(Host& host) = 0;
    // Runs the event loop until quit(); returns the status given to quit().
    virtual int run() = 0;
    // Ends the program's event loop and any nested one (open message boxes close).
    virtual void quit(int status) = 0;

    // Windows. A new window is hidden; geometry is its client area in screen pixels.
    virtual WindowId createWindow(const WindowStyle& windowStyle) = 0;
    virtual void destroyWindow(WindowId w) = 0;
    virtual void setGeometry(WindowId w, PixelRect client) = 0;
    virtual void setScene(WindowId w, const Scene& scene) = 0;
    virtual void setTopMost(WindowId w, bool topMost) = 0;
    virtual void show(WindowId w, bool activate) = 0;
    virtual void hide(WindowId w) = 0;

    // The primary screen in logical pixels, and the cursor in screen pixels.
    virtual PixelSize screenSize() = 0;
    virtual bool cursorPos(std::int32_t& x, std::int32_t& y) = 0;

    // Periodic timers, each firing Host::onTimer until stopped.
    virtual TimerId startTimer(int intervalMs) = 0;
    virtual void stopTimer(TimerId id) = 0;
    virtual int doubleClickTimeMs() = 0;

    // A modal message box. style 0: OK only; 16: critical-stop icon and OK.
    // Returns when it is dismissed, or when quit() is called meanwhile. Timers keep firing.
    virtual void messageBox(WindowId owner, const std::string& prompt, int style,
                            const std::string& title) = 0;

    // A tone; returns when it has ended. No event is handled meanwhile.
    virtual void beep(int frequencyHz, int durationMs) = 0;

    // One line (no line break in it) telling whoever started the program why
    // it ends with an error. By default it goes to stderr.
    virtual void reportError(const std::string& line);
};

}  // namespace rt
