#!/usr/bin/env bash
# Shows the whole system at work on a virtual display, all traffic on
# 127.0.0.1: Dorvantis starts with 127.0.0.1 chosen in its dialog, artnetsend
# sends a moving pattern to universes 0 to 3 (and a little to Port-Address
# 300, which feeds no record), dmxmonitor reads the values through the driver
# library as a visualiser host would, Dorvantis Monitor shows it all, and
# screenshots of the main window and of the monitor are saved. Everything is
# stopped again at the end.
#
#   bash scripts/demo.sh [build folder]     (default: build/release)
#
# Needs Xvfb, xdotool and ImageMagick's import (bash scripts/install-deps.sh demo).
source "$(dirname "$0")/lib.sh"
release_programs "${1:-}"
screenshot=$dir/dorvantis-demo.png
monitor_screenshot=$dir/dorvantis-monitor-demo.png
universes=0-3
seconds=5

for f in "$app" "$send" "$monitor" "$viewer" "$library"; do
    [ -e "$f" ] || { echo "demo: $f is missing; build first (bash scripts/run.sh)" >&2; exit 1; }
done
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "demo: $tool is missing (bash scripts/install-deps.sh demo)" >&2; exit 1; }
done
if command -v ss >/dev/null && ss -Huln 'sport = :6454' | grep -q .; then
    echo "demo: another program listens on UDP port 6454; stop it first" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvantis-demo.XXXXXX")
xvfb_pid=
app_pid=
send_pid=
viewer_pid=

stop() {
    local pid=$1 seconds=$2
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq $((seconds * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    stop "$viewer_pid" 2
    stop "$send_pid" 2
    stop "$app_pid" 5
    stop "$xvfb_pid" 5
    rm -rf "$work"
}
trap cleanup EXIT

start_display "$work"
echo "demo: virtual display $DISPLAY"

start_dorvantis "$app" "$work"
echo "demo: Select-IP dialog answered with the stored address 127.0.0.1"
echo "demo: Dorvantis is running (pid $app_pid)"

echo "demo: asking the node who it is"
"$send" --poll --timeout 1000 | sed 's/^/    /' || true

"$send" --universe "$universes" --pattern ramp --rate 44 &
send_pid=$!
echo "demo: artnetsend sends a moving ramp to universes $universes at 44 frames/s"
"$send" --universe 300 --channels 1-8=200 >/dev/null
echo "demo: artnetsend sends one frame to Port-Address 300, which feeds no record"

"$viewer" >"$work/viewer.log" 2>&1 &
viewer_pid=$!
viewer_window=$(find_window '^Dorvantis Monitor$') || { echo "demo: Dorvantis Monitor did not appear" >&2; exit 1; }
echo "demo: Dorvantis Monitor is running (pid $viewer_pid)"

echo "demo: dmxmonitor reads channels 1-12 through the driver library, once a second"
"$monitor" --once --library "$library" --universe "$universes" --channels 1-12 | grep -v '^universe' | sed 's/^/    /'
for _ in $(seq "$seconds"); do
    sleep 1
    "$monitor" --once --library "$library" --universe "$universes" --channels 1-12 | grep '^universe' | sed 's/^/    /'
    echo
done

import -window "$main_window" "$screenshot"
echo "demo: screenshot of the main window: $screenshot"
import -window "$viewer_window" "$monitor_screenshot"
echo "demo: screenshot of Dorvantis Monitor: $monitor_screenshot"
stop "$viewer_pid" 2
viewer_pid=

stop "$send_pid" 2
send_pid=

# Quit through the File menu, as a user would; closing the window only hides it.
xdotool windowfocus --sync "$main_window"
xdotool key --clearmodifiers alt+f
sleep 0.3
xdotool key --clearmodifiers q
for _ in $(seq 50); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
    # Leave no message box behind on the way out.
    for box in $(xdotool search --onlyvisible --name '^Systray$' 2>/dev/null); do
        xdotool windowfocus --sync "$box" key --clearmodifiers Return 2>/dev/null || true
    done
    echo "demo: Dorvantis did not quit from its menu; stopping it" >&2
else
    wait "$app_pid" && echo "demo: Dorvantis quit with exit code 0" || echo "demo: Dorvantis quit with exit code $?"
fi
app_pid=
