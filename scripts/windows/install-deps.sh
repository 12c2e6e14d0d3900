#!/bin/sh
# Installs what cross-building Brimlet for Windows and testing it under Wine
# needs on Debian 12 (the compilers, Wine, NSIS for the per-user installer,
# wixl for the MSI, osslsigncode for signing, python3-pefile to read the
# program's resources back), and turns on Debian's source packages, from
# which the Windows toolchain is built. A second run only checks.
set -eu

packages="
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine wine64 nsis zip unzip imagemagick
    wixl msitools osslsigncode openssl python3-pefile
    dpkg-dev patch xz-utils locales
"

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    as_root="need-root"
fi
run_as_root() {
    if [ "$as_root" = need-root ]; then
        echo "This needs root or sudo: $*" >&2
        exit 1
    fi
    $as_root "$@"
}

# The toolchain comes from `apt-get source`, which needs deb-src entries.
update=""
sources=/etc/apt/sources.list.d/debian.sources
if [ -f "$sources" ] && grep -q '^Types: deb$' "$sources"; then
    run_as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
    update=yes
elif [ ! -f "$sources" ] && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    echo "No deb-src entries in the apt sources; add them for 'apt-get source'." >&2
    exit 1
fi

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    update=yes
fi
[ -n "$update" ] && run_as_root apt-get update -q
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    # shellcheck disable=SC2086
    run_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi
# The Wine tests write archives in a Russian and a Greek locale.
for locale in ru_RU el_GR; do
    locale -a | grep -qx "$locale.utf8" || run_as_root localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
done
exit 0
