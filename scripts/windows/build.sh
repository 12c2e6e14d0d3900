#!/bin/sh
# Cross-builds Brimlet and its tests for Windows into build-windows/ and
# makes what ships from there:
#   build-windows/deploy/Brimlet/                 the program as it is installed
#   build-windows/Brimlet-<version>-portable.zip  that folder zipped
#   build-windows/Brimlet-Setup-<version>.exe     the per-user installer
#   build-windows/Brimlet-<version>.msi           the package for all users
# The test programs land in build-windows/ itself, with the same DLLs and
# plugins beside them. The toolchain comes from build-toolchain.sh's cache.
# brimlet.exe, the installer (and its uninstaller) and the MSI are signed
# when the environment names a certificate (see sign.sh); otherwise the
# build is unsigned and says so.
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
triplet=x86_64-w64-mingw32
build=$root/build-windows
log() { printf '%s [windows] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

./scripts/windows/install-deps.sh
toolchain=$(./scripts/windows/build-toolchain.sh | tail -n 1)
qt=$toolchain/qt
version=$(sed -n 's/^project(Brimlet VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

log "building Brimlet $version for Windows"
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$root"
fi
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/scripts/windows/mingw-w64.cmake" \
    -DBRIMLET_BUILD_BENCH=OFF \
    -DBRIMLET_FONT_DIR="$toolchain/fonts" >/dev/null
cmake --build "$build" --parallel "${BRIMLET_JOBS:-2}"

# Lays out a runnable folder: the program or tests plus what they load.
mingw_runtime() {
    for dll in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
        $triplet-g++-posix -print-file-name="$dll"
    done
}
lay_out() { # folder platform-plugins...
    folder=$1; shift
    mkdir -p "$folder/util" "$folder/platforms" "$folder/imageformats" "$folder/styles"
    cp "$toolchain/7zip/7z.exe" "$folder/util/7z.exe"
    for lib in Core Gui Widgets Concurrent; do cp "$qt/bin/Qt6$lib.dll" "$folder/"; done
    for plugin in "$@"; do cp "$qt/plugins/platforms/$plugin.dll" "$folder/platforms/"; done
    cp "$qt/plugins/imageformats/qsvg.dll" "$qt/plugins/imageformats/qico.dll" "$folder/imageformats/"
    cp "$qt/plugins/styles/"*.dll "$folder/styles/"
    cp $(mingw_runtime) "$folder/"
}

# Every DLL a program or library imports must be beside it or part of
# Windows (Wine's own DLLs stand for the latter).
check_imports() { # folder
    wine_dlls=$(ls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/ | tr 'A-Z' 'a-z')
    missing=0
    for binary in $(find "$1" -name '*.exe' -o -name '*.dll'); do
        for dll in $($triplet-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
            case $dll in api-ms-win-*|ext-ms-win-*) continue ;; esac
            if ! ls "$1" | tr 'A-Z' 'a-z' | grep -qx "$dll" && ! echo "$wine_dlls" | grep -qx "$dll"; then
                echo "$binary needs $dll, which is neither shipped nor part of Windows" >&2
                missing=1
            fi
        done
    done
    return $missing
}

deploy=$build/deploy/Brimlet
rm -rf "$build/deploy"
mkdir -p "$deploy"
cp "$build/brimlet.exe" "$deploy/"
lay_out "$deploy" qwindows
# Qt6Concurrent only while the program uses it.
$triplet-objdump -p "$deploy/brimlet.exe" | grep -q 'DLL Name: Qt6Concurrent' || rm "$deploy/Qt6Concurrent.dll"
find "$deploy" -name '*.exe' -o -name '*.dll' | xargs $triplet-strip --strip-unneeded
check_imports "$deploy"
# Signed once stripped (stripping would drop the signature), before it is
# packed.
./scripts/windows/sign.sh "$deploy/brimlet.exe"

# The test programs run from the build folder (offscreen or in a window).
lay_out "$build" qwindows qoffscreen qminimal
cp "$qt/bin/Qt6Test.dll" "$qt/bin/svgrender.exe" "$build/"

log "packing the portable zip and the installers"
zip=$build/Brimlet-$version-portable.zip
rm -f "$zip"
(cd "$build/deploy" && zip -q -r -X "$zip" Brimlet)

setup=$build/Brimlet-Setup-$version.exe
./scripts/windows/make-installer.sh "$deploy" "$version" "$setup"
# The icon that brimlet.exe carries (made by the build) for the MSI's entry
# in Apps.
icon=$build/brimlet.ico
[ -f "$icon" ] || icon=$root/resources/icon.ico
msi=$build/Brimlet-$version.msi
rm -f "$msi"
./scripts/windows/make-msi.sh "$deploy" "$version" "$msi" "$icon"
for made in "$setup" "$msi" "$zip"; do
    log "made $(du -h "$made" | cut -f1) $made"
done
if [ -n "${BRIMLET_SIGN_PKCS12:-}" ]; then
    log "signed with $(basename "$BRIMLET_SIGN_PKCS12"): brimlet.exe, the installer, its uninstaller and the MSI"
else
    log "unsigned: brimlet.exe, the installer and the MSI (BRIMLET_SIGN_PKCS12 names no certificate)"
fi
