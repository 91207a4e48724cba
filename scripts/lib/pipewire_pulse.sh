# shellcheck shell=bash
# A private PipeWire with its pulse server, for tests and benchmarks: pipewire,
# wireplumber and pipewire-pulse on a runtime directory of our own, and a null
# sink made through the pulse protocol.
#
#   source scripts/lib/pipewire_pulse.sh
#   pipewire_pulse_start   start the three, export PULSE_SERVER=unix:<socket>
#   pipewire_pulse_stop    stop them by PID (also run at exit)
#
# After pipewire_pulse_start: PIPEWIRE_PULSE_PIDS, PULSE_SERVER, PULSE_SINK
# (the null sink; "$PULSE_SINK.monitor" records what is played). When one of
# the programs is not installed it returns 2 with the reason in
# PIPEWIRE_PULSE_SKIP; any other failure returns 1. The daemons never meet the
# user's own: their runtime, configuration and state are in a temporary
# directory, with a session bus of their own (dbus-daemon).

_pipewire_pulse_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=cleanup.sh
source "$_pipewire_pulse_lib_dir/cleanup.sh"

PIPEWIRE_PULSE_PIDS=()
PIPEWIRE_PULSE_SKIP=
PULSE_SINK=belmora_null
_pipewire_pulse_tmp=

pipewire_pulse_start() {
    local p
    for p in pipewire wireplumber pipewire-pulse pactl dbus-daemon; do
        command -v $p >/dev/null || { PIPEWIRE_PULSE_SKIP="$p is not installed"; return 2; }
    done
    _pipewire_pulse_tmp=$(mktemp -d /tmp/belmora-pipewire.XXXXXX)
    cleanup_add pipewire_pulse_stop
    local t=$_pipewire_pulse_tmp
    mkdir -p "$t/run" "$t/config" "$t/state" "$t/cache"
    chmod 700 "$t/run"
    local -a env=(-u PULSE_SERVER -u PULSE_RUNTIME_PATH HOME="$t" XDG_RUNTIME_DIR="$t/run" XDG_CONFIG_HOME="$t/config" XDG_STATE_HOME="$t/state"
                  XDG_CACHE_HOME="$t/cache" PIPEWIRE_RUNTIME_DIR="$t/run"
                  DBUS_SESSION_BUS_ADDRESS="unix:path=$t/run/bus" DISPLAY= WAYLAND_DISPLAY=)
    local socket=$t/run/pulse/native i
    # WirePlumber wants a session bus: a private one.
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$t/run/bus" >"$t/dbus.log" 2>&1 &
    PIPEWIRE_PULSE_PIDS+=($!)
    for ((i = 0; i < 50; i++)); do [[ -S $t/run/bus ]] && break; sleep 0.1; done
    env "${env[@]}" pipewire >"$t/pipewire.log" 2>&1 &
    PIPEWIRE_PULSE_PIDS+=($!)
    for ((i = 0; i < 50; i++)); do [[ -S $t/run/pipewire-0 ]] && break; sleep 0.1; done
    [[ -S $t/run/pipewire-0 ]] || { echo "pipewire_pulse_start: pipewire did not start:" >&2; cat "$t/pipewire.log" >&2; return 1; }
    env "${env[@]}" wireplumber >"$t/wireplumber.log" 2>&1 &
    PIPEWIRE_PULSE_PIDS+=($!)
    env "${env[@]}" pipewire-pulse >"$t/pipewire-pulse.log" 2>&1 &
    PIPEWIRE_PULSE_PIDS+=($!)
    for ((i = 0; i < 100; i++)); do
        if [[ -S $socket ]] && PULSE_SERVER="unix:$socket" pactl info >/dev/null 2>&1; then
            export PULSE_SERVER="unix:$socket"
            pactl load-module module-null-sink sink_name="$PULSE_SINK" >/dev/null ||
                { echo "pipewire_pulse_start: no null sink" >&2; return 1; }
            # Streams go to it: it is the only sink, or made the default.
            for ((i = 0; i < 50; i++)); do
                [[ $(pactl list short sinks | awk '{ print $2 }') == "$PULSE_SINK" ]] && return 0
                pactl set-default-sink "$PULSE_SINK" 2>/dev/null && return 0
                sleep 0.1
            done
            echo "pipewire_pulse_start: the null sink is not where streams go:" >&2
            pactl list short sinks >&2
            return 1
        fi
        sleep 0.1
    done
    echo "pipewire_pulse_start: pipewire-pulse did not answer on $socket:" >&2
    cat "$t/pipewire-pulse.log" >&2
    return 1
}

pipewire_pulse_stop() {
    local i
    # The pulse server first, the graph and the bus last.
    for ((i = ${#PIPEWIRE_PULSE_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${PIPEWIRE_PULSE_PIDS[i]}"; done
    PIPEWIRE_PULSE_PIDS=()
    if [[ -n $_pipewire_pulse_tmp ]]; then
        rm -rf "$_pipewire_pulse_tmp"
        _pipewire_pulse_tmp=
    fi
}
