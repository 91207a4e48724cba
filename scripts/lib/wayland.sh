# shellcheck shell=bash
# A private headless Wayland compositor with XWayland, for tests.
#
#   source scripts/lib/wayland.sh
#   wayland_start NAME [--size WxH]   NAME: weston, weston-x11, sway, kwin, mutter or gnome-shell
#   wayland_pointer_move X Y          moves the pointer from the Wayland side (absolute pixels)
#   wayland_pointer_click             left click from the Wayland side
#   wayland_key CODE press|release    a key from the Wayland side (kwin, mutter, gnome-shell)
#   wayland_stop                      stops what wayland_start started (also run at exit);
#                                     false, saying what, when something the compositor
#                                     started outlived it (it is killed then)
#
# wayland_start returns 77 when the compositor cannot be had here (it, or a
# program it needs, is not installed): WAYLAND_SKIP_REASON says why. It returns
# 1 when it is installed but did not come up (it, its XWayland or the pointer
# driver failed or was too slow): WAYLAND_ERROR says why, with the last lines
# of the log of what failed. On success it
# exports XDG_RUNTIME_DIR (always a private one), WAYLAND_DISPLAY, DISPLAY
# (its XWayland) and XAUTHORITY when XWayland asks for one, and, for kwin,
# mutter and gnome-shell, DBUS_SESSION_BUS_ADDRESS (a private bus). It sets
# WAYLAND_POINTER to how the pointer is driven: wlroots (the virtual-pointer
# protocol), kwin (fake-input), mutter (RemoteDesktop over D-Bus), xvfb
# (weston-x11: the pointer of the Xvfb weston runs in, WAYLAND_HOST_DISPLAY)
# or none (weston's headless backend has no input device).
# WAYLAND_COMPOSITOR_PID is the compositor; only the PIDs started here are
# ever stopped. Start one compositor per shell.
#
# Needs, besides the compositor: Xwayland, xdotool; for sway, a user to run it
# as (root is refused: WAYLAND_SWAY_USER, default belmora-wayland, created when
# missing) and the virtual-pointer client (WAYLAND_WLR_VIRTUAL_POINTER); for
# kwin, the fake-input client (WAYLAND_KWIN_FAKE_INPUT); both built from
# tests/e2e/wayland/. For mutter and gnome-shell: dbus-daemon, pipewire,
# wireplumber and python3-gi.

_wayland_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=cleanup.sh
source "$_wayland_dir/cleanup.sh"

WAYLAND_SKIP_REASON=
WAYLAND_ERROR=
WAYLAND_POINTER=none
WAYLAND_COMPOSITOR_PID=
WAYLAND_NAME=
WAYLAND_TMP=
WAYLAND_HOST_DISPLAY=
_wayland_pids=()
_wayland_width=1024
_wayland_height=768
_wayland_rd_in=
_wayland_rd_out=
_wayland_sway_user=

_wayland_skip() {
    WAYLAND_SKIP_REASON=$*
    return 77
}

# _wayland_fail LOG WHAT...: LOG is the name of the program whose log tells why.
_wayland_fail() {
    local log=$1
    shift
    WAYLAND_ERROR="$* (the last lines of its log: $(tail -n 5 "$WAYLAND_TMP/$log.log" 2>/dev/null | tr '\n' '|'))"
    return 1
}

# Runs a program in the background with its output in $WAYLAND_TMP/NAME.log;
# its PID is remembered for wayland_stop and left in _wayland_last_pid.
_wayland_spawn() {
    local name=$1
    shift
    "$@" >"$WAYLAND_TMP/$name.log" 2>&1 &
    _wayland_last_pid=$!
    _wayland_pids+=("$_wayland_last_pid")
}

