#!/usr/bin/env bash
# What a whole run of the real program sounds like. On its own X server
# (Xvfb + openbox) and its own PulseAudio (a null sink), belmora is driven
# through a whole run with xdotool while belmora_monitor_recorder records the
# sink's monitor, noting where its samples were in time; belmora_tone_analyser
# then checks every tone: the start-up tone, the growls
# while the cursor is out of reach, the chime of the click, the tones of the
# seven keys and the closing tones, in order, each within 1 % of its frequency
# and 2 ms of its length, none cut at its start, and no silence grown between
# the tones the program plays back to back (a chime's, a key's two). The time
# from each key press (xdotool's call) to its tone's onset in the recording is
# printed: an upper bound of the program's call-to-sound latency, as it also
# holds xdotool's start and the key's way through the X server and Qt.
#
# Then the same whole run with two busy loops on the machine's cores: every
# tone must still be there and exact. There the program's own thread can be
# late to its next call by tens of milliseconds, and the tone engine keeps
# such pauses: gaps are not bounded, and the key presses' times are printed
# only. The engine's own latency and gaps under load are checked where its
# calls are known (tone_engine_test.cpp) and measured by scripts/bench.sh.
#
#   recorded_run_test.sh PATH/TO/belmora PATH/TO/belmora_tone_analyser PATH/TO/belmora_monitor_recorder
#
# A busy machine can make the sound server skip and the recording lose
# samples: that is seen from the recorder's time map (the samples against the
# wall clock), and only then is the whole run made again (twice at most).
# Anything else wrong with the recording fails the test at once.
set -uo pipefail
belmora=${1:?usage: $0 PATH/TO/belmora PATH/TO/belmora_tone_analyser}
analyser=${2:?usage: $0 PATH/TO/belmora PATH/TO/belmora_tone_analyser PATH/TO/belmora_monitor_recorder}
recorder=${3:?usage: $0 PATH/TO/belmora PATH/TO/belmora_tone_analyser PATH/TO/belmora_monitor_recorder}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/xsession.sh"
source "$here/../../scripts/lib/pulse.sh"
source "$here/../../scripts/lib/xwait.sh"

# A failed run leaves its recording behind, for belmora_tone_analyser --list.
fail() {
    echo "FAIL: $*" >&2
    if [[ -s ${work:-}/run.raw ]]; then
        local keep; keep=$(mktemp -d /tmp/belmora-audio-failed.XXXXXX)
        cp "$work/run.raw" "$work/run.times" "$work/presses" "$work/out" "$keep/" 2>/dev/null
        echo "the recording is kept in $keep/run.raw" >&2
    fi
    exit 1
}
now() { date +%s.%N; }
rate=48000

xsession_start --wm || fail "no X session"
pulse_start || fail "no sound server"
work=$(mktemp -d /tmp/belmora-audio.XXXXXX)
cleanup_add "rm -rf '$work'"

# Where the banner is, as "x,y".
banner_at() {
    xdotool search --onlyvisible --name '^Form1$' getwindowgeometry 2>/dev/null |
        sed -n 's/ *Position: \([0-9]*,[0-9]*\).*/\1/p' | head -1
}

# Starts the recorder; returns once samples flow (an idle null sink can take
# seconds to hand over its first block).
rec_pid=
record() {
    local file=$1 i
    "$recorder" "$PULSE_SINK.monitor" "$file" "${file%.raw}.times" 2>"$work/recorder.err" &
    rec_pid=$!
    cleanup_add "stop_pid $rec_pid"
    for ((i = 0; i < 500; i++)); do
        [[ -s ${file%.raw}.times ]] && return 0
        sleep 0.02
    done
    cat "$work/recorder.err" >&2
    return 1
}

