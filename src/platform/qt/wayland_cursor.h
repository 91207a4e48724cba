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
#include <cstdint>
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

// The freshest of two sources, each polled on every read: the one whose
// position changed last wins, XWayland on a tie (its answer is synchronous,
// the desktop's comes a report later). XWayland's first position is its
// start-up guess (the screen's centre), not trusted until it changes.
// Fails until a trusted position has been seen.
class FreshestCursor : public CursorSource {
public:
    // Either may be null.
    FreshestCursor(std::unique_ptr<CursorSource> desktop, std::unique_ptr<CursorSource> xwayland);
    bool read(std::int32_t& x, std::int32_t& y) override;

private:
    struct Track {
        std::unique_ptr<CursorSource> source;
        bool seen = false;       // a position was read
        bool trusted = false;    // a position that can be used
        std::int32_t x = 0, y = 0;
        std::uint64_t changedAt = 0;  // read count when it last changed
    };
    void poll(Track& track, bool trustFirst);

    Track desktop_;
    Track xwayland_;
    std::uint64_t reads_ = 0;
};

}  // namespace qt::wayland
