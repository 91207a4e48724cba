#!/usr/bin/env bash
# A whole run of the real program on its own X server (Xvfb + openbox) and
# sound server: click the banner, answer the greeting, check the crash page's
# colours, press seven keys, and see the program end with status 0 leaving no
# window behind.
#   x11_whole_run_test.sh PATH/TO/belmora
set -uo pipefail
belmora=${1:?usage: $0 PATH/TO/belmora}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xsession.sh"
source "$here/../../scripts/lib/pulse.sh"
source "$here/../../scripts/lib/xwait.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

xsession_start --wm || fail "no X session"
pulse_start || fail "no sound server"
tmp=$(mktemp -d /tmp/belmora-e2e.XXXXXX)
cleanup_add "rm -rf '$tmp'"

"$belmora" >"$tmp/out" 2>&1 &
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
[[ $status == 0 ]] || { cat "$tmp/out" >&2; fail "exit status $status"; }
left=$(xdotool search --name '^(Form1|Windows BSOD|TimerForm|Belmora|BRUNDELMAR entry)$' 2>/dev/null | wc -l)
[[ $left == 0 ]] || fail "$left window(s) of the program remain"
echo "PASS: whole run on X11"
