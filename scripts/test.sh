#!/bin/sh
# Installs what is missing, builds, and runs every test: the unit tests
# headless and the end-to-end tests of the real program under Xvfb.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
ctest --preset default --parallel 2
