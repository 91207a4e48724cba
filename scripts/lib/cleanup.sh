# shellcheck shell=bash
# Exit-time clean-up shared by the session helpers (xsession.sh, pulse.sh).
#
#   cleanup_add 'command ...'   run the command when the shell exits (last added, first run)
#   cleanup_run                 run them now (also what the EXIT trap does)
#
# Sourcing this installs an EXIT trap; INT and TERM end the shell through it.

if ! declare -F cleanup_add >/dev/null; then
    _cleanup_cmds=()

    cleanup_add() {
        _cleanup_cmds+=("$1")
    }

    cleanup_run() {
        local i
        for ((i = ${#_cleanup_cmds[@]} - 1; i >= 0; i--)); do
            eval "${_cleanup_cmds[i]}" || true
        done
        _cleanup_cmds=()
    }

    # Stops one process by PID: TERM, then KILL after a grace period (tenths of a second).
    stop_pid() {
        local pid=$1 grace=${2:-30} i
        [[ -n $pid ]] || return 0
        kill -0 "$pid" 2>/dev/null || return 0
        kill -TERM "$pid" 2>/dev/null || true
        # A stopped process would act on it only once continued.
        kill -CONT "$pid" 2>/dev/null || true
        for ((i = 0; i < grace; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
        # Reap it when it is our child; harmless otherwise.
        wait "$pid" 2>/dev/null || true
    }

    trap 'cleanup_run' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
fi
