#!/bin/sh
# Installs the build into a fresh prefix, as `cmake --install` would for a
# user, and runs TEST.py against PREFIX/bin/brimlet.
#
#   run-installed.sh BUILD_DIR TEST.py
set -eu
prefix=$(mktemp -d /tmp/brimlet-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
sh "$(dirname "$0")/run-under-xvfb.sh" "$2" "$prefix/bin/brimlet"
