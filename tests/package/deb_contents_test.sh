#!/usr/bin/env bash
# What the Debian package holds and says about itself, and that
# `cmake --install` of the build puts the same files under any prefix.
#
#   deb_contents_test.sh belmora_<version>_amd64.deb VERSION BUILD_DIR
#
# Fails, saying so, when the package has not been made (./scripts/package.sh makes it).
set -u
deb=${1:?usage: $0 DEB VERSION BUILD_DIR}
version=${2:?usage: $0 DEB VERSION BUILD_DIR}
build=${3:?usage: $0 DEB VERSION BUILD_DIR}
[[ -f $deb ]] || { echo "$deb not found: ./scripts/package.sh makes it (./scripts/test.sh runs it before these checks)" >&2; exit 1; }
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
tmp=$(mktemp -d /tmp/belmora-deb.XXXXXX)
trap 'rm -rf "$tmp"' EXIT

expected=$(cat <<'LIST'
/usr/bin/belmora
/usr/share/applications/belmora.desktop
/usr/share/doc/belmora/changelog.gz
/usr/share/doc/belmora/copyright
/usr/share/icons/hicolor/128x128/apps/belmora.png
/usr/share/icons/hicolor/16x16/apps/belmora.png
/usr/share/icons/hicolor/256x256/apps/belmora.png
/usr/share/icons/hicolor/32x32/apps/belmora.png
/usr/share/icons/hicolor/48x48/apps/belmora.png
/usr/share/icons/hicolor/64x64/apps/belmora.png
/usr/share/man/man6/belmora.6.gz
/usr/share/metainfo/org.quadrilume.belmora.metainfo.xml
LIST
)

# The files, their modes and owners.
listing=$(dpkg-deb -c "$deb") || { echo "FAIL: dpkg-deb cannot read $deb" >&2; exit 1; }
files=$(awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' <<<"$listing" | sort)
[[ $files == "$expected" ]] || fail "the package holds:"$'\n'"$files"$'\n'"expected:"$'\n'"$expected"
awk '$2 != "root/root" { print "FAIL: not owned by root: " $0; bad = 1 } END { exit bad }' <<<"$listing" >&2 || status=1
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL: folder mode: " $0; bad = 1 }
     $1 ~ /^-/ && $6 == "./usr/bin/belmora" && $1 != "-rwxr-xr-x" { print "FAIL: program mode: " $0; bad = 1 }
     $1 ~ /^-/ && $6 != "./usr/bin/belmora" && $1 != "-rw-r--r--" { print "FAIL: file mode: " $0; bad = 1 }
     END { exit bad }' <<<"$listing" >&2 || status=1

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == belmora ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), not $version"
[[ $(field Architecture) == amd64 ]] || fail "Architecture: $(field Architecture)"
[[ $(field Section) == x11 ]] || fail "Section: $(field Section)"
depends=$(field Depends)
echo "Depends: $depends"
echo "Recommends: $(field Recommends)"
# shlibdeps found the libraries the program links; the page's font is named.
names() { tr ',|' '\n\n' <<<"$1" | awk 'NF { print $1 }'; }
for needed in fonts-terminus libqt6widgets6 libqt6gui6 libqt6core6 libxcb1 libc6 libstdc++6; do
    names "$depends" | grep -qxF "$needed" || fail "Depends lacks $needed"
done
names "$depends, $(field Recommends)" | grep -qxF libpulse0 || fail "neither Depends nor Recommends names libpulse0"

# The program is stripped.
dpkg-deb -x "$deb" "$tmp/root"
file "$tmp/root/usr/bin/belmora" | grep -q ', stripped' || fail "usr/bin/belmora is not stripped: $(file "$tmp/root/usr/bin/belmora")"
# The man page is a man page.
man_out=$(zcat "$tmp/root/usr/share/man/man6/belmora.6.gz" | LC_ALL=C.UTF-8 MANWIDTH=80 groff -man -Tutf8 -ww 2>&1 >/dev/null)
[[ -z $man_out ]] || fail "groff warns about the man page: $man_out"

# cmake --install into another prefix: the same files.
if [[ -f $build/CMakeCache.txt && -x $build/belmora ]]; then
    cmake --install "$build" --prefix "$tmp/prefix" >/dev/null || fail "cmake --install $build failed"
    installed=$(cd "$tmp/prefix" && find . ! -type d | sed 's|^\.|/usr|' | sort)
    [[ $installed == "$expected" ]] || fail "cmake --install --prefix puts:"$'\n'"$installed"
    cmp -s "$tmp/prefix/share/applications/belmora.desktop" "$tmp/root/usr/share/applications/belmora.desktop" ||
        fail "the installed desktop entry differs from the package's"
else
    fail "no built program in $build to install"
fi

((status == 0)) && echo "PASS: $(wc -l <<<"$expected") files, root-owned, modes 755/644, Depends from the binary plus fonts-terminus; cmake --install installs the same"
exit $status
