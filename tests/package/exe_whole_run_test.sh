#!/usr/bin/env bash
# dist/belmora.exe driven from start to end under wine (wine_banner_test.sh),
# in a wine prefix of its own.
#
#   exe_whole_run_test.sh DIST PREFIX
#
# Fails, saying so, when dist/belmora.exe has not been made (./scripts/package.sh makes it).
set -u
dist=${1:?usage: $0 DIST PREFIX}
prefix=${2:?usage: $0 DIST PREFIX}
[[ -f $dist/belmora.exe ]] || { echo "$dist/belmora.exe not found: ./scripts/package.sh makes it (./scripts/test.sh runs it before these checks)" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../platform/win32/wine_banner_test.sh" --prefix "$prefix" "$dist/belmora.exe"
