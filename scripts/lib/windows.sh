# shellcheck shell=bash
# The Windows side of the build: belmora.exe cross-compiled with MinGW-w64 and
# tested under wine.
#
#   source scripts/lib/windows.sh
#   windows_build_and_test [ROOT]   configure and build ROOT/build-win, run its tests
#
# ROOT is the repository (default: the one holding this file). The tests need
# no display of their own: those that open windows start a private X server.

_windows_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine.sh
source "$_windows_lib_dir/wine.sh"

# What the Windows build and its tests need from Debian, beyond cmake.
# fonts-wine holds Fixedsys and the other bitmap fonts (only recommended by wine).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 fonts-wine
                  xvfb openbox xdotool x11-utils x11-xserver-utils imagemagick)

windows_build_and_test() {
    local root=${1:-$(cd "$_windows_lib_dir/../.." && pwd)}
    local build=$root/build-win jobs
    jobs=$(nproc)
    if declare -F ensure_packages >/dev/null; then
        ensure_packages "${WINDOWS_PACKAGES[@]}" || return
    fi

    echo "== Windows build (MinGW-w64)"
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || return
    cmake --build "$build" -j"$jobs" || return
    # ctest lists the unit tests by running them under wine before it runs
    # anything: the prefix must be there (the build makes it, when its tests are hooked in).
    wine_prefix_ensure "$build/wine-prefix" || return

    echo "== Windows tests (wine)"
    local status=0
    ctest --test-dir "$build" --output-on-failure -j"$jobs" || status=$?
    wine_stop "$build/wine-prefix"
    wine_stop "$build/wine-prefix-x11"
    return "$status"
}
