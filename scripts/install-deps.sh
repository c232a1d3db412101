#!/usr/bin/env bash
# Installs what is missing on Debian 12, and nothing that is there already.
# Works as root and through sudo.
#
#   bash scripts/install-deps.sh run    building and running the program, the
#                                       driver library and the tools (and the
#                                       demo's virtual display without $DISPLAY)
#   bash scripts/install-deps.sh demo   the same with the demo's virtual display
#   bash scripts/install-deps.sh test   everything the test suites need as well
set -euo pipefail

mode=${1:-test}

# The program, the driver library and the tools.
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libncurses-dev
)
# The demo that run.sh shows where there is no display.
demo=(xvfb xauth xdotool imagemagick iproute2)
# The test suites: Qt 5, the Windows builds and wine, the virtual display
# with a real tray, the sanitizer build, network namespaces.
tests=(
    qtbase5-dev qtbase5-dev-tools qt5-style-plugins
    g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32 wine64
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 dpkg-dev
    nsis zip unzip fonts-wine trayer
    x11-utils libx11-dev
    clang libclang-rt-14-dev
    util-linux
)

case $mode in
    run) [ -n "${DISPLAY:-}" ] || packages+=("${demo[@]}") ;;
    demo) packages+=("${demo[@]}") ;;
    test) packages+=("${demo[@]}" "${tests[@]}") ;;
    *) echo "usage: bash scripts/install-deps.sh [run|demo|test]" >&2; exit 64 ;;
esac

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi

# wine32 runs the 32-bit Windows builds and needs the i386 architecture.
need_update=
if [ "$mode" = test ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
elif [ -n "$need_update" ]; then
    "${sudo[@]}" apt-get update -q
fi
