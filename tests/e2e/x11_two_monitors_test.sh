#!/usr/bin/env bash
# A whole run on two monitors side by side: a 2048 x 768 Xvfb split by RandR
# into the primary monitor (1024 x 768 at 0,0) and a second one (1024 x 768 at
# 1024,0), with openbox and no sound server. The banner follows the pointer onto
# the second monitor and comes to rest 16 px up and left of it; a click brings
# the greeting, Return the crash page, which covers exactly the primary monitor;
# seven keys, the closing greeting, and the program ends with status 0.
#   x11_two_monitors_test.sh PATH/TO/belmora
set -uo pipefail
belmora=${1:?usage: $0 PATH/TO/belmora}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xsession.sh"
source "$here/../../scripts/lib/xwait.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

xsession_start --wm --size 2048x768x24 \
    --monitor '*primary=1024x768+0+0' --monitor 'second=1024x768+1024+0' || fail "no X session"
echo "Xvfb $DISPLAY with openbox; monitors:"
xrandr --listmonitors | tail -n +2
tmp=$(mktemp -d /tmp/belmora-e2e.XXXXXX)
cleanup_add "rm -rf '$tmp'"
# No sound server: the tones are skipped with one warning.
PULSE_SERVER="unix:$tmp/no-such-socket" "$belmora" >"$tmp/out" 2>"$tmp/err" &
pid=$!
cleanup_add "stop_pid $pid"

banner=$(wait_window 10 Form1) || fail "the banner did not appear"
xdotool mousemove 1500 400
wait_geometry 15 "$banner" "1484 384 81 28" ||
    fail "the banner rests at $(window_geometry "$banner"), not at 1484 384 81 28 on the second monitor"
echo "the banner rests on the second monitor: $(window_geometry "$banner")"
xdotool click 1
greeting=$(wait_window 10 Belmora) || fail "no greeting box after the click"
xdotool windowactivate --sync "$greeting" >/dev/null 2>&1 || true
xdotool key Return
page=$(wait_window 10 'Windows BSOD') || fail "the crash page did not open"
wait_geometry 5 "$page" "0 0 1024 768" ||
    fail "the page covers $(window_geometry "$page"), not the primary monitor (0 0 1024 768)"
echo "the page covers the primary monitor: $(window_geometry "$page")"

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
echo "PASS: whole run on two monitors"
