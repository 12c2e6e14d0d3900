#!/bin/sh
# Installs what is missing, builds, and starts Brimlet. Without a display it
# runs the program under Xvfb, saves a screenshot of its window and ends it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# The program alone: the tests are for ./scripts/test.sh.
./scripts/build.sh --target brimlet

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/brimlet
fi

shot="${BRIMLET_SCREENSHOT:-$PWD/build/brimlet-screenshot.png}"
xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
    QT_QPA_PLATFORM=xcb ./build/brimlet &
    app=$!
    window=""
    tries=0
    while [ -z "$window" ] && [ $tries -lt 100 ]; do
        window=$(xdotool search --sync --onlyvisible --name "^Brimlet$" 2>/dev/null | head -n 1) || true
        tries=$((tries + 1))
    done
    if [ -z "$window" ]; then
        echo "The Brimlet window did not appear." >&2
        kill $app
        exit 1
    fi
    # A window that has not painted yet is one flat colour: wait for the picture.
    tries=0
    while [ $tries -lt 100 ]; do
        import -window "$window" "$1"
        [ "$(identify -format %k "$1")" -gt 100 ] && break
        tries=$((tries + 1))
    done
    kill $app
    wait $app 2>/dev/null || true
' sh "$shot"
echo "No display: the window was shown under Xvfb and saved to $shot"
