#!/bin/sh
# Installs what building, running and testing Brimlet needs on Debian 12.
# Only packages that are missing are installed, so a second run is quick.
set -eu

packages="
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-image-formats-plugins
    libgl-dev fonts-noto-core
    7zip
    xvfb xauth xdotool x11-utils imagemagick openbox
    dbus dbus-x11 at-spi2-core python3 python3-pyatspi
"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "These packages are missing and installing them needs root or sudo:$missing" >&2
    exit 1
fi

echo "Installing:$missing"
$as_root apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
