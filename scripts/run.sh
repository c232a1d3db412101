#!/usr/bin/env bash
# Installs what is missing, builds the system and starts Dorvantis.
source "$(dirname "$0")/lib.sh"

bash scripts/install-deps.sh run
build_release

# Without a display, show the whole system at work on a virtual one.
if [ -z "${DISPLAY:-}" ]; then
    exec bash scripts/demo.sh "$release_dir"
fi

exec "$release_dir/app/Dorvantis"
