#!/usr/bin/env bash
# With no X server to talk to, belmora says so in one line naming DISPLAY and
# exits with status 1 within a second; an empty QT_QPA_PLATFORM counts as unset.
#
#   no_display_test.sh path/to/belmora
set -u
belmora=${1:?usage: no_display_test.sh path/to/belmora}
failures=0 passes=0
ok() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A display number with no server behind it.
n=90
while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done

check() {
    local what=$1
    shift
    local err start end status
    err=$(mktemp)
    start=$(date +%s%N)
    env "$@" timeout 5 "$belmora" >/dev/null 2>"$err"
    status=$?
    end=$(date +%s%N)
    local ms=$(((end - start) / 1000000)) lines
    lines=$(grep -c '' "$err")
    ((status == 1)) && ok "$what: exit status 1" || fail "$what: exit status $status"
    ((ms < 1000)) && ok "$what: gave up in $ms ms" || fail "$what: took $ms ms"
    if ((lines == 1)) && grep -q 'DISPLAY=' "$err"; then
        ok "$what: one line naming DISPLAY: $(cat "$err")"
    else
        fail "$what: expected one line naming DISPLAY, got:"
        cat "$err"
    fi
    rm -f "$err"
}

check "display :$n" -u QT_QPA_PLATFORM DISPLAY=":$n"
check "DISPLAY unset" -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY
check "xcb asked for" QT_QPA_PLATFORM=xcb DISPLAY=":$n"
check "QT_QPA_PLATFORM empty, DISPLAY unset" -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=
check "QT_QPA_PLATFORM empty, display :$n" QT_QPA_PLATFORM= DISPLAY=":$n"

echo "$passes passed, $failures failed"
((failures == 0))
