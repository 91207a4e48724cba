#!/usr/bin/env bash
# The committed smiley.ico is what make_icon.py makes of assets/smiley.xpm.
# It needs python3 (which ./scripts/test.sh installs); the build itself never does.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exec python3 "$here/../../../src/platform/win32/make_icon.py" --check
