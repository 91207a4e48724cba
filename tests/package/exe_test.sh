#!/usr/bin/env bash
# dist/belmora.exe as handed out: its SHA-256 file matches it, it is stripped,
# and it is made as belmora.exe must be (exe_contents_test.sh: system DLLs only,
# version, icon).
#
#   exe_test.sh DIST VERSION
#
# Fails, saying so, when dist/belmora.exe has not been made (./scripts/package.sh makes it).
set -u
dist=${1:?usage: $0 DIST VERSION}
version=${2:?usage: $0 DIST VERSION}
[[ -f $dist/belmora.exe ]] || { echo "$dist/belmora.exe not found: ./scripts/package.sh makes it (./scripts/test.sh runs it before these checks)" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

(cd "$dist" && sha256sum --check --strict belmora.exe.sha256) || fail "belmora.exe.sha256 does not match belmora.exe"
[[ $(awk '{ print $2 }' "$dist/belmora.exe.sha256") == belmora.exe ]] || fail "belmora.exe.sha256 names another file"
# Stripped: no symbol table, no debugging sections.
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
"$objdump" -h "$dist/belmora.exe" | grep -q '\.debug' && fail "belmora.exe has debugging sections"
"$objdump" -f "$dist/belmora.exe" | grep -q 'HAS_SYMS' && fail "belmora.exe has a symbol table"
"$here/../platform/win32/exe_contents_test.sh" "$dist/belmora.exe" "$version" || status=1
((status == 0)) && echo "PASS: belmora.exe stripped, its SHA-256 file matches"
exit $status
