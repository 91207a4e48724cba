#!/usr/bin/env bash
# Runs a Windows program under wine on a private X server, then stops what it
# started (the prefix's wineserver, the X server, the window manager).
#
#   run_in_wine_session.sh --prefix PREFIX [--wm] -- program.exe [args...]
#
# --wm  also run openbox. The exit status is the program's.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
lib=$here/../../../scripts/lib
source "$lib/xsession.sh"
source "$lib/wine.sh"

prefix= wm=()
while (($#)); do
    case $1 in
        --prefix) prefix=$2; shift ;;
        --wm) wm=(--wm) ;;
        --) shift; break ;;
        *) break ;;
    esac
    shift
done
[[ -n $prefix && $# -gt 0 ]] || { echo "usage: $0 --prefix PREFIX [--wm] -- program [args]" >&2; exit 2; }

wine_prefix_ensure "$prefix" || exit 1
xsession_start "${wm[@]}" || exit 1
wine_use "$prefix"
cleanup_add "wine_stop '$prefix'"  # runs before the X server goes
# wine's defaults, whatever a test before left in the shared prefix
wine_x11_driver Managed=Y UseXRandR=Y || exit 1

# Output through a pipe: wine treats a terminal as a console of its own.
wine "$@" </dev/null 2>&1 | cat
exit "${PIPESTATUS[0]}"
