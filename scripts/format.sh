#!/usr/bin/env bash
# Formats the C++ sources with clang-format and the .clang-format at the top.
#
#   ./scripts/format.sh           rewrite every file that is not formatted
#   ./scripts/format.sh --check   only list them; exit 1 if there are any
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${FORMAT_PACKAGES[@]}"

mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [[ ${1:-} == --check ]]; then
    bad=()
    for f in "${files[@]}"; do
        clang-format-14 --dry-run --Werror "$f" 2>/dev/null || bad+=("$f")
    done
    ((${#bad[@]} == 0)) && { echo "format: ${#files[@]} files, all formatted"; exit 0; }
    printf 'format: not formatted: %s\n' "${bad[@]}" >&2
    echo "format: run ./scripts/format.sh to fix them" >&2
    exit 1
fi
clang-format-14 -i "${files[@]}"
