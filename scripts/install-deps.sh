#!/usr/bin/env bash
# Installs the Debian packages Velmora needs, only those that are missing.
set -euo pipefail
packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-serialport-dev libqt6sql6-sqlite qt6-multimedia-dev qt6-svg-dev
    libpugixml-dev libquazip1-qt6-dev libhidapi-dev libsqlite3-dev libboost1.81-dev tzdata
    xvfb xdotool dbus-daemon at-spi2-core python3-pyatspi python3-xlib
    clang libclang-rt-14-dev
    dpkg-dev desktop-file-utils appstream
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    echo "Installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
