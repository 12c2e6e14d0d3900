#!/bin/sh
# Configures and builds Brimlet into build/ with the default preset.
set -eu
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default
