#!/usr/bin/env bash
# Installs what is missing, builds the system and starts Dorvantis.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/install-deps.sh

dir=${DORVANTIS_BUILD_ROOT:-$top/build}/release
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$dir" -j "$(nproc)"

# Without a display, show the whole system at work on a virtual one.
if [ -z "${DISPLAY:-}" ]; then
    exec bash scripts/demo.sh "$dir"
fi

exec "$dir/app/Dorvantis"
