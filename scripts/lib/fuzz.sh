# shellcheck shell=bash
# libFuzzer over the whole program: the storm driver of tests/storm with every
# choice read from the fuzzer's bytes, built with clang, ASan and UBSan.
#
#   fuzz_run SECONDS   configures and builds build-fuzz/ (only the fuzz target),
#                      then fuzzes for SECONDS; returns non-zero on a crash, a
#                      sanitizer report or a fault of the storm's checks (the
#                      input that found it is left in build-fuzz/artifacts/)
#
# The corpus: build-fuzz/corpus/ (seed inputs the target writes itself, plus
# what the fuzzer finds), and tests/storm/corpus/ (committed inputs, read only).
# BELMORA_FUZZ_BUILD_DIR overrides the build directory.

fuzz_run() {
    local seconds=${1:?usage: fuzz_run SECONDS}
    local root build
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    build=${BELMORA_FUZZ_BUILD_DIR:-$root/build-fuzz}

    if [[ -f $root/scripts/lib/packages.sh ]]; then
        # shellcheck source=packages.sh
        source "$root/scripts/lib/packages.sh"
        ensure_packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" || return
    fi

    mkdir -p "$build"
    echo "== fuzz: configure $build (preset fuzz: clang, ASan, UBSan)"
    cmake -S "$root" --preset fuzz -B "$build" >"$build/configure.log" 2>&1 ||
        { cat "$build/configure.log" >&2; return 1; }
    echo "== fuzz: build belmora_fuzz_program"
    cmake --build "$build" -j"$(nproc)" --target belmora_fuzz_program || return

    local fuzzer=$build/tests/storm/belmora_fuzz_program
    local corpus=$build/corpus artifacts=$build/artifacts
    mkdir -p "$corpus" "$artifacts"
    BELMORA_FUZZ_WRITE_CORPUS=$corpus "$fuzzer" || return
    local -a dirs=("$corpus")
    [[ -d $root/tests/storm/corpus ]] && dirs+=("$root/tests/storm/corpus")

    echo "== fuzz: ${seconds} s"
    local status=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        "$fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=60 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "${dirs[@]}" || status=$?
    if ((status != 0)); then
        echo "fuzz: failed (status $status); inputs in $artifacts:" >&2
        ls -1 "$artifacts" >&2
        echo "replay one with: $fuzzer <input>" >&2
    fi
    return "$status"
}
