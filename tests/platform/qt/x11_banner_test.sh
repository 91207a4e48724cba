#!/usr/bin/env bash
# The banner of the real program on a real desktop: Xvfb, openbox, a private
# PulseAudio with a null sink.
#
#   x11_banner_test.sh path/to/belmora
#
# Checks: an 81 x 28 window of belmora is mapped, borderless, above the others
# (asked for, and the highest on the screen) and out of the taskbar; it chases the cursor and comes to rest 16 px above
# and left of it, showing the greeting picture; when the cursor runs away it
# shows the growl picture.
set -u
belmora=${1:?usage: x11_banner_test.sh path/to/belmora}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../../scripts/lib/xsession.sh"
source "$here/../../../scripts/lib/pulse.sh"

failures=0 passes=0
ok() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
    echo "$passes passed, $failures failed"
    ((failures == 0))
    exit
}

xsession_start --wm || exit 1
pulse_start || exit 1
work=$(mktemp -d /tmp/belmora-banner.XXXXXX)
cleanup_add "rm -rf '$work'"

"$belmora" >"$work/out.log" 2>&1 &
pid=$!
cleanup_add "stop_pid $pid"

# The banner appears after the 200 ms start-up tone.
win=
for ((i = 0; i < 100; i++)); do
    for w in $(xdotool search --pid "$pid" 2>/dev/null); do
        info=$(xwininfo -id "$w" 2>/dev/null) || continue
        if grep -q 'Map State: IsViewable' <<<"$info" &&
            grep -q 'Width: 81$' <<<"$info" && grep -q 'Height: 28$' <<<"$info"; then
            win=$w
            break 2
        fi
    done
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [[ -z $win ]]; then
    fail "no 81x28 window of belmora mapped"
    cat "$work/out.log"
    finish
fi
ok "81x28 window $win mapped"
xdotool mousemove_relative 1 1

state=$(xprop -id "$win" _NET_WM_STATE)
[[ $state == *_NET_WM_STATE_ABOVE* ]] && ok "above the others" || fail "not above: $state"
[[ $state == *_NET_WM_STATE_SKIP_TASKBAR* ]] && ok "out of the taskbar" || fail "in the taskbar: $state"
[[ $state == *_NET_WM_STATE_SKIP_PAGER* ]] && ok "out of the pager" || fail "in the pager: $state"
# No frame: the window manager leaves it alone (override-redirect), or frames it with nothing.
extents=$(xprop -id "$win" _NET_FRAME_EXTENTS)
if xwininfo -id "$win" | grep -q 'Override Redirect State: yes'; then
    ok "no frame (override-redirect)"
else
    [[ $extents == *"= 0, 0, 0, 0"* ]] && ok "no frame" || fail "framed: $extents"
fi
# Above the others: the highest mapped window on the screen.
for w in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
    xwininfo -id "$w" | grep -q 'Map State: IsViewable' || continue
    ((w == win)) && ok "highest window on the screen" || fail "$w is above the banner"
    break
done

position() {
    xwininfo -id "$win" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x "," y}'
}

# Pixels of a colour in the window's lower band (where the word is).
count_colour() {
    import -window "$win" "$work/shot.png" 2>/dev/null || { echo 0; return; }
    convert "$work/shot.png" -crop 81x14+0+14 +repage -depth 8 txt:- | grep -ci "$1"
}
GREETING_INK='#8790AB'   # steel blue-grey "AUGURI"
GROWL_INK='#DD604C'      # red-orange "GRRRRRR"

xdotool mousemove 500 400
rest=
for ((i = 0; i < 100; i++)); do
    if [[ $(position) == 484,384 ]]; then
        sleep 0.2
        [[ $(position) == 484,384 ]] && { rest=1; break; }
    fi
    sleep 0.1
done
[[ -n $rest ]] && ok "came to rest at 484,384" || fail "not at rest at 484,384 but at $(position)"

greeting=$(count_colour "$GREETING_INK") growl=$(count_colour "$GROWL_INK")
if ((greeting > 100 && growl == 0)); then
    ok "greeting picture while the cursor is caught ($greeting ink pixels)"
else
    fail "greeting picture expected: $greeting greeting, $growl growl ink pixels"
    cp "$work/shot.png" /tmp/belmora-banner-caught.png 2>/dev/null
fi

xdotool mousemove 1000 700
sleep 0.15
greeting=$(count_colour "$GREETING_INK") growl=$(count_colour "$GROWL_INK")
if ((growl > 50 && greeting == 0)); then
    ok "growl picture while chasing ($growl ink pixels)"
else
    fail "growl picture expected: $greeting greeting, $growl growl ink pixels"
    cp "$work/shot.png" /tmp/belmora-banner-chasing.png 2>/dev/null
fi
[[ $(position) != 484,384 ]] && ok "chasing (at $(position))" || fail "did not move towards the cursor"

if kill -0 "$pid" 2>/dev/null; then ok "still running"; else fail "belmora exited"; fi
if grep -q . "$work/out.log"; then
    echo "belmora said:"
    sed 's/^/  /' "$work/out.log"
fi
finish
