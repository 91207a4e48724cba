#!/usr/bin/env bash
# Makes a wine prefix for the tests, once: wine_prefix.sh PREFIX
set -euo pipefail
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/lib" && pwd)/wine.sh"
wine_prefix_ensure "$1"