# _wayland_until SECS COMMAND...: true once COMMAND succeeds, tried every
# tenth of a second for SECS; false at once when the process $_wayland_last_pid
# (the one started last) is gone.
_wayland_until() {
    local secs=$1 i
    shift
    for ((i = 0; i < secs * 10; i++)); do
        "$@" && return 0
        kill -0 "$_wayland_last_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# A private session bus: DBUS_SESSION_BUS_ADDRESS.
_wayland_start_bus() {
    command -v dbus-daemon >/dev/null || { _wayland_skip "dbus-daemon is not installed"; return; }
    _wayland_spawn dbus dbus-daemon --session --nofork --nopidfile --address="unix:path=$XDG_RUNTIME_DIR/bus"
    _wayland_until 5 test -S "$XDG_RUNTIME_DIR/bus" ||
        { _wayland_fail dbus "the private session bus did not start within 5 s"; return; }
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
}

# Whether NAME is owned on the session bus.
_wayland_bus_name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# The XWayland started by the compositor: exports DISPLAY, and XAUTHORITY when
# XWayland was given one; waits until it answers. It is told by the private
# runtime folder it inherited, not by its parent: a compositor may start it
# through a short-lived process of its own (wlroots does), and once XWayland
# is ready its parent is PID 1.
_wayland_find_xwayland() {
    local secs=$1 i pid args display= auth=
    for ((i = 0; i < secs * 10; i++)); do
        for pid in $(pgrep -x Xwayland); do
            { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" || continue
            mapfile -d '' -t args <"/proc/$pid/cmdline"
            local j
            for ((j = 1; j < ${#args[@]}; j++)); do
                [[ ${args[j]} == :[0-9]* ]] && display=${args[j]}
                [[ ${args[j]} == -auth ]] && auth=${args[j + 1]}
            done
            [[ -n $display ]] && _wayland_pids+=("$pid") && break
        done
        if [[ -n $display ]]; then
            export DISPLAY=$display
            if [[ -n $auth ]]; then export XAUTHORITY=$auth; else unset XAUTHORITY; fi
            _wayland_wait_x 10
            return
        fi
        kill -0 "$WAYLAND_COMPOSITOR_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

_wayland_wait_x() {
    local deadline=$((SECONDS + $1))
    while ((SECONDS < deadline)); do
        # sway's XWayland belongs to its user, and lets in no one else until told.
        if [[ -n $_wayland_sway_user ]]; then
            timeout 2 runuser -u "$_wayland_sway_user" -- env DISPLAY="$DISPLAY" xhost "+si:localuser:$(id -un)" \
                >/dev/null 2>&1 || { sleep 0.1; continue; }
        fi
        # An XWayland still starting may accept the connection and answer late.
        timeout 2 xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# A long-lived pointer driver that reads commands on stdin and answers each
# on stdout ("ready" first, then "ok" or "error: ..."), through two pipes.
_wayland_start_driver() {
    mkfifo "$WAYLAND_TMP/driver.in" "$WAYLAND_TMP/driver.out"
    _wayland_spawn driver sh -c 'in=$1 out=$2; shift 2; exec "$@" <"$in" >"$out"' sh \
        "$WAYLAND_TMP/driver.in" "$WAYLAND_TMP/driver.out" "$@"
    exec {_wayland_rd_in}>"$WAYLAND_TMP/driver.in"
    exec {_wayland_rd_out}<"$WAYLAND_TMP/driver.out"
    local reply=
    read -r -t 20 -u "$_wayland_rd_out" reply
    [[ $reply == ready ]] || { _wayland_fail driver "the pointer driver said \"${reply:-nothing}\" within 20 s"; return 1; }
}

# One command to the driver; true when it answers "ok".
_wayland_drive() {
    local reply
    echo "$*" >&"$_wayland_rd_in" || return 1
    read -r -t 5 -u "$_wayland_rd_out" reply && [[ $reply == ok ]]
}

# weston: its headless backend; weston-x11: its X11 backend in a private Xvfb
# of the output's size, whose pointer, moved with xdotool, is weston's.
_wayland_start_weston() {
    local backend=$1
    command -v weston >/dev/null || { _wayland_skip "weston is not installed"; return; }
    local -a backend_args=(--backend=headless-backend.so)
    if [[ $backend == x11 ]]; then
        source "$_wayland_dir/xsession.sh"
        # Room beside weston's window for the pointer to start from: weston
        # follows the pointer once it has entered its window.
        xsession_start --size "$((_wayland_width + 64))x$((_wayland_height + 64))x24" ||
            { WAYLAND_ERROR="no Xvfb for weston"; return 1; }
        WAYLAND_HOST_DISPLAY=$DISPLAY
        xdotool mousemove $((_wayland_width + 32)) $((_wayland_height + 32))
        backend_args=(--backend=x11-backend.so)
    fi
    _wayland_spawn weston weston "${backend_args[@]}" --xwayland --idle-time=0 \
        --width="$_wayland_width" --height="$_wayland_height" --socket=wayland-belmora
    WAYLAND_COMPOSITOR_PID=$_wayland_last_pid
    export WAYLAND_DISPLAY=wayland-belmora
    # weston starts XWayland at the first X connection; it names the display in its log.
    _wayland_until 10 grep -q 'xserver listening on display :' "$WAYLAND_TMP/weston.log" ||
        { _wayland_fail weston "weston did not start XWayland within 10 s"; return; }
    export DISPLAY
    DISPLAY=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$WAYLAND_TMP/weston.log" | head -1)
    unset XAUTHORITY
    _wayland_wait_x 10 || { _wayland_fail weston "weston's XWayland did not answer within 10 s"; return; }
    # The headless backend has no input device at all: its seat has no pointer
    # (XWayland even crashes on an XTEST pointer motion then), only XTEST keys.
    WAYLAND_POINTER=none
    [[ $backend == x11 ]] && WAYLAND_POINTER=xvfb
    return 0
}

_wayland_start_sway() {
    command -v sway >/dev/null || { _wayland_skip "sway is not installed"; return; }
    local driver=${WAYLAND_WLR_VIRTUAL_POINTER:-}
    [[ -x $driver ]] || { WAYLAND_ERROR="no virtual-pointer client (WAYLAND_WLR_VIRTUAL_POINTER: the build makes it)"; return 1; }
    local user=${WAYLAND_SWAY_USER:-belmora-wayland}
    local -a as_user=()
    if ((EUID == 0)); then
        # sway refuses to run as root: it runs as a dedicated user.
        if ! id "$user" >/dev/null 2>&1; then
            useradd --system --no-create-home --shell /usr/sbin/nologin "$user" 2>/dev/null ||
                { WAYLAND_ERROR="cannot create the user $user to run sway"; return 1; }
        fi
        chown "$user" "$XDG_RUNTIME_DIR" "$WAYLAND_TMP"
        as_user=(runuser -u "$user" --)
        _wayland_sway_user=$user
        # XWayland's sockets go in /tmp/.X11-unix: made by sway's user, were it
        # missing, it would be that user's alone, and no other user's X server
        # could start on this machine afterwards.
        if [[ ! -d /tmp/.X11-unix || $(stat -c %u:%a /tmp/.X11-unix) != 0:1777 ]]; then
            mkdir -p /tmp/.X11-unix && chown root:root /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
        fi
    fi
    cat >"$WAYLAND_TMP/sway.config" <<EOF
output HEADLESS-1 resolution ${_wayland_width}x${_wayland_height} position 0 0
xwayland force
EOF
    chmod 644 "$WAYLAND_TMP/sway.config"
    _wayland_spawn sway "${as_user[@]}" env XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" HOME="$WAYLAND_TMP" \
        WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WAYLAND_DISPLAY= DISPLAY= \
        sway --config "$WAYLAND_TMP/sway.config"
    WAYLAND_COMPOSITOR_PID=$_wayland_last_pid
    _wayland_until 10 compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" >/dev/null ||
        { _wayland_fail sway "sway did not start within 10 s"; return; }
    export SWAYSOCK
    SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -1)
    export WAYLAND_DISPLAY
    WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-* 2>/dev/null | grep -v lock | head -1)
    _wayland_find_xwayland 20 || { _wayland_fail sway "sway's XWayland did not come up within 20 s"; return; }
    _wayland_start_driver "$driver" "$_wayland_width" "$_wayland_height" ||
        { WAYLAND_ERROR="no virtual pointer on sway: $WAYLAND_ERROR"; return 1; }
    WAYLAND_POINTER=wlroots
}

_wayland_start_kwin() {
    command -v kwin_wayland >/dev/null || { _wayland_skip "kwin_wayland is not installed"; return; }
    local fake=${WAYLAND_KWIN_FAKE_INPUT:-}
    [[ -x $fake ]] || { WAYLAND_ERROR="no fake-input client (WAYLAND_KWIN_FAKE_INPUT: the build makes it)"; return 1; }
    _wayland_start_bus || return
    # KWin offers fake-input only to a program whose desktop file asks for it.
    mkdir -p "$WAYLAND_TMP/data/applications" "$WAYLAND_TMP/config" "$WAYLAND_TMP/cache"
    cat >"$WAYLAND_TMP/data/applications/belmora-fake-input.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Belmora test pointer
Exec=$(readlink -f "$fake")
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
EOF
    # The packaged binary carries a file capability (cap_sys_resource) that some
    # sandboxes refuse to exec: a copy carries none.
    cp /usr/bin/kwin_wayland "$WAYLAND_TMP/kwin_wayland"
    _wayland_spawn kwin env XDG_DATA_HOME="$WAYLAND_TMP/data" XDG_CONFIG_HOME="$WAYLAND_TMP/config" \
        XDG_CACHE_HOME="$WAYLAND_TMP/cache" HOME="$WAYLAND_TMP" QT_QPA_PLATFORM= DISPLAY= WAYLAND_DISPLAY= \
        KWIN_COMPOSE=Q "$WAYLAND_TMP/kwin_wayland" --virtual --xwayland --no-lockscreen --no-global-shortcuts \
        --no-kactivities --width "$_wayland_width" --height "$_wayland_height" --socket wayland-belmora
    WAYLAND_COMPOSITOR_PID=$_wayland_last_pid
    export WAYLAND_DISPLAY=wayland-belmora
    _wayland_until 30 _wayland_bus_name_owned org.kde.KWin ||
        { _wayland_fail kwin "kwin_wayland did not come on the session bus within 30 s"; return; }
    _wayland_find_xwayland 20 || { _wayland_fail kwin "kwin_wayland's XWayland did not come up within 20 s"; return; }
    _wayland_start_driver "$fake" || { WAYLAND_ERROR="no fake input on kwin_wayland: $WAYLAND_ERROR"; return 1; }
    WAYLAND_POINTER=kwin
}

# mutter and gnome-shell: NAME is the program.
_wayland_start_mutter() {
    local prog=$1
    command -v "$prog" >/dev/null || { _wayland_skip "$prog is not installed"; return; }
    local p
    for p in pipewire wireplumber; do
        command -v $p >/dev/null || { _wayland_skip "$p is not installed"; return; }
    done
    # Debian's own python3, whatever else is first on PATH, with python3-gi.
    /usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null || { _wayland_skip "python3-gi is not installed"; return; }
    _wayland_start_bus || return
    mkdir -p "$WAYLAND_TMP/config" "$WAYLAND_TMP/cache" "$WAYLAND_TMP/data"
    local -a envs=(HOME="$WAYLAND_TMP" XDG_CONFIG_HOME="$WAYLAND_TMP/config" XDG_CACHE_HOME="$WAYLAND_TMP/cache"
                   XDG_DATA_HOME="$WAYLAND_TMP/data" DISPLAY= WAYLAND_DISPLAY=)
    # Screen casts (which the remote-desktop pointer needs) go through PipeWire.
    _wayland_spawn pipewire env "${envs[@]}" pipewire
    _wayland_until 5 test -S "$XDG_RUNTIME_DIR/pipewire-0" ||
        { _wayland_fail pipewire "pipewire did not start within 5 s"; return; }
    _wayland_spawn wireplumber env "${envs[@]}" wireplumber
    # GNOME Shell also asks logind on the system bus, and cannot start when
    # there is no system bus at all: it gets the private bus, where nobody
    # answers for logind.
    [[ $prog == gnome-shell ]] && envs+=(DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
    _wayland_spawn "$prog" env "${envs[@]}" GSETTINGS_BACKEND=memory \
        "$prog" --headless --wayland --virtual-monitor "${_wayland_width}x${_wayland_height}" \
        --wayland-display wayland-belmora
    WAYLAND_COMPOSITOR_PID=$_wayland_last_pid
    export WAYLAND_DISPLAY=wayland-belmora
    _wayland_until 60 _wayland_bus_name_owned org.gnome.Mutter.RemoteDesktop ||
        { _wayland_fail "$prog" "$prog did not come on the session bus within 60 s"; return; }
    _wayland_find_xwayland 30 || { _wayland_fail "$prog" "$prog's XWayland did not come up within 30 s"; return; }
    # The pointer: a remote-desktop session held open by a small D-Bus client.
    _wayland_start_driver /usr/bin/python3 "$_wayland_dir/../../tests/e2e/wayland/mutter_remote_desktop.py" ||
        { WAYLAND_ERROR="no remote-desktop session on $prog: $WAYLAND_ERROR"; return 1; }
    WAYLAND_POINTER=mutter
    [[ $prog == gnome-shell ]] || return 0
    # GNOME Shell opens its overview once it has started: Escape leaves it.
    local i
    for ((i = 0; i < 300; i++)); do
        grep -q 'GNOME Shell started' "$WAYLAND_TMP/$prog.log" && break
        sleep 0.1
    done
    for ((i = 0; i < 50; i++)); do
        _wayland_overview_active || return 0
        ((i % 10 == 0)) && { wayland_key 1 press && wayland_key 1 release; } >/dev/null
        sleep 0.1
    done
    _wayland_fail gnome-shell "GNOME Shell's overview stays open"
}

_wayland_overview_active() {
    dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell org.freedesktop.DBus.Properties.Get \
        string:org.gnome.Shell string:OverviewActive 2>/dev/null | grep -q 'boolean true'
}

wayland_start() {
    local name=$1
    shift
    while (($#)); do
        case $1 in
            --size) _wayland_width=${2%x*} _wayland_height=${2#*x}; shift ;;
            *) echo "wayland_start: unknown option $1" >&2; return 2 ;;
        esac
        shift
    done
    command -v Xwayland >/dev/null || { _wayland_skip "Xwayland is not installed"; return; }
    WAYLAND_NAME=$name
    WAYLAND_TMP=$(mktemp -d /tmp/belmora-wl.XXXXXX)
    chmod 755 "$WAYLAND_TMP"
    cleanup_add wayland_stop
    mkdir -m 700 "$WAYLAND_TMP/run"
    export XDG_RUNTIME_DIR=$WAYLAND_TMP/run
    unset DBUS_SESSION_BUS_ADDRESS
    case $name in
        weston) _wayland_start_weston headless ;;
        weston-x11) _wayland_start_weston x11 ;;
        sway) _wayland_start_sway ;;
        kwin) _wayland_start_kwin ;;
        mutter | gnome-shell) _wayland_start_mutter "$name" ;;
        *) echo "wayland_start: unknown compositor $name" >&2; return 2 ;;
    esac
}

wayland_pointer_move() {
    case $WAYLAND_POINTER in
        wlroots | kwin | mutter) _wayland_drive move "$1" "$2" ;;
        xvfb) DISPLAY=$WAYLAND_HOST_DISPLAY xdotool mousemove "$1" "$2" ;;
        *) return 2 ;;
    esac
}

