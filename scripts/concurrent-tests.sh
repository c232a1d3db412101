#!/usr/bin/env bash
# Shows that test runs never disturb each other or a running program: starts
# Dorvantis on a virtual display (working on 127.0.0.1, so holding UDP port
# 6454 and the universe data area), runs the test command in two fresh clones
# of this repository's HEAD at the same time, and checks that both runs pass
# and that the program is still at work afterwards.
#
#   bash scripts/concurrent-tests.sh [SUITE...]    (SUITE as for test.sh; default all)
#
# Takes about twice as long as one test run. Logs stay in the folder printed.
source "$(dirname "$0")/lib.sh"

bash scripts/install-deps.sh test
build_release >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvantis-concurrent.XXXXXX")
echo "concurrent: logs in $work"
xvfb_pid=
app_pid=
cleanup() {
    for pid in $app_pid $xvfb_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

start_display "$work"
start_dorvantis "$release_dir/app/Dorvantis" "$work"
"$release_dir/tools/artnetsend" --poll --timeout 2000 >"$work/poll-before.txt"
echo "concurrent: Dorvantis runs on 127.0.0.1 (pid $app_pid) and answers polls"

# The runs must not see this program's display or home.
unset DISPLAY QT_QPA_PLATFORM
export HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
unset XDG_CONFIG_HOME

start=$SECONDS
pids=()
for run in a b; do
    git clone -q "$top" "$work/$run"
    (cd "$work/$run" && bash scripts/test.sh "$@") >"$work/$run.log" 2>&1 &
    pids+=($!)
done
echo "concurrent: two test runs started in $work/a and $work/b"
results=()
for pid in "${pids[@]}"; do
    if wait "$pid"; then results+=(0); else results+=($?); fi
done
echo "concurrent: both runs ended after $((SECONDS - start)) s"

failed=0
for i in 0 1; do
    run=$([ "$i" -eq 0 ] && echo a || echo b)
    echo "--- run $run: exit code ${results[$i]}"
    grep -E '^=== |tests passed|tests failed|The following tests' "$work/$run.log" | sed 's/^/    /'
    [ "${results[$i]}" -eq 0 ] || failed=1
done

if kill -0 "$app_pid" 2>/dev/null && "$release_dir/tools/artnetsend" --poll --timeout 2000 >"$work/poll-after.txt"; then
    echo "--- Dorvantis is still running and still answers polls"
else
    echo "--- Dorvantis stopped or stopped answering during the runs" >&2
    failed=1
fi
kill -TERM "$app_pid"
if wait "$app_pid"; then echo "--- Dorvantis ended with exit code 0 on SIGTERM"; else echo "--- Dorvantis ended with exit code $?" >&2; failed=1; fi
app_pid=
exit $failed
