# shellcheck shell=bash
# A private PulseAudio server for tests: a null sink behind a socket of our own.
#
#   source scripts/lib/pulse.sh
#   pulse_start     start the daemon, export PULSE_SERVER=unix:<socket>
#   pulse_stop      stop it by PID (also run at exit)
#
# After pulse_start: PULSE_PID, PULSE_SOCKET, PULSE_SINK (the null sink's name;
# its monitor source, "$PULSE_SINK.monitor", records what is played). The daemon keeps its runtime and
# state files in a temporary directory, so it never meets the user's own server.

_pulse_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=cleanup.sh
source "$_pulse_lib_dir/cleanup.sh"

PULSE_PID=
PULSE_SOCKET=
PULSE_SINK=belmora_null
_pulse_tmp=

pulse_start() {
    _pulse_tmp=$(mktemp -d /tmp/belmora-pulse.XXXXXX)
    cleanup_add pulse_stop
    mkdir -p "$_pulse_tmp/run" "$_pulse_tmp/state" "$_pulse_tmp/config"
    chmod 700 "$_pulse_tmp/run"
    PULSE_SOCKET=$_pulse_tmp/native
    cat >"$_pulse_tmp/server.pa" <<EOF
load-module module-null-sink sink_name=$PULSE_SINK
set-default-sink $PULSE_SINK
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_SOCKET
EOF
    local -a env=(
        HOME="$_pulse_tmp" XDG_RUNTIME_DIR="$_pulse_tmp/run"
        XDG_CONFIG_HOME="$_pulse_tmp/config" PULSE_RUNTIME_PATH="$_pulse_tmp/run"
        PULSE_STATE_PATH="$_pulse_tmp/state" PULSE_SERVER= DBUS_SESSION_BUS_ADDRESS=disabled:
    )
    if ! env "${env[@]}" pulseaudio --system=no --daemonize=yes --exit-idle-time=-1 \
        --use-pid-file=yes -n -F "$_pulse_tmp/server.pa" \
        --log-target=file:"$_pulse_tmp/pulse.log" >/dev/null 2>&1; then
        echo "pulse_start: pulseaudio did not start:" >&2
        cat "$_pulse_tmp/pulse.log" >&2 2>/dev/null
        return 1
    fi

    local i
    for ((i = 0; i < 100; i++)); do
        [[ -s $_pulse_tmp/run/pid ]] && PULSE_PID=$(tr -dc 0-9 <"$_pulse_tmp/run/pid")
        if [[ -n $PULSE_PID && -S $PULSE_SOCKET ]] &&
            PULSE_SERVER="unix:$PULSE_SOCKET" pactl info >/dev/null 2>&1; then
            export PULSE_SERVER="unix:$PULSE_SOCKET"
            return 0
        fi
        sleep 0.1
    done
    echo "pulse_start: the server did not answer on $PULSE_SOCKET:" >&2
    cat "$_pulse_tmp/pulse.log" >&2 2>/dev/null
    return 1
}

pulse_stop() {
    stop_pid "$PULSE_PID"
    PULSE_PID=
    if [[ -n $_pulse_tmp ]]; then
        rm -rf "$_pulse_tmp"
        _pulse_tmp=
    fi
}
