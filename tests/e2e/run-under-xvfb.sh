#!/bin/sh
# Runs one end-to-end test of the real program in a real (virtual) window:
#
#   run-under-xvfb.sh [--unprivileged] TEST.py PROGRAM [ARGS...]
#
# Layers, each in its own stage of this script:
#   1. xvfb-run -a: a private X server, so tests may run in parallel;
#   2. (--unprivileged only) drop to the user "nobody" when running as root;
#   3. dbus-run-session: a private session bus;
#   4. the accessibility bus launched on it, then Debian's own Python runs
#      TEST.py with PROGRAM and ARGS as its arguments.
#
# Exit status: the test's own; 77 when the test cannot run here (skipped).

set -eu

here=$(cd "$(dirname "$0")" && pwd)
self="$here/$(basename "$0")"
python=/usr/bin/python3
skip=77

fail() { echo "run-under-xvfb: $*" >&2; exit 2; }
skip_test() { echo "SKIPPED: $*"; exit $skip; }
keep_artifacts() {
    [ -n "$(ls -A "$base/artifacts" 2>/dev/null)" ] || return 0
    target=${wanted_artifacts:-$(mktemp -d /tmp/brimlet-e2e-artifacts.XXXXXX)}
    mkdir -p "$target" && cp -r "$base/artifacts/." "$target/" && echo "saved to $target"
}

stage=${BRIMLET_E2E_STAGE:-outer}

case $stage in
outer)
    unprivileged=0
    if [ "${1:-}" = "--unprivileged" ]; then
        unprivileged=1
        shift
    fi
    [ $# -ge 2 ] || fail "usage: run-under-xvfb.sh [--unprivileged] TEST.py PROGRAM [ARGS...]"
    for tool in xvfb-run xauth dbus-run-session xdotool import; do
        command -v $tool >/dev/null 2>&1 || fail "$tool is missing (see scripts/install-deps.sh)"
    done
    [ -x $python ] || fail "$python is missing"
    $python -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is missing for $python"
    [ -x /usr/libexec/at-spi-bus-launcher ] || fail "at-spi2-core is missing"

    drop=0
    if [ $unprivileged = 1 ] && [ "$(id -u)" = 0 ]; then
        drop=1
        # Everything the unprivileged user touches lives in a folder it owns.
        base=$(mktemp -d "${TMPDIR:-/tmp}/brimlet-e2e-user.XXXXXX")
        chmod 755 "$base"
        chown 65534:65534 "$base"
        # What a failing test saves is written where the user may write and
        # copied to the wanted place (root's) before the folder goes.
        install -d -o 65534 -g 65534 "$base/artifacts"
        wanted_artifacts=${BRIMLET_E2E_ARTIFACTS:-}
        export BRIMLET_E2E_ARTIFACTS="$base/artifacts"
        trap 'keep_artifacts; rm -rf "$base"' EXIT
        as_nobody="setpriv --reuid=65534 --regid=65534 --clear-groups"
        if ! $as_nobody test -r "$self" -a -r "$1" -a -r "$here/harness.py" -a -x "$2"; then
            skip_test "the user nobody cannot read $1 or run $2 (a parent folder is closed to others)"
        fi
        export BRIMLET_E2E_USER_BASE="$base"
    fi
    export BRIMLET_E2E_DROP=$drop
    # -noreset: the X server otherwise resets whenever its last client
    # leaves (the accessibility bus launcher, a screenshot), and a program
    # that connects during the reset fails with "could not connect to display".
    # Start the search for a free display at a random number: two tests that
    # start at once would otherwise both pick :99 and one Xvfb would fail.
    start=$(( 100 + $(od -An -N2 -tu2 /dev/urandom | tr -d ' ') % 800 ))
    status=0
    BRIMLET_E2E_STAGE=x11 xvfb-run -a -n "$start" -s "-screen 0 1600x1200x24 -nolisten tcp -noreset" \
        sh "$self" "$@" || status=$?
    exit $status
    ;;
x11)
    if [ "$BRIMLET_E2E_DROP" = 1 ]; then
        base=$BRIMLET_E2E_USER_BASE
        cp "$XAUTHORITY" "$base/Xauthority"
        chown 65534:65534 "$base/Xauthority"
        chmod 600 "$base/Xauthority"
        exec setpriv --reuid=65534 --regid=65534 --clear-groups \
            env HOME="$base" TMPDIR="$base" XAUTHORITY="$base/Xauthority" USER=nobody LOGNAME=nobody \
            BRIMLET_E2E_STAGE=bus dbus-run-session -- sh "$self" "$@"
    fi
    BRIMLET_E2E_STAGE=bus exec dbus-run-session -- sh "$self" "$@"
    ;;
bus)
    # The accessibility bus: Qt asks the session bus for its address
    # (org.a11y.Bus) and registers its widgets there; the registry daemon is
    # started on demand by the accessibility bus itself.
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    launcher=$!
    trap 'kill $launcher 2>/dev/null || true' EXIT
    tries=0
    # Asking for the name's owner, not the address, so that the bus daemon
    # does not activate a second launcher while ours is starting.
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'; do
        tries=$((tries + 1))
        [ $tries -lt 200 ] || fail "the accessibility bus did not start within 10 s"
        sleep 0.05
    done
    test_script=$1
    shift
    status=0
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 PYTHONDONTWRITEBYTECODE=1 \
        $python "$test_script" "$@" || status=$?
    exit $status
    ;;
*)
    fail "unknown stage $stage"
    ;;
esac
