#!/usr/bin/env bash
# Builds the static Qt that the 64-bit Windows program links against, from
# Debian's own qtbase source (the version of the installed host tools, whose
# moc, rcc and uic the cross build uses), and installs it into a cache folder
# outside the clone. The install is stamped with the source version and the
# options below; when the stamp matches, this does nothing.
#
# Prints the install prefix on standard output, everything else on standard
# error. The first build takes about
# 30 minutes on 2 cores (up to an hour while other work runs).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

cache=${DORVANTIS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/dorvantis}
debian_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
upstream=${debian_version%%+*}
upstream=${upstream%%-*}
prefix=$cache/qt-$upstream-x86_64-w64-mingw32-static

# What goes into the stamp: change any of it and Qt is built again.
options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DFEATURE_static_runtime=ON
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    # Core, Gui, Widgets, Network and Test; the windows, offscreen and
    # minimal platform plugins and the windowsvista style come with them.
    -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF
    # As configure's -no-opengl: FEATURE_opengl=OFF alone leaves dynamic GL
    # on, and the windows platform plugin then fails to compile.
    -DINPUT_opengl=no
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF
    -DFEATURE_openssl=OFF
    # Debian's source drops the wintab headers.
    -DFEATURE_tabletevent=OFF
    # With it every program fails to link (QWindowsDirectWriteFontDatabase).
    -DFEATURE_directwrite3=OFF
    # The offscreen plugin, which the GUI tests use, needs FreeType.
    -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF
)
stamp="qt6-base $debian_version; ${options[*]}"

# One build at a time, also when two test runs start together.
mkdir -p "$cache"
exec 9>"$cache/qt.lock"
flock 9

if [ -f "$prefix/dorvantis-stamp" ] && [ "$(cat "$prefix/dorvantis-stamp")" = "$stamp" ]; then
    echo "=== Qt for Windows is up to date: $prefix" >&2
    echo "$prefix"
    exit 0
fi

# The source comes through apt: add a deb-src entry for this release if the
# machine has none.
if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base'; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "=== Qt for Windows: adding Debian source packages for $codename" >&2
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$codename" "$codename" | "${sudo[@]}" tee /etc/apt/sources.list.d/dorvantis-src.sources >/dev/null
    "${sudo[@]}" apt-get update -q >&2
fi

# An interrupted build of the same source resumes where it stopped.
work=$cache/qt-work
if [ "$(cat "$work/source-version" 2>/dev/null)" != "$debian_version" ]; then
    rm -rf "$work"
    mkdir -p "$work/src"
    echo "=== Qt for Windows: fetching qt6-base $debian_version" >&2
    (cd "$work/src" && apt-get source -q "qt6-base=$debian_version") >&2
    echo "$debian_version" > "$work/source-version"
fi
src=$(find "$work/src" -maxdepth 1 -mindepth 1 -type d -name 'qt6-base-*' | head -1)

echo "=== Qt for Windows: configuring" >&2
start=$SECONDS
cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/x86_64-w64-mingw32.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    "${options[@]}" > "$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; exit 1; }
echo "=== Qt for Windows: building (about 30 minutes on 2 cores)" >&2
cmake --build "$work/build" -j "$(nproc)" > "$work/build.log" || { tail -40 "$work/build.log" >&2; exit 1; }
rm -rf "$prefix"
cmake --install "$work/build" > /dev/null
echo "$stamp" > "$prefix/dorvantis-stamp"
echo "=== Qt for Windows: built in $((SECONDS - start)) s" >&2
rm -rf "$work"
echo "$prefix"
