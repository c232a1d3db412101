# Pieces shared by run.sh, demo.sh, interop-ola.sh and concurrent-tests.sh;
# sourced, not run. Sourcing it sets strict mode and makes the top folder
# ($top) the working one; $caller keeps the folder it was sourced from.
set -euo pipefail
caller=$PWD
cd "$(dirname "${BASH_SOURCE[0]}")/.."
top=$PWD

# Configures and builds the release folder (build/release, or below
# $DORVANTIS_BUILD_ROOT): the program, the driver library and the tools, no
# tests. Sets $release_dir to it.
build_release() {
    release_dir=${DORVANTIS_BUILD_ROOT:-$top/build}/release
    cmake -S "$top" -B "$release_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    cmake --build "$release_dir" -j "$(nproc)"
}

# The release build's programs in the folder given (relative to $caller), by
# default the one build_release makes: sets $dir, $app, $send, $monitor,
# $viewer (Dorvantis Monitor) and $library.
release_programs() {
    if [ -n "${1:-}" ]; then
        dir=$(cd "$caller" && cd "$1" && pwd) || return 1
    else
        dir=${DORVANTIS_BUILD_ROOT:-$top/build}/release
    fi
    app=$dir/app/Dorvantis
    send=$dir/tools/artnetsend
    monitor=$dir/tools/dmxmonitor
    viewer=$dir/monitor/DorvantisMonitor
    library=$dir/driver/libVdEthDMX.so
}

# Starts an Xvfb of its own (it picks a free number and writes it to fd 3),
# exports DISPLAY for it and sets $xvfb_pid. -noreset: without it Xvfb resets
# when its last client leaves and refuses the next one while it does.
start_display() {
    local work=$1
    Xvfb -displayfd 3 -noreset -screen 0 1440x900x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; return 1; }
    export DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb
}

find_window() {
    timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Starts Dorvantis on the current display with a home of its own, in which
# the address (127.0.0.1 unless given) is stored as the previous choice: the
# Select-IP dialog opens with it selected and is answered with Return, and the
# user's settings are never touched. Sets $app_pid and $main_window; the
# program's output goes to $work/dorvantis.log.
start_dorvantis() {
    local app=$1 work=$2 address=${3:-127.0.0.1} dialog
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
    mkdir -p "$XDG_CONFIG_HOME/Veldara Orvik"
    printf '[Network]\nip=%s\n' "$address" >"$XDG_CONFIG_HOME/Veldara Orvik/Dorvantis.conf"
    "$app" >"$work/dorvantis.log" 2>&1 &
    app_pid=$!
    dialog=$(find_window '^Select IP$') || { echo "the Select-IP dialog did not appear" >&2; return 1; }
    xdotool windowfocus --sync "$dialog" key --clearmodifiers Return
    main_window=$(find_window '^Veldara Dorvantis$') || { echo "the main window did not appear" >&2; return 1; }
}
