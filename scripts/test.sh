#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite, each in a
# build folder of its own under build/:
#
#   win64  the Windows program against a static Qt for Windows (built once by
#          scripts/build-qt-mingw.sh, cached outside the clone), its package
#          and installer; its tests run under wine
#   qt6    the program, driver and tools with Qt 6, and the Windows program
#          of build/win64 end to end under wine
#   qt5    the same with Qt 5.15, without wine
#   win32  the driver DLL and the Qt-free parts for 32-bit Windows (mingw-w64), run under wine
#   asan   clang with AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets
#
#   bash scripts/test.sh [SUITE...]     (no SUITE: all of them, in this order)
#
# Tests that start a 32-bit program (the win32 suite and the
# 32-bit driver library under its host) need a machine whose kernel starts
# 32-bit programs; elsewhere CTest reports them as skipped, and the summary at
# the end names them and says why.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

all_suites=(win64 qt6 qt5 win32 asan)
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=("${all_suites[@]}")
for suite in "${suites[@]}"; do
    case " ${all_suites[*]} " in
        *" $suite "*) ;;
        *) echo "usage: bash scripts/test.sh [SUITE...]   SUITE: ${all_suites[*]}" >&2; exit 64 ;;
    esac
done

bash scripts/install-deps.sh test

jobs=$(nproc)
build_root=${DORVANTIS_BUILD_ROOT:-$top/build}

# Wine runs its programs' sockets in the wineserver, so a cross suite runs
# whole in namespaces of its own, where its wineserver starts.
isolate=()
if sh cmake/isolated.sh true 2>/dev/null; then
    isolate=(sh "$top/cmake/isolated.sh")
fi

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

run_suite() {
    local name=$1; shift
    local dir=$build_root/$name
    echo "=== $name: configure and build"
    local start=$SECONDS
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DDORVANTIS_WERROR=ON "$@"
    cmake --build "$dir" -j "$jobs"
    echo "=== $name: built in $((SECONDS - start)) s; running tests"
    local log=$dir/ctest-output.txt
    case $name in
        win*) (cd "$dir" && "${isolate[@]}" ctest --output-on-failure -j "$jobs") | tee "$log" ;;
        *) (cd "$dir" && ctest --output-on-failure -j "$jobs") | tee "$log" ;;
    esac
    note_skipped "$name" "$log" "$dir/skipped-tests.txt"
}

# Every test CTest skipped must be one that configuring registered as skipped
# (skipped-tests.txt: "name: reason"); the summary groups them by reason.
note_skipped() {
    local name=$1 log=$2 known=$3 test reason
    local -A by_reason=()
    while read -r test; do
        reason=$(grep -m1 "^$test: " "$known" 2>/dev/null | cut -d' ' -f2-) || true
        if [ -z "$reason" ]; then
            echo "=== $name: $test was skipped for no known reason" >&2
            exit 1
        fi
        by_reason[$reason]+=" $test"
    done < <(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log")
    for reason in "${!by_reason[@]}"; do
        echo "$name: skipped${by_reason[$reason]}: $reason" >>"$summary"
    done
    [ ${#by_reason[@]} -gt 0 ] || echo "$name: all tests ran" >>"$summary"
}

for suite in "${suites[@]}"; do
    case $suite in
        win64)
            qt_prefix=$(bash scripts/build-qt-mingw.sh | tail -n 1)
            run_suite win64 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/x86_64-w64-mingw32.cmake" \
                -DDORVANTIS_WIN_QT_PREFIX="$qt_prefix"
            ;;
        qt6)
            windows=
            [ -e "$build_root/win64/app/Dorvantis.exe" ] && windows=$build_root/win64
            run_suite qt6 -DDORVANTIS_QT_MAJOR=6 -DDORVANTIS_WINDOWS_BUILD="$windows"
            ;;
        qt5) run_suite qt5 -DDORVANTIS_QT_MAJOR=5 ;;
        win32) run_suite win32 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/i686-w64-mingw32.cmake" ;;
        asan)
            # Leaks inside the platform's own libraries are suppressed; leaks
            # in our code stay fatal.
            (
                sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
                export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
                export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
                export LSAN_OPTIONS=suppressions=$top/tests/hardening/lsan.supp:print_suppressions=0
                run_suite asan -DDORVANTIS_QT_MAJOR=6 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
                    -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" -DDORVANTIS_FUZZ=ON
            )
            ;;
    esac
done

echo "=== Summary"
cat "$summary"
