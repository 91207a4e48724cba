#!/usr/bin/env bash
# A whole run of the real program on its own X server (Xvfb + openbox) and
# sound server: click the banner, answer the greeting, check the crash page's
# colours, press seven keys, and see the program end with status 0 leaving no
# window behind.
#   x11_whole_run_test.sh PATH/TO/belmora [--no-sound] [--strace] [--session-bus] [--need-dbus-launch]
#                         [--wm=openbox|xfwm4] [--panel]
#     --no-sound          no sound server at all: one warning line, and the run completes
#     --strace            the run under strace: the program runs no other program,
#                         starts no process, creates or writes no file, and connects
#                         nowhere but to the X server, the sound server and the session bus
#     --session-bus       a private session bus, as on a desktop (without it the run
#                         has none: DBUS_SESSION_BUS_ADDRESS unset, no user bus socket)
#     --need-dbus-launch  dbus-launch must be installed (package dbus-x11, which
#                         ./scripts/test.sh installs): the setup where libdbus
#                         would start a bus of its own
#     --wm=NAME           the window manager (scripts/lib/xsession.sh), openbox by default
#     --panel             an Xfce panel along the top edge: the banner shows over it
#                         at the top-left corner, the page covers it
# Also checked: the banner first shows 81 x 28 at the top-left corner (or a
# few steps from it on the way to the cursor), unframed, above every other
# window; the page takes the keys without a click.
set -uo pipefail
belmora=${1:?usage: $0 PATH/TO/belmora [--no-sound] [--strace] [--session-bus] [--need-dbus-launch]}
shift
no_sound=0 traced=0 session_bus=0 need_dbus_launch=0 wm=--wm panel=()
for opt in "$@"; do
    case $opt in
        --no-sound) no_sound=1 ;;
        --strace) traced=1 ;;
        --session-bus) session_bus=1 ;;
        --need-dbus-launch) need_dbus_launch=1 ;;
        --wm=*) wm=$opt ;;
        --panel) panel=(--panel) ;;
        *) echo "unknown option $opt" >&2; exit 2 ;;
    esac
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xsession.sh"
source "$here/../../scripts/lib/pulse.sh"
source "$here/../../scripts/lib/xwait.sh"
source "$here/../../scripts/lib/page_end.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# libdbus runs dbus-launch from its own folder, else from the PATH.
dbus_launch=$( [[ -x /usr/bin/dbus-launch ]] && echo /usr/bin/dbus-launch || command -v dbus-launch || true)
((need_dbus_launch)) && [[ -z $dbus_launch ]] &&
    fail "dbus-launch is not installed: apt-get install dbus-x11 (./scripts/test.sh does)"

xsession_start "$wm" "${panel[@]}" || fail "no X session"
tmp=$(mktemp -d /tmp/belmora-e2e.XXXXXX)
cleanup_add "rm -rf '$tmp'"

# Whatever bus the machine or the caller's desktop has, the run sees only its own or none.
unset DBUS_SESSION_BUS_ADDRESS DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
bus_socket=
if ((session_bus)); then
    # A session bus of the run's own, with nothing it could start on request
    # (no service folders): what the program does on it is its own doing.
    bus_socket=$tmp/bus
    cat >"$tmp/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    dbus-daemon --config-file="$tmp/bus.conf" --nofork --print-address >"$tmp/bus.address" 2>"$tmp/bus.log" &
    bus_pid=$!
    cleanup_add "stop_pid $bus_pid"
    for ((i = 0; i < 100; i++)); do
        [[ -s $tmp/bus.address && -S $bus_socket ]] && break
        kill -0 "$bus_pid" 2>/dev/null || break
        sleep 0.1
    done
    [[ -s $tmp/bus.address && -S $bus_socket ]] || { cat "$tmp/bus.log" >&2; fail "the session bus did not start"; }
    export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$tmp/bus.address")
    echo "setup: a private session bus at $DBUS_SESSION_BUS_ADDRESS"
else
    echo "setup: no session bus; dbus-launch ${dbus_launch:-not installed}${dbus_launch:+ installed}"
fi
if ((no_sound)); then
    export PULSE_SERVER="unix:$tmp/no-such-socket"
else
    pulse_start || fail "no sound server"
fi

