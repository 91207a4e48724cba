# shellcheck shell=bash
# The end of a whole run of the real program on an X server: seven keys on the
# crash page, the closing greeting answered, the program's exit status.
#
#   source scripts/lib/xwait.sh; source scripts/lib/page_end.sh
#   page_end PID [HOOK]   presses seven keys on the page (0.8 s apart), waits for the
#                         closing greeting, answers it with Return and waits up to
#                         10 s for the program PID (a child of this shell) to end.
#                         PAGE_END_STATUS is then its exit status, empty when it did
#                         not end; false when the closing greeting did not come.
#                         HOOK, when given, is run with the tenths of a second
#                         waited so far, every tenth, while the program ends.

PAGE_END_STATUS=

page_end() {
    local pid=$1 hook=${2:-} i closing
    PAGE_END_STATUS=
    for i in 1 2 3 4 5 6 7; do
        ((i > 1)) && sleep 0.8
        xdotool key a
    done
    closing=$(wait_window 10 'BRUNDELMAR entry') || return 1
    xdotool windowactivate --sync "$closing" >/dev/null 2>&1 || true
    xdotool key Return
    for ((i = 0; i < 100; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            PAGE_END_STATUS=$?
            return 0
        fi
        [[ -n $hook ]] && "$hook" "$i"
        sleep 0.1
    done
    return 0
}
