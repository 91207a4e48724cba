#!/usr/bin/env bash
# Sends every case of key_table.txt to a key probe (key_probe.h) and checks the
# characters its backend reports. The setup it makes: a private Xvfb with no
# window manager, the Italian keyboard layout (it has AltGr), the probe's window
# focused, keys sent through XTEST (xdotool), so that they go through the
# backend's whole translation: xkb and Qt, or wine and TranslateMessage.
#
#   key_table_test.sh [--wine PREFIX] [--table FILE] -- probe [args...]
#
# --wine PREFIX  the probe is a Windows program: run it under wine in PREFIX
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
lib=$here/../../scripts/lib
source "$lib/xsession.sh"
source "$lib/wine.sh"

prefix= table=$here/key_table.txt layout=it
while (($#)); do
    case $1 in
        --wine) prefix=$2; shift ;;
        --table) table=$2; shift ;;
        --) shift; break ;;
        *) break ;;
    esac
    shift
done
(($#)) || { echo "usage: $0 [--wine PREFIX] [--table FILE] -- probe [args...]" >&2; exit 2; }
sentinel=x sentinel_code=120
caption='^belmora key probe$'

if [[ -n $prefix ]]; then
    wine_prefix_ensure "$prefix" || exit 1
fi
xsession_start || exit 1
# Before wine starts: it reads the layout once, when its first program starts.
setxkbmap -layout "$layout" || { echo "FAIL: setxkbmap could not set the layout $layout"; exit 1; }
work=$(mktemp -d /tmp/belmora-keys.XXXXXX)
cleanup_add "rm -rf '$work'"
out=$work/out err=$work/err
if [[ -n $prefix ]]; then
    wine_use "$prefix"
    cleanup_add "wine_stop '$prefix'"
    echo "setup: Xvfb $DISPLAY, no window manager, layout $layout, wine prefix $prefix"
    wine "$@" </dev/null >"$out" 2>"$err" &
else
    echo "setup: Xvfb $DISPLAY, no window manager, layout $layout"
    "$@" </dev/null >"$out" 2>"$err" &
fi
pid=$!
cleanup_add "stop_pid $pid"

fail() {
    echo "FAIL: $*"
    echo "--- the probe's output:"; lines
    echo "--- its errors:"; cat "$err"
    exit 1
}
# The probe's lines so far (a Windows program ends them with CR LF).
lines() { tr -d '\r' <"$out"; }
sentinels() { lines | grep -cx "key $sentinel_code"; }
# Waits up to $2 tenths of a second until the probe has reported $1 sentinels.
wait_sentinels() {
    local i
    for ((i = 0; i < $2; i++)); do
        (($(sentinels) >= $1)) && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

wid=
for ((i = 0; i < 300; i++)); do
    if lines | grep -qx ready; then
        wid=$(xdotool search --onlyvisible --name "$caption" 2>/dev/null | head -n1)
        [[ -n $wid ]] && break
    fi
    kill -0 "$pid" 2>/dev/null || fail "the probe ended early"
    sleep 0.1
done
[[ -n $wid ]] || fail "no probe window within 30 s"
timeout 10 xdotool windowfocus --sync "$wid" || fail "the probe window did not take the focus"
# The first marker shows that keys reach the window.
xdotool key "$sentinel"
wait_sentinels 1 100 || fail "a key sent to the focused window did not arrive within 10 s"

mapfile -t lines < <(sed -e 's/#.*//' -e 's/[[:space:]]*$//' "$table" | grep -v '^[[:space:]]*$')
keys=() expected=()
for line in "${lines[@]}"; do
    read -r -a fields <<<"$line"
    ((${#fields[@]} >= 2)) || fail "bad line in $table: $line"
    expected+=("${fields[-1]}")
    unset 'fields[-1]'
    keys+=("${fields[*]}")
done

n=${#keys[@]}
for ((c = 0; c < n; c++)); do
    # shellcheck disable=SC2086  # one case may be several keys
    xdotool key --delay 30 ${keys[c]} "$sentinel"
    wait_sentinels $((c + 2)) 100 || fail "no marker after case '${keys[c]}' within 10 s"
done

# What arrived between one marker and the next, per case.
mapfile -t got < <(awk -v s="$sentinel_code" '
    $1 == "key" && $2 == s { if (n++) print (acc == "" ? "none" : acc); acc = ""; next }
    $1 == "key" { acc = acc == "" ? $2 : acc "," $2 }' < <(lines))

failed=0
for ((c = 0; c < n; c++)); do
    if [[ ${got[c]} == "${expected[c]}" ]]; then
        printf 'ok    %-32s %s\n' "${keys[c]}" "${got[c]}"
    else
        printf 'FAIL  %-32s expected %s, got %s\n' "${keys[c]}" "${expected[c]}" "${got[c]}"
        failed=$((failed + 1))
    fi
done
echo "$((n - failed)) of $n cases as Windows gives them"
((failed == 0))
