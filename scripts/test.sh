#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

jobs=$(nproc)
# Every ctest run writes a report; the run ends, passed or not, with one line
# for each test that skipped, and with CI=true fails when one did.
source scripts/lib/skips.sh
skips_init build/test-reports
finish() {
    local status=$?
    skips_summary || status=1
    exit "$status"
}
trap finish EXIT
echo "== Format (clang-format 14, .clang-format)"
./scripts/format.sh --check

echo "== Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"

echo "== Linux tests"
skips_ctest_args linux
ctest --preset linux -j"$jobs" "${SKIPS_CTEST_ARGS[@]}"

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
skips_ctest_args package
ctest --preset package "${SKIPS_CTEST_ARGS[@]}"
