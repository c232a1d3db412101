#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the program and
# driver with Qt 6 and with Qt 5.15, and the Windows builds (mingw-w64, run
# under wine).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/install-deps.sh

jobs=$(nproc)
build_root=${DORVANTIS_BUILD_ROOT:-$top/build}

run_suite() {
    local name=$1; shift
    local dir=$build_root/$name
    echo "=== $name: configure and build"
    local start=$SECONDS
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DDORVANTIS_WERROR=ON "$@"
    cmake --build "$dir" -j "$jobs"
    echo "=== $name: built in $((SECONDS - start)) s; running tests"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

run_suite qt6 -DDORVANTIS_QT_MAJOR=6
run_suite qt5 -DDORVANTIS_QT_MAJOR=5
run_suite win32 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/i686-w64-mingw32.cmake"
