#pragma once
// The cursor on KDE Plasma's Wayland session, from KWin itself: a KWin script,
// loaded over D-Bus (org.kde.KWin /Scripting loadScript, then start), reads
// workspace.cursorPos and reports it, and every cursorPosChanged, to an object
// of ours on the session bus with callDBus. The script is handed to KWin
// without touching the disk (a memfd, named by its /proc path) and unloaded
// when the source goes.
//
// Implements
//   - the cursor anywhere on the desktop, every move (workspace.cursorPos)
//   - no file written: the script is a memfd shown to KWin by its /proc path
// Does not implement
//   - unloading the script when the program is killed (KWin keeps calling a
//     bus name that is gone, and nothing else)
#include <QString>

#include <memory>

#include "platform/qt/cursor_source.h"

namespace qt::kwin {

// nullptr when KWin cannot be asked or refuses the script. read() fails until
// the first report has come.
std::unique_ptr<CursorSource> OpenCursor();

// The script's text, reporting to `service` (a bus name) at `path`, method
// `method` of `interface`, with the x and y in two arguments.
QString CursorScript(const QString& service, const QString& path, const QString& interface,
                     const QString& method);

}  // namespace qt::kwin