wayland_pointer_click() {
    case $WAYLAND_POINTER in
        wlroots | kwin | mutter) _wayland_drive click ;;
        xvfb) DISPLAY=$WAYLAND_HOST_DISPLAY xdotool click 1 ;;
        *) return 2 ;;
    esac
}

# A key pressed or released from the Wayland side (evdev code, 1 = Escape);
# kwin, mutter and gnome-shell offer it here.
wayland_key() {
    case $WAYLAND_POINTER in
        kwin | mutter) _wayland_drive key "$1" "$2" ;;
        *) return 2 ;;
    esac
}

wayland_stop() {
    if [[ -n $_wayland_rd_in ]]; then
        exec {_wayland_rd_in}>&-
        exec {_wayland_rd_out}<&-
        _wayland_rd_in= _wayland_rd_out=
    fi
    local i
    for ((i = ${#_wayland_pids[@]} - 1; i >= 0; i--)); do
        stop_pid "${_wayland_pids[i]}"
    done
    _wayland_pids=()
    _wayland_sway_user=
    WAYLAND_COMPOSITOR_PID=
    local left=0
    if [[ -n $WAYLAND_TMP ]]; then
        # What the compositor started itself, and outlived it, is still ours.
        local -a strays
        mapfile -t strays < <(_wayland_strays)
        if ((${#strays[@]})); then
            left=1
            for i in "${strays[@]}"; do
                echo "wayland_stop: left running: $i $(tr '\0' ' ' <"/proc/$i/cmdline" 2>/dev/null)" >&2
                kill -KILL "$i" 2>/dev/null
            done
        fi
        rm -rf "$WAYLAND_TMP"
        WAYLAND_TMP=
    fi
    return "$left"
}

# Live processes that run with the private runtime folder, but this shell's own.
_wayland_strays() {
    local file pid state ppid
    for file in $(grep -lszxF "XDG_RUNTIME_DIR=$WAYLAND_TMP/run" /proc/[0-9]*/environ); do
        pid=${file#/proc/}
        pid=${pid%/environ}
        read -r state ppid < <(awk '{print $3, $4}' "/proc/$pid/stat" 2>/dev/null) || continue
        [[ $state == Z ]] && continue
        # This shell, its subshells and what they run.
        while [[ -n $ppid && $ppid != 0 && $ppid != 1 && $ppid != "$$" ]]; do
            ppid=$(awk '{print $4}' "/proc/$ppid/stat" 2>/dev/null)
        done
        [[ $pid == "$$" || $ppid == "$$" ]] && continue
        echo "$pid"
    done
}
