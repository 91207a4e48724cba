#!/usr/bin/env bash
# dist/belmora.exe driven from start to end under wine (wine_banner_test.sh),
# in a wine prefix of its own.
#
#   exe_whole_run_test.sh DIST PREFIX
#
# Exit status 77 (skipped) when dist/belmora.exe has not been made.
set -u
dist=${1:?usage: $0 DIST PREFIX}
prefix=${2:?usage: $0 DIST PREFIX}
[[ -f $dist/belmora.exe ]] || { echo "$dist/belmora.exe not found: run ./scripts/package.sh first (skipped)"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../platform/win32/wine_banner_test.sh" --prefix "$prefix" "$dist/belmora.exe"
