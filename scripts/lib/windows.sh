# shellcheck shell=bash
# The Windows side of the build: belmora.exe cross-compiled with MinGW-w64 and
# tested under wine.
#
#   source scripts/lib/windows.sh
#   windows_build_and_test [ROOT]   configure and build ROOT/build-win, run its tests
#
# ROOT is the repository (default: the one holding this file). The build is the
# CMake preset "windows". The tests need no display of their own: those that
# open windows start a private X server.

_windows_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine.sh
source "$_windows_lib_dir/wine.sh"

windows_build_and_test() {
    local root=${1:-$(cd "$_windows_lib_dir/../.." && pwd)}
    local build=$root/build-win jobs
    jobs=$(nproc)
    # shellcheck source=packages.sh
    source "$_windows_lib_dir/packages.sh"
    ensure_packages "${MINGW_PACKAGES[@]}" "${WINE_PACKAGES[@]}" "${DESKTOP_PACKAGES[@]}" || return

    echo "== Windows build (MinGW-w64)"
    cmake -S "$root" --preset windows -B "$build" >/dev/null || return
    cmake --build "$build" -j"$jobs" || return
    # ctest lists the unit tests by running them under wine before it runs
    # anything: the prefix must be there (the build makes it, when its tests are hooked in).
    wine_prefix_ensure "$build/wine-prefix" || return
    # One wineserver for the whole run. Left to itself, the server of a prefix
    # quits as its last program ends, and a program started in that moment
    # loses its connection ("recvmsg: Connection reset by peer"): with the
    # tests starting one program after another, now and then one did.
    WINEPREFIX=$build/wine-prefix wineserver -p || return

    echo "== Windows tests (wine)"
    local status=0
    # The skips of this run go in ./scripts/test.sh's summary (scripts/lib/skips.sh).
    SKIPS_CTEST_ARGS=()
    declare -F skips_ctest_args >/dev/null && skips_ctest_args windows
    (cd "$root" && ctest --preset windows --test-dir "$build" -j"$jobs" "${SKIPS_CTEST_ARGS[@]}") || status=$?
    wine_stop "$build/wine-prefix"
    wine_stop "$build/wine-prefix-x11"
    return "$status"
}