# The program runs with a private home and runtime folder, so that anything it
# wrote would show, and with the usual ones absent it has no excuse to write.
mkdir -p "$tmp/home/.config/pulse" "$tmp/run"
# As in a desktop session, the sound server's cookie is there already (libpulse
# opens it read-write, and would create it if it were missing).
head -c 256 /dev/urandom >"$tmp/home/.config/pulse/cookie"
files_before=$(find "$tmp/home" -type f -printf '%p %T@ %s\n' | sort)
chmod 700 "$tmp/run"
run=("$belmora")
((traced)) && run=(strace -f -qq -o "$tmp/trace" -e trace=%file,%network,%process "${run[@]}")
started_ns=$(date +%s%N)
env HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" "${run[@]}" >"$tmp/out" 2>"$tmp/err" &
pid=$!
cleanup_add "stop_pid $pid"

# The trace with the calls strace split across threads (<unfinished ...> and
# <... resumed>) joined again, one call a line.
joined_trace() {
    awk '/ <unfinished \.\.\.>$/ { p = $1; sub(/ <unfinished \.\.\.>$/, ""); pending[p] = $0; next }
         /<\.\.\. [a-z0-9_]+ resumed>/ && ($1 in pending) {
             rest = $0; sub(/^[^<]*<\.\.\. [a-z0-9_]+ resumed> ?/, "", rest)
             print pending[$1] rest; delete pending[$1]; next }
         { print }' "$tmp/trace" 2>/dev/null
}
# The processes (not threads) that the program and its children started.
started_pids() {
    joined_trace | grep -E '(^|[0-9] )(clone|clone3|fork|vfork)\(' | grep -v CLONE_THREAD |
        sed -nE 's/.* = ([0-9]+)$/\1/p'
}
# Those still alive under our strace (a stray dbus-daemon keeps strace -f waiting).
stray_pids() {
    local p
    for p in $(started_pids); do
        [[ $(awk '/^TracerPid:/ { print $2 }' "/proc/$p/status" 2>/dev/null) == "$pid" ]] && echo "$p"
    done
}
if ((traced)); then
    cleanup_add 'for p in $(stray_pids); do stop_pid "$p"; done'
fi

banner=$(wait_window 10 Form1) || fail "the banner did not appear"
# Where it first shows: the top-left corner, or as many 5 px steps from it
# towards the cursor (the screen's centre) on both axes as the ticks since the
# start allow: one every 10 ms at most (9 ms here, for a timer that fires a
# little early), however long finding the window took.
read -r bx by bw bh < <(window_geometry "$banner")
ticks=$((($(date +%s%N) - started_ns) / 9000000 + 1))
[[ $bw == 81 && $bh == 28 && $bx == "$by" && $bx -ge 0 && $((bx % 5)) == 0 && $bx -le $((5 * ticks)) ]] ||
    fail "the banner first shows ${bw}x${bh}+${bx}+${by} after at most $ticks ticks, not 81x28 at the top-left corner"
