#pragma once
// The cursor on a Wayland session, where the program runs through XWayland.
// XWayland learns where the pointer is only while it is over one of its own
// windows, and reports the screen's centre until then; the desktop's own
// cursor comes from the compositor where it offers a way:
//   - KDE Plasma (org.kde.KWin on the session bus): a KWin script reporting
//     each move to us over D-Bus (kwin_cursor.h)
//   - GNOME (org.gnome.Mutter.ScreenCast): the cursor metadata of a screen
//     cast of the monitor through PipeWire (mutter_cursor.h)
//   - any other compositor: none; one line on stderr says so.
// On every one the position is the freshest of the desktop's and XWayland's.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/qt/cursor_source.h"

namespace qt::wayland {

// Whether the program runs in a Wayland session ($WAYLAND_DISPLAY, or
// $XDG_SESSION_TYPE=wayland), whatever Qt platform it uses itself.
bool InWaylandSession();

// The cursor source for this Wayland session: the desktop's own cursor where
// the compositor offers it, combined with XWayland's (may be null). Prints the
// notice when the desktop offers none.
std::unique_ptr<CursorSource> OpenCursor(std::unique_ptr<CursorSource> xwayland);

// The freshest of two sources, each polled on every read: the desktop's
// report, or XWayland's pointer when it moved after the desktop's last report
// (the cursor over our window: XWayland answers at once, a report comes
// later). XWayland moving while the desktop has been still for longer than
// kDesktopQuiet is not the pointer but our window moving under it (XWayland
// works out the pointer from the window's place as it last knew it), and is
// not used. XWayland's first position is its start-up guess (the screen's
// centre), not trusted until it changes. Fails until a trusted position has
// been seen.
class FreshestCursor : public CursorSource {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDesktopQuiet{100};

    // Either source may be null; `now` is the clock (tests give their own).
    FreshestCursor(std::unique_ptr<CursorSource> desktop, std::unique_ptr<CursorSource> xwayland,
                   std::function<Clock::time_point()> now = &Clock::now);
    bool read(std::int32_t& x, std::int32_t& y) override;

private:
    struct Track {
        std::unique_ptr<CursorSource> source;
        bool seen = false;     // a position was read
        bool trusted = false;  // a position that can be used
        std::int32_t x = 0, y = 0;
        Clock::time_point changedAt{};
    };
    void poll(Track& track, bool trustFirst, Clock::time_point now);

    Track desktop_;
    Track xwayland_;
    std::function<Clock::time_point()> now_;
};

}  // namespace qt::wayland
