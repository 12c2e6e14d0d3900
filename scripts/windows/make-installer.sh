#!/bin/sh
# Makes Brimlet's Windows installer (dist/windows/brimlet.nsi) from a folder
# laid out as the program is installed:
#   scripts/windows/make-installer.sh <program folder> <version x.y.z> <setup.exe>
# build.sh makes the shipped one; the Wine tests make an older one with it.
# The uninstaller removes the files and folders laid out, by name, deepest
# folders first. Where the environment names a certificate (sign.sh), the
# installer and the uninstaller in it are signed.
set -eu
deploy=$(cd "$1" && pwd)
version=$2
setup=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
cd "$(dirname "$0")/../.."
lists=$(mktemp -d)
trap 'rm -rf "$lists"' EXIT

(cd "$deploy" && find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|') >"$lists/files.nsh"
(cd "$deploy" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|') >"$lists/folders.nsh"
sign=""
[ -n "${BRIMLET_SIGN_PKCS12:-}" ] && sign="-DSIGN=$(pwd)/scripts/windows/sign.sh"
makensis -V2 -DVERSION="$version" -DDEPLOY="$deploy" -DOUTFILE="$setup" \
    -DICON="$(pwd)/resources/icon.ico" \
    -DFILES="$lists/files.nsh" -DFOLDERS="$lists/folders.nsh" ${sign:+"$sign"} \
    dist/windows/brimlet.nsi >"$lists/makensis.log" 2>&1 || { cat "$lists/makensis.log" >&2; exit 1; }
./scripts/windows/sign.sh -n "Brimlet Setup" "$setup"
