# shellcheck shell=bash
# The simulated-desktop suites (unit, scenario, storm) under AddressSanitizer
# and UBSan, built with g++ in build-asan/ (the CMake preset "sanitize").
#
#   sanitize_build_and_test   configures and builds build-asan/, then runs ctest
#                             there without the display tests (label x11);
#                             non-zero on any failure or sanitizer report. The
#                             storms throw 10,000 events a seed there
#                             (BELMORA_STORM_EVENTS overrides it).
#
# BELMORA_ASAN_BUILD_DIR overrides the build directory.

sanitize_build_and_test() {
    local root build
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    build=${BELMORA_ASAN_BUILD_DIR:-$root/build-asan}

    mkdir -p "$build"
    echo "== sanitizers: configure $build (preset sanitize)"
    cmake -S "$root" --preset sanitize -B "$build" >"$build/configure.log" 2>&1 ||
        { cat "$build/configure.log" >&2; return 1; }
    echo "== sanitizers: build"
    local -a targets=(belmora_tests)
    [[ -f $root/tests/storm/CMakeLists.txt ]] && targets+=(belmora_storm_tests)
    cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" || return

    # The storms at a tenth of their events: sanitized, the program runs some 30 times slower.
    echo "== sanitizers: tests"
    # The skips of this run go in ./scripts/test.sh's summary (scripts/lib/skips.sh).
    SKIPS_CTEST_ARGS=()
    declare -F skips_ctest_args >/dev/null && skips_ctest_args sanitize
    (cd "$root" &&
        BELMORA_STORM_EVENTS=${BELMORA_STORM_EVENTS:-10000} \
        ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        ctest --preset sanitize --test-dir "$build" -j"$(nproc)" "${SKIPS_CTEST_ARGS[@]}")
}
