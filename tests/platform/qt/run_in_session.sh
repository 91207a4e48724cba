#!/usr/bin/env bash
# Runs a command inside a private X session (and sound server), then stops
# what it started.
#
#   run_in_session.sh [--wm] [--pulse] -- command [args...]
#
# --wm     also run openbox (BELMORA_TEST_WM=1 tells the command, BELMORA_TEST_WM_PID its PID)
# --pulse  also run a private PulseAudio with a null sink (PULSE_SERVER is set;
#          BELMORA_TEST_SINK names the sink)
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
lib=$here/../../../scripts/lib
source "$lib/xsession.sh"
source "$lib/pulse.sh"

wm=() pulse=0
while (($#)); do
    case $1 in
        --wm) wm=(--wm) ;;
        --pulse) pulse=1 ;;
        --) shift; break ;;
        *) break ;;
    esac
    shift
done

xsession_start "${wm[@]}" || exit 1
export BELMORA_TEST_WM=$(( ${#wm[@]} > 0 ? 1 : 0 )) BELMORA_TEST_WM_PID=$XSESSION_WM_PID
if ((pulse)); then
    pulse_start || exit 1
    export BELMORA_TEST_SINK=$PULSE_SINK
else
    unset PULSE_SERVER BELMORA_TEST_SINK
fi

# In the background, so that a TERM (ctest's timeout) runs the clean-up at once
# instead of after the command ends by itself.
"$@" &
child=$!
cleanup_add "stop_pid $child"
wait "$child"
