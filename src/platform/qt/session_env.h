#pragma once
// The session bus the program may use: only one that already runs, behind a
// local socket.
//
// With DBUS_SESSION_BUS_ADDRESS unset, libdbus (which Qt loads for its AT-SPI
// accessibility bridge as soon as the first window is shown) falls back to
// "autolaunch:": it forks and runs `dbus-launch --autolaunch`, which starts a
// dbus-daemon that outlives the program and writes ~/.dbus/session-bus/.
// "unixexec:" addresses run a program too, and "tcp:" ones go over the network.
//
// Implements
//   - keeping the unix:path= and unix:abstract= entries of the address
//   - with no address, the systemd user bus when $XDG_RUNTIME_DIR/bus is a
//     socket of ours (what libdbus itself would try first)
//   - otherwise an address no library can connect to ("disabled:"): Qt then
//     runs without a bus, silently
// Does not implement
//   - the system bus (always a fixed socket, nothing to start)
//   - finding a bus that only dbus-launch knows of (its X11 selection or
//     ~/.dbus/session-bus/ files): asking means running dbus-launch
#include <string>

namespace qt {

// What DBUS_SESSION_BUS_ADDRESS is made to be, from its value (null when
// unset) and the path of the user bus socket when one of ours is there (null
// otherwise).
std::string LocalSessionBusAddress(const char* address, const char* userBusSocket);

// Sets DBUS_SESSION_BUS_ADDRESS to LocalSessionBusAddress() of this process's
// environment. Call first thing in main(), before any library reads it.
void KeepSessionBusLocal();

}  // namespace qt
