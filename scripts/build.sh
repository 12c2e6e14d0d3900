#!/bin/sh
# Configures and builds Brimlet into build/ with the default preset; the
# arguments go to the build (--target brimlet builds the program alone).
set -eu
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default "$@"
