#!/bin/sh
# Builds imageformats/qsvg.dll for the Windows Qt in <qt-folder>. Debian's
# Qt 6 SVG source cannot be fetched, so the plugin is made from Debian's
# Qt 5 SVG source (its renderer compiled into the plugin), ported to Qt 6 by
# qsvg/qtsvg-qt6.patch. test.sh compares its pictures with Debian's plugin.
#   build-svg-plugin.sh <work-folder> <qt-folder> <jobs>
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$1 qt=$2 jobs=$3
log() { printf '%s [toolchain] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

mkdir -p "$work/src"
if ! ls -d "$work/src/"qtsvg-opensource-src-*/ >/dev/null 2>&1; then
    log "fetching Debian's qtsvg-opensource-src source"
    (cd "$work/src" && apt-get source -q qtsvg-opensource-src >/dev/null)
fi
src=$(ls -d "$work/src/"qtsvg-opensource-src-*/ | head -n 1)
ported=$work/qtsvg-qt6
rm -rf "$ported" "$work/build-svg"
cp -a "$src" "$ported"
patch -s -d "$ported" -p1 <"$here/qsvg/qtsvg-qt6.patch"
sed -i 's/fontSizeSpec(const QStringRef &/fontSizeSpec(const QStringView \&/' "$ported/src/svg/qsvghandler.cpp"

log "building the SVG image plugin"
cmake -S "$here/qsvg" -B "$work/build-svg" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$here/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$qt" \
    -DQTSVG_SOURCE="$ported" >"$work/svg-build.log" 2>&1
cmake --build "$work/build-svg" --parallel "$jobs" >>"$work/svg-build.log" 2>&1 \
    || { grep -A 10 'error' "$work/svg-build.log" | head -n 40 >&2; exit 1; }
cmake --install "$work/build-svg" >/dev/null
rm -rf "$ported" "$work/build-svg"
