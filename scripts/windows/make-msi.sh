#!/bin/sh
# Makes Brimlet's Windows Installer package (dist/windows/brimlet.wxs) with
# wixl from a folder laid out as the program is installed:
#   scripts/windows/make-msi.sh <program folder> <version x.y.z> <package.msi> [<icon.ico>]
# build.sh makes the shipped one; the Wine tests make an older one with it.
# The icon is the one its entry in Apps shows (resources/icon.ico unless given).
# Where the environment names a certificate (sign.sh), the package is signed.
set -eu
deploy=$(cd "$1" && pwd)
version=$2
msi=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
cd "$(dirname "$0")/../.."
icon=$(cd "$(dirname "${4:-resources/icon.ico}")" && pwd)/$(basename "${4:-resources/icon.ico}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every file but the program, which brimlet.wxs names itself (its shortcut
# goes with it).
(cd "$deploy" && find . -type f ! -path ./brimlet.exe | LC_ALL=C sort) \
    | wixl-heat -p ./ --component-group Files --var var.Deploy --directory-ref INSTALLDIR --win64 \
    >"$work/files.wxs"
# The product code follows from the version: the same version is the same
# product to Windows Installer; another version is another product, which
# MajorUpgrade replaces.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' dist/windows/brimlet.wxs)
product_code=$(/usr/bin/python3 -c 'import sys, uuid; print(uuid.uuid5(uuid.UUID(sys.argv[1]), "Brimlet " + sys.argv[2]))' \
    "$upgrade_code" "$version")
# wixl looks for the files it packs relative to the folder it runs in.
ln -s "$deploy" "$work/program"
cp "$icon" "$work/brimlet.ico"
cp dist/windows/brimlet.wxs "$work/"
(cd "$work" && wixl -a x64 -o "$msi" \
    -D Version="$version" -D ProductCode="$product_code" -D Deploy=program -D Icon=brimlet.ico -D Win64=yes \
    brimlet.wxs files.wxs 2>wixl.log) || { cat "$work/wixl.log" >&2; exit 1; }
./scripts/windows/sign.sh "$msi"
