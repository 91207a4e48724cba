#!/usr/bin/env bash
# Installs what is missing, builds Belmora and starts it on this desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBELMORA_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target belmora
exec build/belmora
