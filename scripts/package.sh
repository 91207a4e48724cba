#!/usr/bin/env bash
# Makes the files to hand out, in dist/, from Release builds without the test
# suites (CMake presets "package" and "package-windows"):
#
#   dist/belmora.exe                    the Windows program: static, stripped,
#                                       with its manifest, version resource and icon
#   dist/belmora.exe.sha256             its SHA-256, as sha256sum writes it
#   dist/belmora_<version>_amd64.deb    the Debian package (CPack)
#
# The same commit gives the same bytes from any clone, wherever it is and
# whoever builds it when: the time in the files is the last commit's
# (SOURCE_DATE_EPOCH, unless set already), the checkout's folder is mapped out
# of the binaries and the exe's header holds that time, not the link's
# (BELMORA_REPRODUCIBLE in the presets), and the umask, time zone and locale
# are fixed here. Ends with the SHA-256 of each file in dist/.
#
# Installs what is missing first. The checks of these files run in
# ./scripts/test.sh (ctest --preset package), reproducibility included.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${MINGW_PACKAGES[@]}" "${DEB_PACKAGES[@]}"

umask 022
export LC_ALL=C TZ=UTC
unset LANG LANGUAGE
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        { echo "belmora: not a git checkout: set SOURCE_DATE_EPOCH to the sources' time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

jobs=$(nproc)
rm -rf dist
mkdir dist

echo "== Linux build (Release)"
cmake --preset package >/dev/null
cmake --build --preset package -j"$jobs"
echo "== Debian package"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-package/CMakeCache.txt)
rm -rf build-package/cpack
cpack --config build-package/CPackConfig.cmake -B build-package/cpack >build-package/cpack.log ||
    { cat build-package/cpack.log >&2; exit 1; }
cp "build-package/cpack/belmora_${version}_amd64.deb" dist/

echo "== Windows build (Release, MinGW-w64)"
cmake --preset package-windows >/dev/null
cmake --build --preset package-windows -j"$jobs"
staging=build-package-win/staging
rm -rf "$staging"
cmake --install build-package-win --prefix "$staging" --strip >/dev/null
cp "$staging/belmora.exe" dist/belmora.exe
(cd dist && sha256sum belmora.exe >belmora.exe.sha256)

echo "== dist/ (SHA-256)"
(cd dist && sha256sum -- *)
