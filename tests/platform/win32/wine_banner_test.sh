#!/usr/bin/env bash
# belmora.exe from start to end under wine, on a private X server with openbox:
# the banner appears at the top-left (81 x 28), chases the pointer and rests
# with it at the catch box's centre; a click brings the greeting box, Return
# the full-screen navy page; seven keys bring the last box, and dismissing it
# ends the program with status 0. Tones are silent under wine and not timed.
# The keys are typed wherever the X server's focus is, as a user's would be: the
# page must hold it, and so must the boxes (xdotool never activates them).
#
#   wine_banner_test.sh --prefix PREFIX [--unmanaged | --left-monitor] path/to/belmora.exe
#     --unmanaged     wine's windows are not managed by openbox (X11 Driver
#                     Managed=N): wine gives the focus itself, as Windows does
#     --left-monitor  a 2048 x 768 screen split into two monitors, the primary on
#                     the right: the left one has negative Windows coordinates;
#                     the banner chases the pointer there, the page covers the primary
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
lib=$here/../../../scripts/lib
source "$lib/xsession.sh"
source "$lib/wine.sh"
source "$lib/xwait.sh"

prefix='' managed=Y xrandr=Y session=(--wm)
ox=0  # where the primary monitor starts on the X screen: Windows' x = 0
while (($#)); do
    case $1 in
        --prefix) prefix=$2; shift ;;
        --unmanaged) managed=N ;;
        --left-monitor)
            session+=(--size 2048x768x24 --monitor 'L=1024x768+0+0' --monitor '*R=1024x768+1024+0')
            # Wine takes its monitors from XRandR's outputs, and Xvfb has one for
            # the whole screen; through Xinerama it sees the RandR monitors.
            xrandr=N ox=1024 ;;
        *) break ;;
    esac
    shift
done
usage="usage: $0 --prefix PREFIX [--unmanaged | --left-monitor] belmora.exe"
exe=${1:?$usage}
[[ -n $prefix ]] || { echo "$usage" >&2; exit 2; }

wine_prefix_ensure "$prefix" || exit 1
xsession_start "${session[@]}" || exit 1
wine_use "$prefix"
cleanup_add "wine_stop '$prefix'"
wine_x11_driver Managed=$managed UseXRandR=$xrandr || exit 1
echo "openbox runs; wine's windows managed: $managed; XRandR: $xrandr; primary monitor at x $ox"
log=$(mktemp /tmp/belmora-wine.XXXXXX)
cleanup_add "rm -f '$log'"

t0=$(date +%s%N)
elapsed() { echo "$(( ($(date +%s%N) - t0) / 1000000 )) ms"; }
fail() {
    echo "FAIL ($(elapsed)): $*"
    echo "--- wine's output:"
    cat "$log"
    exit 1
}

# With the pointer here, the banner's catch box is centred on it when the
# banner is at the top-left corner (it starts there and has no reason to move).
xdotool mousemove $((ox + 16)) 16

wine "$exe" </dev/null > >(cat >"$log") 2>&1 &
pid=$!
cleanup_add "stop_pid $pid"

banner=$(wait_window 30 Form1 "$pid") || fail "the banner did not appear"
echo "banner shown after $(elapsed)"
wait_geometry 5 "$banner" "$ox 0 81 28" || fail "banner at $(window_geometry "$banner"), not $ox 0 81 28"

xdotool mousemove 500 400  # with --left-monitor: on the left monitor, at Windows' x -524
wait_geometry 10 "$banner" "484 384 81 28" || fail "banner rests at $(window_geometry "$banner"), not 484 384 81 28"
echo "banner at rest under the pointer after $(elapsed)"
# The greeting picture (assets/greeting.xpm): its dark frame, then its blue band.
[[ $(pixel 484 384) == 52,30,88 && $(pixel 485 385) == 124,132,174 ]] ||
    fail "the banner does not show the greeting picture: $(pixel 484 384) $(pixel 485 385)"

xdotool click 1
box=$(wait_window 10 Belmora "$pid") || fail "no box captioned Belmora after the click"
echo "greeting box after $(elapsed): $(window_geometry "$box")"
# A window manager keeps it above; unmanaged, wine keeps the X stacking itself.
[[ $managed == N ]] || xprop -id "$box" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE ||
    fail "the box is not kept above the banner"

xdotool key Return
page=$(wait_window 10 'Windows BSOD' "$pid") || fail "no page after Return"
wait_geometry 5 "$page" "$ox 0 1024 768" || fail "page at $(window_geometry "$page"), not on the whole primary monitor"
for ((i = 0; i < 30; i++)); do  # until its first paint
    colour=$(pixel $((ox + 5)) 5)
    [[ $colour == 0,0,128 ]] && break
    sleep 0.1
done
[[ $colour == 0,0,128 ]] || fail "the page's corner is $colour, not navy"
echo "navy page after $(elapsed)"
# The banner is gone from the screen: its dark frame is no longer where it rested.
[[ $(pixel 484 384) != 52,30,88 ]] || fail "the banner is still shown"
[[ $managed == N ]] || xprop -id "$page" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR ||
    fail "the page has a taskbar entry"
xprop -id "$page" _NET_WM_ICON | grep -q 'Icon (32 x 32)' || fail "the page has no 32 x 32 icon"

# The page must hold the keyboard before the keys come, as a user sees the page
# and then types: wine hands the focus over a moment after the first paint.
for ((i = 0; i < 50; i++)); do
    [[ $(xdotool getwindowfocus 2>/dev/null) == "$page" ]] && break
    sleep 0.1
done
focus=$(xdotool getwindowfocus 2>/dev/null)
[[ $focus == "$page" ]] || fail "the page does not hold the keyboard: the focus is on $focus ($(xdotool getwindowname "$focus" 2>/dev/null))"
echo "page holds the keyboard after $(elapsed)"

for ((k = 1; k <= 7; k++)); do
    xdotool key space
    sleep 0.2
done
last=$(wait_window 10 'BRUNDELMAR entry' "$pid") || fail "no last box after seven keys"
echo "last box after $(elapsed)"
xdotool key Return

for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end"
wait "$pid"
status=$?
((status == 0)) || fail "the program ended with status $status"
echo "ended with status 0 after $(elapsed)"
