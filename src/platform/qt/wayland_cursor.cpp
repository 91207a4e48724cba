#include "platform/qt/wayland_cursor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/qt/kwin_cursor.h"
#include "platform/qt/mutter_cursor.h"

namespace qt::wayland {

bool InWaylandSession()
{
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

namespace {

bool BusNameExists(const char* name)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(QString::fromLatin1(name));
    return reply.isValid() && reply.value();
}

// $XDG_CURRENT_DESKTOP names the desktop (a colon-separated list).
bool DesktopIs(const char* name)
{
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    if (!desktops) return false;
    const QStringList names = QString::fromLocal8Bit(desktops).split(QLatin1Char(':'));
    return names.contains(QString::fromLatin1(name), Qt::CaseInsensitive);
}

void PrintNotice()
{
    std::fprintf(stderr,
                 "belmora: su questo desktop il banner segue il cursore solo quando passa sopra "
                 "la sua finestra; l'inseguimento funziona appieno in una sessione X11, su KDE Plasma "
                 "e su GNOME\n");
    std::fflush(stderr);
}

}  // namespace

std::unique_ptr<CursorSource> OpenCursor(std::unique_ptr<CursorSource> xwayland)
{
    std::unique_ptr<CursorSource> desktop;
    // The desktop named first is asked first; the bus says what is really there.
    const bool gnomeFirst = DesktopIs("GNOME") && !DesktopIs("KDE");
    for (int attempt = 0; attempt < 2 && !desktop; ++attempt) {
        const bool kwin = (attempt == 0) != gnomeFirst;
        if (kwin && BusNameExists("org.kde.KWin"))
            desktop = kwin::OpenCursor();
        else if (!kwin && BusNameExists("org.gnome.Mutter.ScreenCast"))
            desktop = mutter::OpenCursor();
    }
    if (!desktop) PrintNotice();
    return std::make_unique<FreshestCursor>(std::move(desktop), std::move(xwayland));
}

FreshestCursor::FreshestCursor(std::unique_ptr<CursorSource> desktop, std::unique_ptr<CursorSource> xwayland,
                               std::function<Clock::time_point()> now)
    : now_(std::move(now))
{
    desktop_.source = std::move(desktop);
    xwayland_.source = std::move(xwayland);
}

void FreshestCursor::poll(Track& track, bool trustFirst, Clock::time_point now)
{
    std::int32_t x = 0, y = 0;
    if (!track.source || !track.source->read(x, y)) return;
    if (!track.seen) {
        track.seen = true;
        track.trusted = trustFirst;
    } else if (x != track.x || y != track.y) {
        track.trusted = true;
    } else {
        return;
    }
    track.x = x;
    track.y = y;
    track.changedAt = now;
}

bool FreshestCursor::read(std::int32_t& x, std::int32_t& y)
{
    const Clock::time_point now = now_();
    poll(desktop_, true, now);
    poll(xwayland_, false, now);
    bool useXWayland = xwayland_.trusted;
    if (useXWayland && desktop_.trusted)
        useXWayland = xwayland_.changedAt >= desktop_.changedAt &&
                      xwayland_.changedAt - desktop_.changedAt <= kDesktopQuiet;
    const Track* use = useXWayland ? &xwayland_ : desktop_.trusted ? &desktop_ : nullptr;
    if (!use) return false;
    x = use->x;
    y = use->y;
    return true;
}

}  // namespace qt::wayland
