#!/usr/bin/env bash
# The emulator through which ctest runs the Windows test programs: wine with no
# display, quiet, in the given prefix. The program's output and exit status
# are passed on.
#
#   wine-run.sh PREFIX program.exe [args...]
#
# Now and then wine gives up while starting a program, exiting at once with no
# output: a start that wrote nothing and failed is tried again (twice at most),
# saying so. A program that wrote anything keeps its status.
set -u
prefix=$1
shift
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${BELMORA_WINE:-wine}

out=$(mktemp /tmp/belmora-wine-run.XXXXXX) || exit 1
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
    "$wine" "$@" </dev/null >"$out" 2>&1
    status=$?
    cat "$out"
    if ((status != 0)) && [[ ! -s $out ]] && ((attempt < 3)); then
        echo "wine-run.sh: wine exited with $status before the program wrote anything; starting it again" >&2
        continue
    fi
    exit "$status"
done
