#!/usr/bin/env python3
"""Drives mutter's (and GNOME Shell's) pointer and keyboard from the Wayland
side through its RemoteDesktop D-Bus API, for the end-to-end tests.

Reads commands from stdin, one a line, and answers each with "ok" or
"error: ..." on stdout:
    move X Y                  absolute pointer motion, in monitor pixels
    button N press|release    a pointer button (evdev code, 272 = left)
    click                     left button press and release
    key N press|release       a keyboard key (evdev code)
Prints "ready" once the session runs. The remote-desktop session lives as long
as this process's bus connection: absolute motion needs a screen-cast stream
of the monitor linked to the session, which is recorded here too."""
import sys

from gi.repository import Gio, GLib

RD_NAME = "org.gnome.Mutter.RemoteDesktop"
SC_NAME = "org.gnome.Mutter.ScreenCast"


def call(bus, name, path, iface, method, args=None, reply="()"):
    return bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()


def main():
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    rd_path, = call(bus, RD_NAME, "/org/gnome/Mutter/RemoteDesktop", RD_NAME, "CreateSession", None, "(o)")
    rd_iface = RD_NAME + ".Session"
    session_id = bus.call_sync(RD_NAME, rd_path, "org.freedesktop.DBus.Properties", "Get",
                               GLib.Variant("(ss)", (rd_iface, "SessionId")), GLib.VariantType("(v)"),
                               Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
    sc_path, = call(bus, SC_NAME, "/org/gnome/Mutter/ScreenCast", SC_NAME, "CreateSession",
                    GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)), "(o)")
    # An empty connector is the primary monitor.
    stream_path, = call(bus, SC_NAME, sc_path, SC_NAME + ".Session", "RecordMonitor",
                        GLib.Variant("(sa{sv})", ("", {})), "(o)")
    node = []
    bus.signal_subscribe(SC_NAME, SC_NAME + ".Stream", "PipeWireStreamAdded", stream_path, None,
                         Gio.DBusSignalFlags.NONE, lambda *a: node.append(a[5].unpack()[0]))
    call(bus, RD_NAME, rd_path, rd_iface, "Start")
    ctx = GLib.MainContext.default()
    deadline = GLib.get_monotonic_time() + 10 * 1000000
    while not node and GLib.get_monotonic_time() < deadline:
        ctx.iteration(False)
        GLib.usleep(10000)
    if not node:
        print("error: the screen-cast stream did not start (is PipeWire running?)", flush=True)
        return 1
    print("ready", flush=True)

    def rd(method, fmt, *args):
        call(bus, RD_NAME, rd_path, rd_iface, method, GLib.Variant(fmt, args))

    for line in sys.stdin:
        words = line.split()
        try:
            if words[:1] == ["move"] and len(words) == 3:
                rd("NotifyPointerMotionAbsolute", "(sdd)", stream_path, float(words[1]), float(words[2]))
            elif words[:1] == ["button"] and len(words) == 3:
                rd("NotifyPointerButton", "(ib)", int(words[1]), words[2] == "press")
            elif words == ["click"]:
                rd("NotifyPointerButton", "(ib)", 272, True)
                rd("NotifyPointerButton", "(ib)", 272, False)
            elif words[:1] == ["key"] and len(words) == 3:
                rd("NotifyKeyboardKeycode", "(ub)", int(words[1]), words[2] == "press")
            elif words == ["quit"]:
                break
            else:
                print("error: bad command " + line.strip(), flush=True)
                continue
            print("ok", flush=True)
        except GLib.Error as e:
            print("error: " + e.message, flush=True)
    call(bus, RD_NAME, rd_path, rd_iface, "Stop")
    return 0


if __name__ == "__main__":
    sys.exit(main())
