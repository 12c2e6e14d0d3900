#!/bin/sh
# Builds what the Windows build of Brimlet needs and Debian does not package
# for Windows: Qt (Core, Gui, Widgets, Test and their plugins), the SVG image
# plugin and 7-Zip, all from Debian's own source packages, cross-compiled
# with MinGW-w64. The result goes into a cache outside the work tree and is
# reused for as long as what builds it stays the same.
#
#   scripts/windows/build-toolchain.sh     prints the toolchain's folder last
#
# The cache's folder is named by a hash of everything that decides what gets
# built: these scripts and patches, the Debian source packages' versions that
# `apt-get source` would fetch, and the compilers' and host Qt's versions. A
# changed recipe or a new Debian upload is built afresh, never an old build
# reused; older builds are removed once the new one is in place.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
recipe_key() {
    {
        cat "$here/build-toolchain.sh" "$here/build-svg-plugin.sh" "$here/mingw-w64.cmake"
        find "$here/qsvg" -type f | LC_ALL=C sort | xargs cat
        for package in qt6-base 7zip qtsvg-opensource-src; do
            # The .dsc's name carries the version, its checksum the content.
            apt-get source --print-uris -q "$package" 2>/dev/null | grep "\.dsc'" | cut -d' ' -f2-
        done
        apt-cache policy fonts-noto-extra | sed -n 's/^ *Candidate: //p'
        dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix \
            mingw-w64-x86-64-dev qt6-base-dev 2>/dev/null
    } | sha256sum | cut -c1-16
}
caches=${BRIMLET_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/brimlet-windows}
key=$(recipe_key)
cache=$caches/$key
jobs=${BRIMLET_JOBS:-2}
triplet=x86_64-w64-mingw32
host_qt_cmake=$(dirname "$(dirname "$(find /usr/lib -path '*/cmake/Qt6CoreTools/Qt6CoreToolsConfig.cmake' | head -n 1)")")

qt=$cache/qt
sevenzip=$cache/7zip
fonts=$cache/fonts
work=$cache/work

log() { printf '%s [toolchain] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

fetch_source() { # package folder-glob
    mkdir -p "$work/src"
    if ! ls -d "$work/src/"$2 >/dev/null 2>&1; then
        log "fetching Debian's $1 source"
        (cd "$work/src" && apt-get source -q "$1" >/dev/null)
    fi
    ls -d "$work/src/"$2 | head -n 1
}

build_qt() {
    [ -f "$qt/.done" ] && return 0
    src=$(fetch_source qt6-base 'qt6-base-*/')
    log "building Qt from $src (about 20 minutes on 2 cores)"
    rm -rf "$work/build-qt" "$qt"
    # OpenGL and Direct2D have to be switched off together with the features
    # that lean on them, or the Windows platform plugin does not build; the
    # tablet support needs headers Debian removed from the source.
    cmake -S "$src" -B "$work/build-qt" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$qt" \
        -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_C_COMPILER=$triplet-gcc-posix \
        -DCMAKE_CXX_COMPILER=$triplet-g++-posix \
        -DCMAKE_RC_COMPILER=$triplet-windres \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR="$host_qt_cmake" \
        -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DBUILD_SHARED_LIBS=ON \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF -DFEATURE_pkg_config=OFF \
        -DFEATURE_androiddeployqt=OFF \
        -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF \
        -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
        -DFEATURE_tabletevent=OFF \
        -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON \
        -DFEATURE_ico=ON -DFEATURE_concurrent=ON \
        >"$work/qt-configure.log" 2>&1 || { tail -n 40 "$work/qt-configure.log" >&2; exit 1; }
    cmake --build "$work/build-qt" --parallel "$jobs" >"$work/qt-build.log" 2>&1 \
        || { grep -B 2 -A 12 'FAILED' "$work/qt-build.log" | head -n 60 >&2; exit 1; }
    cmake --install "$work/build-qt" >/dev/null
    touch "$qt/.done"
    rm -rf "$work/build-qt"
}

build_svg() {
    [ -f "$qt/plugins/imageformats/qsvg.dll" ] && return 0
    "$here/build-svg-plugin.sh" "$work" "$qt" "$jobs"
}

build_7zip() {
    [ -f "$sevenzip/7z.exe" ] && return 0
    src=$(fetch_source 7zip '7zip-*/')
    log "building 7-Zip from $src (about 4 minutes)"
    rm -rf "$src/CPP/7zip/Bundles/Alone2/b" "$src/CPP/7zip/Bundles/Alone2/_o"
    (cd "$src/CPP/7zip/Bundles/Alone2" && make -j"$jobs" -f ../../cmpl_gcc.mak \
        IS_MINGW=1 MSYSTEM=1 IS_X64=1 DISABLE_RAR=1 \
        CROSS_COMPILE=$triplet- CC=$triplet-gcc-posix CXX=$triplet-g++-posix \
        RC=$triplet-windres) >"$work/7zip-build.log" 2>&1 \
        || { tail -n 40 "$work/7zip-build.log" >&2; exit 1; }
    mkdir -p "$sevenzip"
    built=$(find "$src/CPP/7zip/Bundles/Alone2" -name 7zz.exe | head -n 1)
    $triplet-strip -o "$sevenzip/7z.exe" "$built"
}

mkdir -p "$work"
build_fonts() {
    [ -f "$fonts/NotoSans-SemiBold.ttf" ] && return 0
    # Debian keeps Noto Sans' SemiBold face, which the style sheet's weight 600
    # asks for, in fonts-noto-extra (300 MB); only that one file is taken.
    log "taking NotoSans-SemiBold.ttf from Debian's fonts-noto-extra"
    rm -f "$work"/fonts-noto-extra_*.deb
    (cd "$work" && apt-get download -q fonts-noto-extra >/dev/null)
    mkdir -p "$fonts"
    dpkg-deb --fsys-tarfile "$work"/fonts-noto-extra_*.deb \
        | tar -x -O ./usr/share/fonts/truetype/noto/NotoSans-SemiBold.ttf >"$fonts/NotoSans-SemiBold.ttf.part"
    mv "$fonts/NotoSans-SemiBold.ttf.part" "$fonts/NotoSans-SemiBold.ttf"
    rm -f "$work"/fonts-noto-extra_*.deb
}

build_qt
build_7zip
build_svg
build_fonts
# The sources and logs are not needed once everything is in place, nor are
# builds from an older recipe.
rm -rf "$work"
for other in "$caches"/*/; do
    [ "$(basename "$other")" = "$key" ] || rm -rf "$other"
done
echo "$cache"
