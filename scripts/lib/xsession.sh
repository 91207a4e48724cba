# shellcheck shell=bash
# A private X session for tests: Xvfb on a free display, optionally a window
# manager and a panel.
#
#   source scripts/lib/xsession.sh
#   xsession_start [--wm[=openbox|xfwm4]] [--panel] [--size WxHxD] [--monitor [*]NAME=WxH+X+Y]...
#                                         start Xvfb (and a window manager with --wm,
#                                         openbox unless named), export DISPLAY;
#                                         --panel adds an Xfce panel along the top edge,
#                                         XSESSION_PANEL_HEIGHT px high, that keeps
#                                         windows off it (_NET_WM_STRUT);
#                                         each --monitor splits the screen into RandR
#                                         monitors (xrandr --setmonitor), * marks the primary
#   xsession_stop                         stop what xsession_start started (also run at exit)
#
# After xsession_start: XSESSION_DISPLAY (e.g. ":3"), XSESSION_XVFB_PID, XSESSION_WM_PID
# (empty without --wm). xfwm4 and the panel keep their settings in xfconf, on
# a private session bus of their own (XSESSION_BUS_PID; DBUS_SESSION_BUS_ADDRESS
# is left as it was) with a private XDG_CONFIG_HOME. Only these PIDs, and the
# panel's, are ever stopped (xfconfd, started by the bus, ends with it). XDG_RUNTIME_DIR is set
# to a private directory when it was not set. Start one session per shell.

_xsession_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=cleanup.sh
source "$_xsession_dir/cleanup.sh"

XSESSION_DISPLAY=
XSESSION_XVFB_PID=
XSESSION_WM_PID=
XSESSION_BUS_PID=
XSESSION_PANEL_PID=
XSESSION_PANEL_HEIGHT=30
_xsession_tmp=

xsession_start() {
    local wm= panel=0 size=1024x768x24 monitors=()
    while (($#)); do
        case $1 in
            --wm) wm=openbox ;;
            --wm=openbox | --wm=xfwm4) wm=${1#--wm=} ;;
            --panel) panel=1 ;;
            --size) size=$2; shift ;;
            --monitor) monitors+=("$2"); shift ;;
            *) echo "xsession_start: unknown option $1" >&2; return 2 ;;
        esac
        shift
    done

    _xsession_tmp=$(mktemp -d /tmp/belmora-x.XXXXXX)
    cleanup_add xsession_stop

    # Xvfb picks a free display number and writes it to the descriptor once it
    # accepts connections.
    local numfile=$_xsession_tmp/display fd
    exec {fd}>"$numfile"
    Xvfb -displayfd "$fd" -screen 0 "$size" -noreset -nolisten tcp \
        >"$_xsession_tmp/xvfb.log" 2>&1 &
    XSESSION_XVFB_PID=$!
    local i
    for ((i = 0; i < 100; i++)); do
        [[ -s $numfile ]] && break
        if ! kill -0 "$XSESSION_XVFB_PID" 2>/dev/null; then break; fi
        sleep 0.1
    done
    exec {fd}>&-
    if [[ ! -s $numfile ]]; then
        echo "xsession_start: Xvfb did not start:" >&2
        cat "$_xsession_tmp/xvfb.log" >&2
        return 1
    fi
    XSESSION_DISPLAY=":$(tr -dc 0-9 <"$numfile")"
    export DISPLAY=$XSESSION_DISPLAY
    # An X11 session, also when started from a Wayland desktop: the program
    # looks for the desktop's cursor only in Wayland sessions.
    unset WAYLAND_DISPLAY
    export XDG_SESSION_TYPE=x11
    # Desktop programs expect a runtime directory (Qt warns without one).
    if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
        mkdir -m 700 "$_xsession_tmp/runtime"
        export XDG_RUNTIME_DIR=$_xsession_tmp/runtime
    fi

    # Monitors before the window manager, which reads them when it starts.
    if ((${#monitors[@]})); then
        xsession_set_monitors "${monitors[@]}" || return 1
    fi

    local -a xfce_env=()
    if [[ $wm == xfwm4 ]] || ((panel)); then
        _xsession_start_xfconf_bus || return 1
        xfce_env=(env DBUS_SESSION_BUS_ADDRESS="unix:path=$_xsession_tmp/bus"
                  XDG_CONFIG_HOME="$_xsession_tmp/config" XDG_CACHE_HOME="$_xsession_tmp/cache")
    fi
    case $wm in
        openbox) openbox --sm-disable >"$_xsession_tmp/$wm.log" 2>&1 & ;;
        # No compositing: Xvfb has no GL, and the tests read the screen's pixels.
        xfwm4) "${xfce_env[@]}" xfwm4 --compositor=off >"$_xsession_tmp/$wm.log" 2>&1 & ;;
    esac
    if [[ -n $wm ]]; then
        XSESSION_WM_PID=$!
        if ! xsession_wait_wm 10; then
            echo "xsession_start: $wm did not take the display:" >&2
            cat "$_xsession_tmp/$wm.log" >&2
            return 1
        fi
    fi
    if ((panel)); then
        "${xfce_env[@]}" xfce4-panel --disable-wm-check >"$_xsession_tmp/panel.log" 2>&1 &
        XSESSION_PANEL_PID=$!
        # The panel is up once the window manager keeps windows off it.
        local i
        for ((i = 0; i < 100; i++)); do
            xprop -root _NET_WORKAREA 2>/dev/null | grep -q "= 0, $XSESSION_PANEL_HEIGHT," && return 0
            sleep 0.1
        done
        echo "xsession_start: the panel did not come up: $(xprop -root _NET_WORKAREA)" >&2
        cat "$_xsession_tmp/panel.log" >&2
        return 1
    fi
    return 0
}

