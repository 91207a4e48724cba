# shellcheck shell=bash
# A private X session for tests: Xvfb on a free display, optionally openbox.
#
#   source scripts/lib/xsession.sh
#   xsession_start [--wm] [--size WxHxD] [--monitor [*]NAME=WxH+X+Y]...
#                                         start Xvfb (and openbox with --wm), export DISPLAY;
#                                         each --monitor splits the screen into RandR
#                                         monitors (xrandr --setmonitor), * marks the primary
#   xsession_stop                         stop what xsession_start started (also run at exit)
#
# After xsession_start: XSESSION_DISPLAY (e.g. ":3"), XSESSION_XVFB_PID, XSESSION_WM_PID
# (empty without --wm). Only these PIDs are ever stopped. XDG_RUNTIME_DIR is set
# to a private directory when it was not set. Start one session per shell.

_xsession_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=cleanup.sh
source "$_xsession_dir/cleanup.sh"

XSESSION_DISPLAY=
XSESSION_XVFB_PID=
XSESSION_WM_PID=
_xsession_tmp=

xsession_start() {
    local wm=0 size=1024x768x24 monitors=()
    while (($#)); do
        case $1 in
            --wm) wm=1 ;;
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

    if ((wm)); then
        openbox --sm-disable >"$_xsession_tmp/openbox.log" 2>&1 &
        XSESSION_WM_PID=$!
        if ! xsession_wait_wm 10; then
            echo "xsession_start: openbox did not take the display:" >&2
            cat "$_xsession_tmp/openbox.log" >&2
            return 1
        fi
    fi
    return 0
}

# Splits the screen into RandR monitors: xsession_set_monitors [*]NAME=WxH+X+Y...
# The server's one output goes to the first monitor (an output in no monitor
# would show as one more monitor covering the whole screen). Monitors live
# until the server resets: xsession_start runs Xvfb with -noreset.
xsession_set_monitors() {
    local output spec name geometry w h x y outputs
    output=$(xrandr 2>/dev/null | awk '$2 == "connected" {print $1; exit}')
    [[ -n $output ]] || { echo "xsession_set_monitors: the X server has no RandR output" >&2; return 1; }
    outputs=$output
    for spec in "$@"; do
        name=${spec%%=*} geometry=${spec#*=}
        if [[ ! $geometry =~ ^([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+)$ ]]; then
            echo "xsession_set_monitors: bad monitor $spec (want [*]NAME=WxH+X+Y)" >&2
            return 2
        fi
        w=${BASH_REMATCH[1]} h=${BASH_REMATCH[2]} x=${BASH_REMATCH[3]} y=${BASH_REMATCH[4]}
        # The physical size as at 96 dots per inch.
        xrandr --setmonitor "$name" "$w/$((w * 254 / 960))x$h/$((h * 254 / 960))+$x+$y" "$outputs" >/dev/null ||
            { echo "xsession_set_monitors: xrandr --setmonitor $spec failed" >&2; return 1; }
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
    stop_pid "$XSESSION_WM_PID"
    XSESSION_WM_PID=
    stop_pid "$XSESSION_XVFB_PID"
    XSESSION_XVFB_PID=
    if [[ -n $_xsession_tmp ]]; then
        rm -rf "$_xsession_tmp"
        _xsession_tmp=
    fi
}
