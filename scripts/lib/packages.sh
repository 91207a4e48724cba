# shellcheck shell=bash
# Installs the Debian packages the project needs, when they are missing.
#
#   ensure_packages NAME...   apt-get install the missing ones (through sudo when not root)

# The one list of what the project takes from Debian, in groups; no package is
# named twice. Scripts install the groups they need.
#
# Building the Linux program and the test suites.
BUILD_PACKAGES=(cmake make g++ pkg-config libgtest-dev qt6-base-dev libpulse-dev libxcb1-dev libxcb-record0-dev libpipewire-0.3-dev fonts-terminus)
# Running it from the build (./scripts/run.sh).
RUN_PACKAGES=(pulseaudio-utils)
# A private desktop for tests and benchmarks: X server, window managers, a panel, input,
# keyboard layouts, window and screen reading, a sound server, a session bus (dbus-daemon),
# the font the text layout is checked with.
DESKTOP_PACKAGES=(xvfb openbox xfwm4 xfce4-panel xdotool x11-utils x11-xserver-utils x11-xkb-utils imagemagick pulseaudio dbus
                  fonts-dejavu-core)
# Recording and tracing a whole run; dbus-x11 (dbus-launch) for the traced run
# where libdbus could start a session bus of its own.
PROBE_PACKAGES=(sox strace dbus-x11)
# Cross-building belmora.exe.
MINGW_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
# Running it on Linux; fonts-wine holds Fixedsys and the other bitmap fonts
# (only recommended by wine).
WINE_PACKAGES=(wine wine64 fonts-wine)
# The fuzzer and the sanitizer runtime for clang.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Making the Debian package (CPack finds the binaries with file, dpkg-shlibdeps their dependencies).
DEB_PACKAGES=(dpkg-dev file)
# Checking the package and the committed generated files; rebuilding dist/ from
# a clone under another time zone and locale (made from the locales package's
# sources) and saying how the two differ.
PACKAGE_CHECK_PACKAGES=(lintian desktop-file-utils appstream python3 groff-base diffoscope tzdata locales)
# The code formatter, pinned: another version formats differently.
FORMAT_PACKAGES=(clang-format-14)
# Headless Wayland compositors with XWayland, and what drives their pointer;
# pipewire-pulse: the tones' latency on PipeWire's pulse server (scripts/bench.sh).
WAYLAND_PACKAGES=(weston sway kwin-wayland mutter gnome-shell xwayland pipewire wireplumber dbus
                  libwayland-dev plasma-wayland-protocols python3-gi x11-xserver-utils pipewire-pulse)

# Everything ./scripts/test.sh runs needs, beyond BUILD_PACKAGES.
TEST_PACKAGES=("${RUN_PACKAGES[@]}" "${DESKTOP_PACKAGES[@]}" "${PROBE_PACKAGES[@]}" "${MINGW_PACKAGES[@]}"
               "${WINE_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${DEB_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}"
               "${FORMAT_PACKAGES[@]}" "${WAYLAND_PACKAGES[@]}")

_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

ensure_packages() {
    local -a missing
    mapfile -t missing < <(_missing_packages "$@")
    ((${#missing[@]} == 0)) && return 0
    local -a sudo=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || { echo "belmora: need root or sudo to install: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    echo "belmora: installing ${missing[*]}" >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}
