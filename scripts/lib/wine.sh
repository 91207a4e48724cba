# shellcheck shell=bash
# Wine prefixes for running the Windows build on Linux.
#
#   source scripts/lib/wine.sh
#   wine_prefix_ensure PREFIX   make the prefix once (safe to call from parallel jobs)
#   wine_use PREFIX             export WINEPREFIX and quiet settings for wine in this shell
#   wine_stop PREFIX            stop the prefix's wineserver and every program in it
#   wine_x11_driver NAME=VALUE...  set values of HKCU\Software\Wine\X11 Driver in the
#                               prefix in use (wine_use), e.g. Managed=N UseXRandR=Y
#
# A prefix made here has wine's own bitmap fonts (Fixedsys, System, MS Sans
# Serif...) in C:\windows\Fonts, as a Windows installation has them: Debian's
# wine does not put them there by itself.

WINE_FONTS_DIR=${WINE_FONTS_DIR:-/usr/share/wine/fonts}

wine_use() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
    unset WINEARCH
}

wine_prefix_ensure() {
    local prefix=$1
    [[ -f $prefix/.belmora-ready ]] && return 0
    mkdir -p "$(dirname "$prefix")"
    (
        # One maker at a time; the others wait and find it made.
        exec {lock}>"$prefix.lock"
        flock "$lock"
        [[ -f $prefix/.belmora-ready ]] && exit 0
        wine_use "$prefix"
        if ! env -u DISPLAY -u WAYLAND_DISPLAY wine wineboot --init </dev/null >"$prefix.log" 2>&1; then
            echo "wine_prefix_ensure: wineboot failed for $prefix:" >&2
            cat "$prefix.log" >&2
            exit 1
        fi
        wineserver -w
        local fonts=$prefix/drive_c/windows/Fonts f
        mkdir -p "$fonts"
        for f in "$WINE_FONTS_DIR"/*.fon "$WINE_FONTS_DIR"/*.ttf; do
            [[ -e $f && ! -e $fonts/${f##*/} ]] && cp "$f" "$fonts/"
        done
        touch "$prefix/.belmora-ready"
    )
}

wine_stop() {
    local prefix=$1
    [[ -d $prefix ]] || return 0
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
}

# Settings of wine's X11 driver. A prefix shared by several tests gets every
# value a test relies on written afresh, defaults included, so no test inherits
# another's. The prefix's programs are stopped afterwards: the desktop process
# that `wine reg` brought up has read the display settings before the change
# (with its monitors from XRandR, say, where they are now to come from Xinerama),
# and the next program would get its stale view of the monitors.
wine_x11_driver() {
    local setting
    for setting in "$@"; do
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v "${setting%%=*}" /t REG_SZ /d "${setting#*=}" /f \
            </dev/null >/dev/null 2>&1 || { echo "wine_x11_driver: could not set $setting" >&2; return 1; }
    done
    wine_stop "$WINEPREFIX"
}
