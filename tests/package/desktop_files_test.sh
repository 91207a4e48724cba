#!/usr/bin/env bash
# The package's desktop entry and AppStream metainfo are valid and agree: the
# entry's Italian name and comment and its categories, the metainfo naming the
# entry and the program, the icon at every size in hicolor, and lintian's view
# of the whole package.
#
#   desktop_files_test.sh belmora_<version>_amd64.deb
#
# Fails, saying so, when the package has not been made (./scripts/package.sh makes it).
set -u
deb=${1:?usage: $0 DEB}
[[ -f $deb ]] || { echo "$deb not found: ./scripts/package.sh makes it (./scripts/test.sh runs it before these checks)" >&2; exit 1; }
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
tmp=$(mktemp -d /tmp/belmora-desktop.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
desktop=$tmp/usr/share/applications/belmora.desktop
metainfo=$tmp/usr/share/metainfo/org.quadrilume.belmora.metainfo.xml

echo "== desktop-file-validate"
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
[[ -z $out ]] || { echo "$out"; fail "desktop-file-validate has remarks"; }
entry() { sed -n "s/^$1=//p" "$desktop"; }
[[ $(entry Categories) == 'Game;Amusement;' ]] || fail "Categories=$(entry Categories)"
[[ $(entry Exec) == belmora && $(entry Icon) == belmora ]] || fail "Exec=$(entry Exec) Icon=$(entry Icon)"
grep -qw 'auguri' <<<"$(entry Comment)" || fail "the comment is not the Italian one: $(entry Comment)"

echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate failed"
# The whole tree: the metainfo's launchable found, its icon found.
appstreamcli validate-tree --no-net "$tmp" || fail "appstreamcli validate-tree failed"

echo "== icons"
for size in 16 32 48 64 128 256; do
    png=$tmp/usr/share/icons/hicolor/${size}x${size}/apps/belmora.png
    file "$png" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" || fail "icon $size: $(file "$png")"
done

echo "== lintian"
# Every tag lintian shows by default (errors, warnings); README's "Get it" names any that remain.
lintian --no-cfg --fail-on error,warning --suppress-tags-from-file /dev/null "$deb" || fail "lintian reports errors or warnings"

((status == 0)) && echo "PASS: desktop entry, metainfo, icons and lintian"
exit $status