# xfconf (xfwm4's and the panel's settings) on a private session bus, which
# starts xfconfd when asked; the panel's settings: one panel along the top
# edge, with a task list.
_xsession_start_xfconf_bus() {
    local xml=$_xsession_tmp/config/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$xml" "$_xsession_tmp/cache"
    cat >"$xml/xfce4-panel.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="$((XSESSION_PANEL_HEIGHT - 1))"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="tasklist"/>
  </property>
</channel>
EOF
    env XDG_CONFIG_HOME="$_xsession_tmp/config" XDG_CACHE_HOME="$_xsession_tmp/cache" \
        dbus-daemon --session --nofork --nopidfile --address="unix:path=$_xsession_tmp/bus" \
        >"$_xsession_tmp/bus.log" 2>&1 &
    XSESSION_BUS_PID=$!
    local i
    for ((i = 0; i < 50; i++)); do
        [[ -S $_xsession_tmp/bus ]] && return 0
        sleep 0.1
    done
    echo "xsession_start: the session bus for xfconf did not start:" >&2
    cat "$_xsession_tmp/bus.log" >&2
    return 1
}

# Splits the screen into RandR monitors: xsession_set_monitors [*]NAME=WxH+X+Y...
# The server's one output goes to the first monitor (an output in no monitor
# would show as one more monitor covering the whole screen). Monitors live
# until the server resets: xsession_start runs Xvfb with -noreset.
xsession_set_monitors() {
    local output monitor name geometry w h x y outputs
    output=$(xrandr 2>/dev/null | awk '$2 == "connected" {print $1; exit}')
    [[ -n $output ]] || { echo "xsession_set_monitors: the X server has no RandR output" >&2; return 1; }
    outputs=$output
    for monitor in "$@"; do
        name=${monitor%%=*} geometry=${monitor#*=}
        if [[ ! $geometry =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]]; then
            echo "xsession_set_monitors: bad monitor $monitor (want [*]NAME=WxH+X+Y)" >&2
            return 2
        fi
        w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]} x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]}
        # The physical size as at 96 dots per inch.
        xrandr --setmonitor "$name" "$w/$((w * 254 / 960))x$h/$((h * 254 / 960))+$x+$y" "$outputs" >/dev/null ||
            { echo "xsession_set_monitors: xrandr --setmonitor $monitor failed" >&2; return 1; }
        outputs=none
    done
    local count
    count=$(xrandr --listmonitors | sed -n '1s/^Monitors: //p')
    [[ $count == "$#" ]] || { echo "xsession_set_monitors: $count monitors, not $#:" >&2; xrandr --listmonitors >&2; return 1; }
}

# True once an EWMH window manager announces itself on the root window
# (_NET_SUPPORTING_WM_CHECK), waiting up to the given seconds.
xsession_wait_wm() {
    local secs=${1:-10} i
    for ((i = 0; i < secs * 10; i++)); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

xsession_stop() {
    stop_pid "$XSESSION_PANEL_PID"
    XSESSION_PANEL_PID=
    stop_pid "$XSESSION_WM_PID"
    XSESSION_WM_PID=
    stop_pid "$XSESSION_BUS_PID"
    XSESSION_BUS_PID=
    stop_pid "$XSESSION_XVFB_PID"
    XSESSION_XVFB_PID=
    if [[ -n $_xsession_tmp ]]; then
        rm -rf "$_xsession_tmp"
        _xsession_tmp=
    fi
}
