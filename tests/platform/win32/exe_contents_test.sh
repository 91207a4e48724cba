#!/usr/bin/env bash
# Checks what belmora.exe is made of: a GUI-subsystem program that needs only
# DLLs every Windows has (the C and C++ runtimes are linked in), the given
# version in Italian (0x0410, Unicode), the smiley as icon 1, and the
# application manifest (exe_manifest_test.py: asInvoker, Vista to 11, not DPI
# aware, so Windows scales the program).
#
#   exe_contents_test.sh path/to/belmora.exe VERSION
#
# VERSION is MAJOR.MINOR.0.REVISION (the project's, e.g. 1.0.0.15): the four
# numbers of the resource; its text form is major, minor in two digits,
# revision in four: "1.00.0015".
set -u
exe=${1:?usage: $0 path/to/belmora.exe VERSION}
version=${2:?usage: $0 path/to/belmora.exe VERSION}
IFS=. read -r major minor patch revision <<<"$version"
[[ $version =~ ^[0-9]+\.[0-9]+\.0\.[0-9]+$ ]] || { echo "FAIL: version $version is not MAJOR.MINOR.0.REVISION" >&2; exit 1; }
numbers="$major, $minor, $patch, $revision"
text=$(printf '%d.%02d.%04d' "$major" "$minor" "$revision")
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
windres=${WINDRES:-x86_64-w64-mingw32-windres}
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

headers=$("$objdump" -p "$exe") || { echo "FAIL: $objdump cannot read $exe" >&2; exit 1; }
grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI-subsystem program"

# DLLs that ship with Windows.
system_dll='^(kernel32|user32|gdi32|msvcrt|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|winmm|msimg32|uxtheme|version|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers")
echo "imports: ${dlls[*]}"
((${#dlls[@]} > 0)) || fail "no import table found"
for dll in "${dlls[@]}"; do
    lower=${dll,,}
    [[ $lower =~ $system_dll ]] || fail "imports $dll, which is not a Windows system DLL"
done
for needed in kernel32.dll user32.dll gdi32.dll; do
    printf '%s\n' "${dlls[@],,}" | grep -qx "$needed" || fail "does not import $needed"
done

resources=$("$windres" -i "$exe" -O rc 2>&1) || { echo "FAIL: $windres cannot read the resources: $resources" >&2; exit 1; }
flat=$(tr -s ' \t' ' ' <<<"$resources")
expect() { grep -qF -- "$1" <<<"$flat" || fail "resources lack: $1"; }
expect "FILEVERSION $numbers"
expect "PRODUCTVERSION $numbers"
expect 'BLOCK "041004B0"'
expect "VALUE \"FileVersion\", \"$text\""
expect "VALUE \"ProductVersion\", \"$text\""
expect 'VALUE "ProductName", "Belmora"'
expect 'VALUE "FileDescription", "Belmora"'
expect 'VALUE "InternalName", "Belmora"'
expect 'VALUE "OriginalFilename", "belmora.exe"'
expect 'VALUE "Translation", 0x410, 1200'
grep -q '^1 14 /\* RT_GROUP_ICON \*/' <<<"$flat" || fail "no icon group 1"
grep -qF '"\040\040\000\000", 1, 32,' <<<"$flat" || fail "icon 1 is not 32 x 32 with 32 bits a pixel"
# The manifest, read back from the exe; it also checks that every other resource is Italian.
python3 "$(dirname "$0")/exe_manifest_test.py" "$exe" || status=1

((status == 0)) && echo "belmora.exe: GUI program, system DLLs only, version $version \"$text\" (0x0410), icon 1, manifest"
exit $status
