#!/bin/sh
# run-under-xvfb.sh [--unprivileged] [--window-manager] TEST.py PROGRAM: one
# end-to-end test on a private X server (as the user "nobody" with
# --unprivileged when run as root), session bus and accessibility bus, under
# Debian's Python (it has pyatspi). --window-manager runs openbox on the
# server, for what only a window manager does (Alt+F4 closes the active
# window). BRIMLET_E2E_SCREEN sets the screen (default 1600x1200x24).
# The script calls itself for each layer. Exit status 77 means skipped.
set -eu
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"

case ${BRIMLET_E2E_STAGE:-outer} in
outer)
    drop=0
    export BRIMLET_E2E_WM=0
    while :; do
        case $1 in
        --unprivileged) [ "$(id -u)" = 0 ] && drop=1 ;;
        --window-manager) BRIMLET_E2E_WM=1 ;;
        *) break ;;
        esac
        shift
    done
    if [ $drop = 1 ]; then
        $nobody test -r "$1" -a -x "$2" || { echo "SKIPPED: nobody cannot run $2"; exit 77; }
        export BRIMLET_E2E_HOME=$(mktemp -d /tmp/brimlet-e2e-user.XXXXXX)
        chown 65534:65534 "$BRIMLET_E2E_HOME"
        wanted=${BRIMLET_E2E_ARTIFACTS:-/tmp}
        export BRIMLET_E2E_ARTIFACTS=$BRIMLET_E2E_HOME/artifacts
        trap 'cp -r "$BRIMLET_E2E_ARTIFACTS/." "$wanted" 2>/dev/null || true; rm -rf "$BRIMLET_E2E_HOME"' EXIT
    fi
    # -noreset: the server otherwise resets whenever its last client leaves,
    # and a program connecting meanwhile cannot open the display.
    BRIMLET_E2E_DROP=$drop BRIMLET_E2E_STAGE=x11 xvfb-run -a -n $((100 + $$ % 800)) \
        -s "-screen 0 ${BRIMLET_E2E_SCREEN:-1600x1200x24} -nolisten tcp -noreset" sh "$self" "$@"
    ;;
x11)
    if [ "$BRIMLET_E2E_DROP" = 1 ]; then
        home=$BRIMLET_E2E_HOME
        install -o 65534 -m 600 "$XAUTHORITY" "$home/Xauthority"
        exec $nobody env HOME="$home" TMPDIR="$home" XAUTHORITY="$home/Xauthority" \
            BRIMLET_E2E_STAGE=bus dbus-run-session -- sh "$self" "$@"
    fi
    BRIMLET_E2E_STAGE=bus exec dbus-run-session -- sh "$self" "$@"
    ;;
bus)
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    helpers=$!
    trap 'kill $helpers 2>/dev/null || true' EXIT
    # Asking who owns the name, not its address, which would start a second launcher.
    tries=0
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q true; do
        tries=$((tries + 1)) && [ $tries -lt 200 ] || { echo "no accessibility bus" >&2; exit 2; }
        sleep 0.05
    done
    if [ "$BRIMLET_E2E_WM" = 1 ]; then
        openbox --sm-disable >/dev/null 2>&1 &
        helpers="$helpers $!"
        # The manager announces itself on the root window once it is running.
        tries=0
        until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
            tries=$((tries + 1)) && [ $tries -lt 200 ] || { echo "no window manager" >&2; exit 2; }
            sleep 0.05
        done
    fi
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$@"
    ;;
esac
