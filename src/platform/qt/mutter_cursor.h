#pragma once
// The cursor on GNOME's Wayland session, from mutter itself: a screen cast of
// the monitor (org.gnome.Mutter.ScreenCast, RecordMonitor) with the cursor
// sent as metadata, read through PipeWire; the position comes from each
// buffer's cursor metadata (SPA_META_Cursor) and no frame is looked at.
// libpipewire-0.3 is loaded at run time: without it there is no source, and
// the program runs as on any other Wayland desktop. GNOME shows its
// screen-sharing indicator while the cast runs.
//
// Implements
//   - the cursor over the primary monitor, in the desktop's coordinates (the
//     stream's position plus the monitor's origin)
//   - the cast stopped when the source goes (and by mutter when we leave the bus)
// Does not implement
//   - the cursor over other monitors (the stream records one; no report then)
//   - monitors scaled by GNOME (stream pixels are taken as desktop pixels)
#include <memory>

#include "platform/qt/cursor_source.h"

namespace qt::mutter {

// nullptr when mutter, PipeWire or libpipewire cannot be had. read() fails
// until the first position has come.
std::unique_ptr<CursorSource> OpenCursor();

}  // namespace qt::mutter
