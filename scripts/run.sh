#!/usr/bin/env bash
# Installs what is missing, builds Belmora and starts it on this desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target belmora
exec build/belmora