# Unframed: no window manager's frame around it.
[[ $(xwininfo -id "$banner" -tree | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p') == \
   "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" ]] ||
    [[ $(xprop -id "$banner" _NET_FRAME_EXTENTS) == *"= 0, 0, 0, 0"* ]] || fail "the banner has a frame"
# Above every other window: the highest mapped window of the screen.
highest() {
    local w
    for w in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
        xwininfo -id "$w" | grep -q 'Map State: IsViewable' && { echo $((w)); return; }
    done
}
[[ $(highest) == $((banner)) ]] || fail "the banner is not above the other windows"
xdotool mousemove 30 30
sleep 0.3
xdotool mousemove 20 20   # the banner comes to rest at 4,4 with the cursor in its catch box
sleep 0.5
if ((${#panel[@]})); then
    # Over the panel: the screen shows the banner's greeting ink there.
    ink=$(import -silent -window root -crop 81x28+4+4 -depth 8 txt:- 2>/dev/null | grep -ci '#8790AB')
    ((ink > 100)) || fail "the banner does not show over the panel ($ink greeting ink pixels at 4,4)"
fi
xdotool click 1
greeting=$(wait_window 10 Belmora) || fail "no greeting box after the click"
xdotool windowactivate --sync "$greeting" >/dev/null 2>&1 || true
xdotool key Return
page=$(wait_window 10 'Windows BSOD') || fail "the crash page did not open"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$page")"
[[ $X == 0 && $Y == 0 && $WIDTH == 1024 && $HEIGHT == 768 ]] ||
    fail "the page covers ${WIDTH}x${HEIGHT}+${X}+${Y}, not the screen"
xdotool search --onlyvisible --name '^Form1$' >/dev/null 2>&1 && fail "the banner is still there"
for corner in "0 0" "1023 0" "0 767" "1023 767" "512 10"; do
    [[ $(pixel $corner) == 0,0,128 ]] || fail "corner $corner is $(pixel $corner), not navy"
done
# "QuadriLume" sits on light grey: Frame1 at 210,162 px, the label 238,21 px inside it.
[[ $(pixel 450 185) == 192,192,192 ]] || fail "behind QuadriLume: $(pixel 450 185), not light grey"

# Traced, the program itself may end while strace waits for what it started.
strays_once_ended() {
    ((traced && $1 >= 20)) || return 0
    local main state strays p
    main=$(awk 'NR == 1 { print $1 }' "$tmp/trace")
    state=$(awk '/^State:/ { print $2 }' "/proc/$main/status" 2>/dev/null)
    strays=$(stray_pids | tr '\n' ' ')
    if [[ -n $main && ( -z $state || $state == Z ) && -n $strays ]]; then
        for p in $strays; do echo "still running: $p $(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null)" >&2; done
        fail "the program ended, leaving processes running: $strays"
    fi
}
page_end "$pid" strays_once_ended || fail "no closing greeting at the seventh key"
status=$PAGE_END_STATUS
if [[ -z $status ]]; then
    ((traced)) && strays=$(stray_pids | tr '\n' ' ') && [[ -n $strays ]] &&
        fail "the program did not end after the closing greeting; processes it started run: $strays"
    fail "the program did not end after the closing greeting"
fi
[[ $status == 0 ]] || { cat "$tmp/out" "$tmp/err" >&2; fail "exit status $status"; }
left=$(xdotool search --name '^(Form1|Windows BSOD|TimerForm|Belmora|BRUNDELMAR entry)$' 2>/dev/null | wc -l)
[[ $left == 0 ]] || fail "$left window(s) of the program remain"

if ((no_sound)); then
    lines=$(grep -c . "$tmp/err")
    [[ $lines == 1 ]] || { cat "$tmp/err" >&2; fail "$lines lines on stderr without a sound server, not one warning"; }
fi
if ((traced)); then
    # No other program: the one execve is the program's own start (a failed
    # attempt counts too: libdbus tries dbus-launch whether or not it is installed).
    others=$(joined_trace | grep -E '(^|[0-9] )execve(at)?\(' | grep -vF "execve(\"$belmora\"" || true)
    [[ -z $others ]] || { echo "$others" >&2; fail "the program ran (or tried to run) another program"; }
    started=$(started_pids | tr '\n' ' ')
    [[ -z $started ]] || fail "the program started processes: $started"
    # Files opened for writing or created, files removed or renamed, folders made.
    writes=$(joined_trace | grep -E 'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|(^|[0-9] )(creat|mkdir|mkdirat|unlink|unlinkat|rename|renameat2?|rmdir|link|linkat|symlink|symlinkat|truncate)\(' |
        grep -vE '= -1 E|"/dev/(null|tty|shm/|dri/)|"/proc/' || true)
    # A file that was there before and is unchanged after was opened, not written.
    files_after=$(find "$tmp/home" -type f -printf '%p %T@ %s\n' | sort)
    if [[ $files_before == "$files_after" ]]; then
        while read -r path _; do
            writes=$(grep -vF "\"$path\"" <<<"$writes" || true)
        done <<<"$files_before"
    fi
    [[ -z $writes ]] || { echo "$writes" >&2; fail "the program wrote to the file system"; }
    # Every connection: the X server's socket, the sound server's and the session bus's, nothing else.
    x_socket="/tmp/.X11-unix/X${XSESSION_DISPLAY#:}"
    connects=$(joined_trace | grep -E '(^|[0-9] )connect\(' || true)
    others=$(grep -vF "$x_socket" <<<"$connects" | grep -vF "${PULSE_SOCKET:-/nonexistent}" |
        grep -vF "sun_path=\"${bus_socket:-/nonexistent}\"" |
        grep -vE 'connect\([0-9]+, \{sa_family=AF_UNIX, sun_path=@"/tmp/.X11-unix/X' || true)
    [[ -z $others ]] || { echo "$others" >&2; fail "the program connected elsewhere"; }
    if ((session_bus)); then
        grep -qF "sun_path=\"$bus_socket\"" <<<"$connects" &&
            echo "the program connected to the session bus" || echo "the program did not use the session bus"
    fi
fi
echo "PASS: whole run on X11${no_sound:+}$( ((no_sound)) && echo ' without a sound server')$( ((traced)) && echo ' under strace')"
