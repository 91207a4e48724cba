#!/usr/bin/env bash
# Runs a command with a private PulseAudio server (a null sink behind a socket
# of our own; PULSE_SERVER is set, BELMORA_TEST_SINK names the sink), then
# stops what it started. No X server: the tone engine needs none.
#
#   run_with_pulse.sh command [args...]
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../../scripts/lib/pulse.sh"

echo "run_with_pulse: starting a private PulseAudio server (null sink)" >&2
pulse_start || exit 1
export BELMORA_TEST_SINK=$PULSE_SINK

# In the background, so that a TERM (ctest's timeout) runs the clean-up at once.
"$@" &
child=$!
cleanup_add "stop_pid $child"
wait "$child"
