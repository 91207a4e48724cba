#!/usr/bin/env bash
# Makes the files to hand out, in dist/, from Release builds without the test
# suites (CMake presets "package" and "package-windows"):
#
#   dist/belmora.exe                    the Windows program: static, stripped,
#                                       with its version resource and icon
#   dist/belmora.exe.sha256             its SHA-256, as sha256sum writes it
#   dist/belmora_<version>_amd64.deb    the Debian package (CPack)
#
# Installs what is missing first. The checks of these files run in
# ./scripts/test.sh (ctest --preset package).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${MINGW_PACKAGES[@]}" "${DEB_PACKAGES[@]}"

jobs=$(nproc)
mkdir -p dist

echo "== Linux build (Release)"
cmake --preset package >/dev/null
cmake --build --preset package -j"$jobs"
echo "== Debian package"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-package/CMakeCache.txt)
rm -f dist/belmora_*_amd64.deb
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

echo "== dist/"
ls -l dist/belmora.exe dist/belmora.exe.sha256 "dist/belmora_${version}_amd64.deb"
