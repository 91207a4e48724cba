#!/usr/bin/env bash
# The program as the Debian package installs it: the package unpacked with
# dpkg-deb -x into a temporary folder, and its usr/bin/belmora driven through
# one whole run on a private X server by the end-to-end test.
#
#   deb_whole_run_test.sh belmora_<version>_amd64.deb
#
# Fails, saying so, when the package has not been made (./scripts/package.sh makes it).
set -u
deb=${1:?usage: $0 DEB}
[[ -f $deb ]] || { echo "$deb not found: ./scripts/package.sh makes it (./scripts/test.sh runs it before these checks)" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d /tmp/belmora-deb-run.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp" || { echo "FAIL: dpkg-deb -x $deb" >&2; exit 1; }
echo "unpacked into $tmp; running $tmp/usr/bin/belmora"
"$here/../e2e/x11_whole_run_test.sh" "$tmp/usr/bin/belmora"
