#!/usr/bin/env bash
# Makes the README's pictures from a real run under Xvfb: the banner with each
# of its pictures (enlarged) and the crash page. Writes them into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${DESKTOP_PACKAGES[@]}"
source scripts/lib/xsession.sh
source scripts/lib/pulse.sh
source scripts/lib/xwait.sh

cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target belmora
xsession_start --wm
pulse_start
build/belmora >/dev/null 2>&1 &
pid=$!
cleanup_add "stop_pid $pid"

shot() { import -silent -window "$1" +repage "$2"; }
banner=$(wait_window 10 Form1)
xdotool mousemove 30 30; sleep 0.3
xdotool mousemove 20 20; sleep 1      # at rest around the cursor: the greeting picture
shot "$banner" /tmp/belmora-greeting.png
xdotool mousemove 1000 700; sleep 0.2  # far away: the growl picture
shot "$banner" /tmp/belmora-growl.png
xdotool mousemove 20 20; sleep 2       # back at rest for the double-click
convert /tmp/belmora-greeting.png -scale 400% docs/banner-greeting.png
convert /tmp/belmora-growl.png -scale 400% docs/banner-growl.png

xdotool click --repeat 2 --delay 80 1
sleep 1.5
# "Insert Coin To Continue" blinks: take the page while it is showing (light grey at 427,456).
for _ in 1 2 3 4; do
    [[ $(pixel 427 456) == 192,192,192 ]] && break
    sleep 0.5
done
import -silent -window root docs/crash-page.png
rm -f /tmp/belmora-greeting.png /tmp/belmora-growl.png
echo "docs/: banner-greeting.png banner-growl.png crash-page.png"
