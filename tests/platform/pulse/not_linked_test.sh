#!/usr/bin/env bash
# The PulseAudio client library is opened when the first tone needs it, never
# linked: a program that lists it among its needed libraries pays for loading
# it (and the codecs it pulls in) at every start.
#
#   not_linked_test.sh PROGRAM...
set -u
status=0
for program in "$@"; do
    needed=$(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }') || { status=1; continue; }
    if grep -q '^libpulse' <<<"$needed"; then
        echo "FAIL: $program links $(grep '^libpulse' <<<"$needed" | tr '\n' ' ')" >&2
        status=1
    else
        echo "ok: $program does not link libpulse"
    fi
done
exit $status