# One whole run, recorded. Returns 0 with the recording in $work/run.raw,
# 3 when the recorder lost samples, 1 when the run itself went wrong.
run_once() {
    record "$work/run.raw" || { echo "the recorder never started" >&2; return 1; }
    sleep 2  # an idle null sink finishes its long block before the program comes

    "$belmora" >"$work/out" 2>&1 &
    local pid=$! status= i
    cleanup_add "stop_pid $pid"
    wait_window 10 Form1 >/dev/null || { echo "the banner did not appear" >&2; return 1; }
    # Out of reach for a while: the banner growls at every step.
    xdotool mousemove 1000 740
    sleep 1.2
    # Then at rest with the cursor in its catch box, silent.
    xdotool mousemove 30 30; sleep 0.3
    xdotool mousemove 20 20
    for ((i = 0; i < 50; i++)); do [[ $(banner_at) == 4,4 ]] && break; sleep 0.1; done
    [[ $(banner_at) == 4,4 ]] || { echo "the banner did not come to rest: $(banner_at)" >&2; return 1; }
    sleep 0.5
    xdotool click 1
    local box; box=$(wait_window 10 Belmora) || { echo "no greeting after the click" >&2; return 1; }
    xdotool windowactivate --sync "$box" >/dev/null 2>&1
    xdotool key Return
    wait_window 10 'Windows BSOD' >/dev/null || { echo "no crash page" >&2; return 1; }
    sleep 0.5
    : >"$work/presses"
    for ((i = 0; i < 6; i++)); do now >>"$work/presses"; xdotool key a; sleep 0.8; done
    now >>"$work/presses"
    xdotool key a
    box=$(wait_window 10 'BRUNDELMAR entry') || { echo "no closing greeting" >&2; return 1; }
    xdotool windowactivate --sync "$box" >/dev/null 2>&1
    xdotool key Return
    for ((i = 0; i < 100; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; break; fi
        sleep 0.1
    done
    [[ -n $status ]] || { echo "the program did not end" >&2; return 1; }
    [[ $status == 0 ]] || { cat "$work/out" >&2; echo "exit status $status" >&2; return 1; }
    ! grep -q 'server audio' "$work/out" || { cat "$work/out" >&2; echo "the program found no sound server" >&2; return 1; }

    sleep 0.5  # the last tone's tail
    kill -INT "$rec_pid"
    wait "$rec_pid" 2>/dev/null
    # Once awake, the monitor gives `rate` samples a second whatever happens;
    # fewer in the recording than the time it ran means samples were lost.
    # (An idle null sink's first block comes at its own pace: the first 2.5 s,
    # before the program started, are left out.)
    local missing; missing=$(awk -v r=$rate '$1 >= 2.5 * r && !n0 { n0 = $1; t0 = $2 } { n1 = $1; t1 = $2 }
        END { printf "%d", ((t1 - t0) * r - (n1 - n0)) * 1000 / r }' "$work/run.times")
    echo "recorded $(($(stat -c %s "$work/run.raw") / 2)) samples; against the wall clock $missing ms missing"
    if ((missing > 60)); then
        echo "the recording lost ${missing} ms of samples" >&2
        return 3
    fi
    return 0
}

# run_checked MAX-GAP-MS: a whole run, made again only when the recording lost
# samples (-1: gaps not bounded).
run_checked() {
    local attempt result
    for attempt in 1 2 3; do
        run_once
        result=$?
        ((result == 3)) && { echo "run $attempt: the recorder dropped samples: running again" >&2; continue; }
        ((result == 0)) || fail "the run went wrong"
        "$analyser" --min-growls 20 --max-gap-ms "$1" --times "$work/run.times" --presses "$work/presses" \
            "$work/run.raw" || fail "the recorded tones are wrong"
        return 0
    done
    fail "the recorder kept losing samples: no whole recording in 3 runs"
}

# The program plays a chime's tones, and a key's two, one call right after
# the other; a busy machine can make its thread a few milliseconds late to
# the next call (and the tone engine keeps that pause). Beyond that, silence
# there is a stream that ran dry.
run_checked 30
echo "PASS: a whole run heard from the sink"

echo "the same run with two busy loops beside it"
yes >/dev/null &
busy1=$!
yes >/dev/null &
busy2=$!
cleanup_add "stop_pid $busy1; stop_pid $busy2"
run_checked -1
stop_pid "$busy1"
stop_pid "$busy2"
echo "PASS: a whole run under load, every tone there and exact"
