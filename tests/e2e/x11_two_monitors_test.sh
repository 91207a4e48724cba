#!/usr/bin/env bash
# A whole run on two monitors side by side: a 2048 x 768 Xvfb split by RandR
# into the primary monitor (1024 x 768 at 0,0) and a second one (1024 x 768 at
# 1024,0), with openbox and no sound server. The banner follows the pointer onto
# the second monitor and comes to rest 16 px up and left of it; a click brings
# the greeting, Return the crash page, which covers exactly the primary monitor;
# seven keys, the closing greeting, and the program ends with status 0.
#   x11_two_monitors_test.sh PATH/TO/belmora [--primary-right]
#     --primary-right  the primary monitor is the right one (X 1024..2047): the
#                      program counts from its corner as Windows does, so the
#                      second monitor has negative coordinates; the banner
#                      starts at the primary's corner and chases onto the left
#                      monitor, the page still covers the primary
set -uo pipefail
belmora=${1:?usage: $0 PATH/TO/belmora [--primary-right]}
if [[ ${2:-} == --primary-right ]]; then
    monitors=(--monitor 'second=1024x768+0+0' --monitor '*primary=1024x768+1024+0')
    px=1024 cursor_x=500   # px: where the primary starts on the X screen
else
    monitors=(--monitor '*primary=1024x768+0+0' --monitor 'second=1024x768+1024+0')
    px=0 cursor_x=1500
fi
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xsession.sh"
source "$here/../../scripts/lib/xwait.sh"
source "$here/../../scripts/lib/page_end.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

xsession_start --wm --size 2048x768x24 "${monitors[@]}" || fail "no X session"
echo "Xvfb $DISPLAY with openbox, no sound server; monitors:"
xrandr --listmonitors | tail -n +2
tmp=$(mktemp -d /tmp/belmora-e2e.XXXXXX)
cleanup_add "rm -rf '$tmp'"
# No sound server: the tones are skipped with one warning.
PULSE_SERVER="unix:$tmp/no-such-socket" "$belmora" >"$tmp/out" 2>"$tmp/err" &
pid=$!
cleanup_add "stop_pid $pid"

xdotool mousemove $((px + 16)) 16  # the catch box's centre with the banner where it starts
banner=$(wait_window 10 Form1) || fail "the banner did not appear"
xdotool mousemove $cursor_x 400
wait_geometry 15 "$banner" "$((cursor_x - 16)) 384 81 28" ||
    fail "the banner rests at $(window_geometry "$banner"), not at $((cursor_x - 16)) 384 81 28 on the second monitor"
echo "the banner rests on the second monitor: $(window_geometry "$banner")"
xdotool click 1
greeting=$(wait_window 10 Belmora) || fail "no greeting box after the click"
xdotool windowactivate --sync "$greeting" >/dev/null 2>&1 || true
xdotool key Return
page=$(wait_window 10 'Windows BSOD') || fail "the crash page did not open"
wait_geometry 5 "$page" "$px 0 1024 768" ||
    fail "the page covers $(window_geometry "$page"), not the primary monitor ($px 0 1024 768)"
echo "the page covers the primary monitor: $(window_geometry "$page")"

page_end "$pid" || fail "no closing greeting at the seventh key"
[[ -n $PAGE_END_STATUS ]] || fail "the program did not end after the closing greeting"
[[ $PAGE_END_STATUS == 0 ]] || { cat "$tmp/out" "$tmp/err" >&2; fail "exit status $PAGE_END_STATUS"; }
echo "PASS: whole run on two monitors"
