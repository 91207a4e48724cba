# shellcheck shell=bash
# Which tests skipped, and why: each ctest run of ./scripts/test.sh writes a
# JUnit report, and test.sh ends with one line for every skip.
#
#   skips_init DIR          the reports go to DIR (made empty); exported as BELMORA_TEST_REPORTS
#   skips_ctest_args NAME   sets SKIPS_CTEST_ARGS to the ctest options that write the report
#                           of the run NAME (none when skips_init was not called)
#   skips_summary           prints the summary; with CI=true, non-zero when a test skipped

_skips_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skips_init() {
    rm -rf "$1"
    mkdir -p "$1"
    BELMORA_TEST_REPORTS=$(cd "$1" && pwd)
    export BELMORA_TEST_REPORTS
}

skips_ctest_args() {
    SKIPS_CTEST_ARGS=()
    [[ -n ${BELMORA_TEST_REPORTS:-} ]] || return 0
    # The whole output of passing tests too, where a part's skip is told.
    SKIPS_CTEST_ARGS=(--output-junit "$BELMORA_TEST_REPORTS/$1.xml" --test-output-size-passed 1048576)
}

skips_summary() {
    local -a reports=("$BELMORA_TEST_REPORTS"/*.xml)
    [[ -e ${reports[0]} ]] || { echo "== Skipped: no test was run"; return 0; }
    local -a strict=()
    [[ ${CI:-} == true ]] && strict=(--strict)
    python3 "$_skips_dir/skip_summary.py" "${strict[@]}" "${reports[@]}"
}
