#!/bin/sh
# Installs the build into a fresh temporary prefix, as a user would with
# `cmake --install`, then runs one end-to-end test against the installed
# command (PREFIX/bin/brimlet), which must find its archiver from there.
#
#   run-installed.sh BUILD_DIR TEST.py
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$1
test_script=$2

prefix=$(mktemp -d /tmp/brimlet-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for installed in bin/brimlet libexec/brimlet/brimlet libexec/brimlet/util/7z.exe \
        share/applications/brimlet.desktop share/icons/hicolor/scalable/apps/brimlet.svg; do
    [ -e "$prefix/$installed" ] || { echo "not installed: $installed" >&2; exit 1; }
done

status=0
sh "$here/run-under-xvfb.sh" "$test_script" "$prefix/bin/brimlet" || status=$?
exit $status
