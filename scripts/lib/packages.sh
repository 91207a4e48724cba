# shellcheck shell=bash
# Installs the Debian packages the project needs, when they are missing.
#
#   ensure_packages NAME...   apt-get install the missing ones (through sudo when not root)

BUILD_PACKAGES=(cmake make g++ pkg-config libgtest-dev qt6-base-dev libpulse-dev libxcb1-dev fonts-terminus)
RUN_PACKAGES=(pulseaudio-utils)
TEST_PACKAGES=(xvfb openbox xdotool x11-utils x11-xserver-utils pulseaudio pulseaudio-utils imagemagick sox strace
               g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 fonts-wine clang libclang-rt-14-dev)

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
