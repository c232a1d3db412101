#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, and nothing
# that is there already. Works as root and through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qtbase5-dev qtbase5-dev-tools qt5-style-plugins
    g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32 wine64
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev
    nsis zip unzip fonts-wine trayer
    xvfb xauth xdotool x11-utils imagemagick libx11-dev
    libncurses-dev
    clang libclang-rt-14-dev
    iproute2
)

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi

# wine32 runs the 32-bit Windows builds and needs the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
elif [ -n "${need_update:-}" ]; then
    "${sudo[@]}" apt-get update -q
fi
