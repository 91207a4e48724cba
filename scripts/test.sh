#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

jobs=$(nproc)
echo "== Format (clang-format 14, .clang-format)"
./scripts/format.sh --check

echo "== Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"

echo "== Linux tests"
ctest --preset linux -j"$jobs"

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
source scripts/lib/sanitize.sh
sanitize_build_and_test

echo "== Fuzzing the whole program on the simulated desktop"
source scripts/lib/fuzz.sh
fuzz_run 60

echo "== Windows build and tests (under wine)"
source scripts/lib/windows.sh
windows_build_and_test

echo "== The files to hand out (./scripts/package.sh) and their checks"
./scripts/package.sh
ctest --preset package
