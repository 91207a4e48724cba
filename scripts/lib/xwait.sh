# shellcheck shell=bash
# Small X helpers for tests and scripts that drive the real program.
#
#   wait_window SECS NAME [PID]   waits for a visible window named exactly NAME; prints
#                           its id; gives up at once when the process PID (if given) is gone
#   pixel X Y               the colour of one screen pixel, as "r,g,b"
#   window_geometry ID      "x y width height" of a window on the screen (xwininfo)
#   wait_geometry SECS ID "X Y W H"   waits for the window to have that geometry

wait_window() {
    local secs=$1 name=$2 pid=${3:-} i id
    for ((i = 0; i < secs * 10; i++)); do
        id=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | head -1)
        [[ -n $id ]] && { echo "$id"; return 0; }
        [[ -z $pid ]] || kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

pixel() {
    import -silent -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

window_geometry() {
    xwininfo -id "$1" 2>/dev/null | awk -F: '
        /Absolute upper-left X/ {x = $2} /Absolute upper-left Y/ {y = $2}
        /Width/ {w = $2} /Height/ {h = $2}
        END {printf "%d %d %d %d\n", x, y, w, h}'
}

wait_geometry() {
    local secs=$1 id=$2 want=$3 i
    for ((i = 0; i < secs * 10; i++)); do
        [[ $(window_geometry "$id") == "$want" ]] && return 0
        sleep 0.1
    done
    return 1
}
