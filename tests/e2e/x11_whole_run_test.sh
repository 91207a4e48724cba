#!/usr/bin/env bash
# A whole run of the real program on its own X server (Xvfb + openbox) and
# sound server: click the banner, answer the greeting, check the crash page's
# colours, press seven keys, and see the program end with status 0 leaving no
# window behind.
#   x11_whole_run_test.sh PATH/TO/belmora [--no-sound] [--strace]
#     --no-sound  no sound server at all: one warning line, and the run completes
#     --strace    the run under strace: the program creates or writes no file and
#                 connects nowhere but to the X server and the sound server
set -uo pipefail
belmora=${1:?usage: $0 PATH/TO/belmora [--no-sound] [--strace]}
shift
no_sound=0 traced=0
for opt in "$@"; do
    case $opt in
        --no-sound) no_sound=1 ;;
        --strace) traced=1 ;;
        *) echo "unknown option $opt" >&2; exit 2 ;;
    esac
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xsession.sh"
source "$here/../../scripts/lib/pulse.sh"
source "$here/../../scripts/lib/xwait.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

xsession_start --wm || fail "no X session"
tmp=$(mktemp -d /tmp/belmora-e2e.XXXXXX)
cleanup_add "rm -rf '$tmp'"
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
run=(env HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" "$belmora")
((traced)) && run=(strace -f -qq -o "$tmp/trace" -e trace=%file,%network "${run[@]}")
"${run[@]}" >"$tmp/out" 2>"$tmp/err" &
pid=$!
cleanup_add "stop_pid $pid"

banner=$(wait_window 10 Form1) || fail "the banner did not appear"
xdotool mousemove 30 30
sleep 0.3
xdotool mousemove 20 20   # the banner comes to rest at 4,4 with the cursor in its catch box
sleep 0.5
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
for corner in "0 0" "1023 0" "0 767" "1023 767"; do
    [[ $(pixel $corner) == 0,0,128 ]] || fail "corner $corner is $(pixel $corner), not navy"
done
# "QuadriLume" sits on light grey: Frame1 at 210,162 px, the label 238,21 px inside it.
[[ $(pixel 450 185) == 192,192,192 ]] || fail "behind QuadriLume: $(pixel 450 185), not light grey"

for i in 1 2 3 4 5 6; do
    xdotool key a
    sleep 0.8
done
xdotool key a
closing=$(wait_window 10 'BRUNDELMAR entry') || fail "no closing greeting at the seventh key"
xdotool windowactivate --sync "$closing" >/dev/null 2>&1 || true
xdotool key Return

status=
for ((i = 0; i < 100; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"; status=$?
        break
    fi
    sleep 0.1
done
[[ -n $status ]] || fail "the program did not end after the closing greeting"
[[ $status == 0 ]] || { cat "$tmp/out" "$tmp/err" >&2; fail "exit status $status"; }
left=$(xdotool search --name '^(Form1|Windows BSOD|TimerForm|Belmora|BRUNDELMAR entry)$' 2>/dev/null | wc -l)
[[ $left == 0 ]] || fail "$left window(s) of the program remain"

if ((no_sound)); then
    lines=$(grep -c . "$tmp/err")
    [[ $lines == 1 ]] || { cat "$tmp/err" >&2; fail "$lines lines on stderr without a sound server, not one warning"; }
fi
if ((traced)); then
    # Files opened for writing or created, files removed or renamed, folders made.
    writes=$(grep -E 'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|(^|[0-9] )(creat|mkdir|mkdirat|unlink|unlinkat|rename|renameat2?|rmdir|link|linkat|symlink|symlinkat|truncate)\(' "$tmp/trace" |
        grep -vE '= -1 E|"/dev/(null|tty|shm/|dri/)|"/proc/' || true)
    # A file that was there before and is unchanged after was opened, not written.
    files_after=$(find "$tmp/home" -type f -printf '%p %T@ %s\n' | sort)
    if [[ $files_before == "$files_after" ]]; then
        while read -r path _; do
            writes=$(grep -vF "\"$path\"" <<<"$writes" || true)
        done <<<"$files_before"
    fi
    [[ -z $writes ]] || { echo "$writes" >&2; fail "the program wrote to the file system"; }
    # Every connection: the X server's socket and the sound server's, nothing else.
    x_socket="/tmp/.X11-unix/X${XSESSION_DISPLAY#:}"
    others=$(grep -E '(^|[0-9] )connect\(' "$tmp/trace" | grep -vF "$x_socket" | grep -vF "${PULSE_SOCKET:-/nonexistent}" |
        grep -vE 'connect\([0-9]+, \{sa_family=AF_UNIX, sun_path=@"/tmp/.X11-unix/X' || true)
    [[ -z $others ]] || { echo "$others" >&2; fail "the program connected elsewhere"; }
fi
echo "PASS: whole run on X11${no_sound:+}$( ((no_sound)) && echo ' without a sound server')$( ((traced)) && echo ' under strace')"
