#!/usr/bin/env bash
# The committed smiley.ico is what make_icon.py makes of assets/smiley.xpm.
# Skipped (77) where there is no Python; the build itself never needs it.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
command -v python3 >/dev/null || { echo "python3 not found: skipped"; exit 77; }
exec python3 "$here/../../../src/platform/win32/make_icon.py" --check
