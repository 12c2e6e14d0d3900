#!/bin/sh
# Builds the benchmark in build-bench/ (Release, without the tests), runs it
# and prints its figures as the Markdown table the README shows. Takes a few
# minutes on two cores; run it on an otherwise idle machine, as every figure
# is a time or a memory peak.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-deps.sh
cmake -S "$root" -B "$root/build-bench" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DBRIMLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" --target brimlet_bench -j2
QT_QPA_PLATFORM=offscreen "$root/build-bench/bench/brimlet_bench" "$@"
