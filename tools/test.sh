#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: once in the normal build and once
# under AddressSanitizer, UBSan and LeakSanitizer, then every fuzz target briefly on its
# seed corpus. Window tests run on a private Xvfb display; every test process has a
# private HOME and XDG folders, and the user's HOME is checked to be left as it was.
#   tools/test.sh               the whole run (what CI runs)
#   tools/test.sh --repeat N    the normal build's tests N times in a row, for flakiness
# VELMORA_SKIP_SANITIZE=1 and VELMORA_SKIP_FUZZ=1 leave those parts out;
# VELMORA_FUZZ_SECONDS sets each fuzz target's time (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

repeat=0
while (($#)); do
    case $1 in
    --repeat)
        repeat=${2:?--repeat needs a count}
        shift 2
        ;;
    *)
        echo "usage: tools/test.sh [--repeat N]" >&2
        exit 2
        ;;
    esac
done

tools/setup.sh

passed=0
failed=0
log=$(mktemp)
failures=$(mktemp)
trap 'rm -f "$log" "$failures" "${marker:-}"' EXIT

# Runs the tests of a build folder; adds its counts to the totals, false when any failed.
run_ctest() {
    local dir=$1 status=0
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 2>&1 | tee "$log" ||
        status=1
    local summary
    summary=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
    # Kept for the closing summary: CI shows only the end of a long output.
    grep -E '^\s+[0-9]+ - .*\((Failed|Timeout|Exception|Subprocess|SEGFAULT|Not Run)' "$log" |
        sed "s|^|$dir: |" >>"$failures" || true
    if [ -n "$summary" ]; then
        local bad total
        read -r bad _ _ _ _ total <<<"$summary"
        failed=$((failed + bad))
        passed=$((passed + total - bad))
    else
        failed=$((failed + 1))  # ctest itself failed
    fi
    return $status
}

# Files in the user's HOME changed since the marker: a test that wrote there. The first
# 20 only; awk reads to the end, since head would stop find with SIGPIPE, which
# pipefail turns into the script's end without a summary.
home_changes() {
    # find fails on a folder it may not read; what it found is still the answer.
    { find "$HOME" -xdev -path "$PWD" -prune -o -newer "$marker" -print 2>/dev/null || true; } |
        awk 'NR <= 20'
}

status=0
if ((repeat > 0)); then
    tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    runs_failed=0
    start=$(date +%s)
    for ((i = 1; i <= repeat; i++)); do
        run_start=$(date +%s)
        if run_ctest build >/dev/null; then result=passed; else
            result=FAILED
            runs_failed=$((runs_failed + 1))
            cp "$log" "build/Testing/repeat-$i.log"
            grep -E '\((Failed|Timeout|Exception)\)' "$log" || true
            echo "repeat: the run's output is in build/Testing/repeat-$i.log"
        fi
        echo "repeat: run $i of $repeat $result in $(($(date +%s) - run_start)) s"
    done
    echo "repeat: $repeat runs, $runs_failed failed, $(($(date +%s) - start)) s"
    echo "$passed passed, $failed failed"
    ((runs_failed == 0))
    exit
fi

marker=$(mktemp)
touch "$marker"
tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_ctest build || status=1
# Leak detection is on; tests/lsan.supp names what libraries keep by design. The
# variables cover the test discovery too, which runs outside the tests' properties.
asan_options=detect_leaks=1
lsan_options="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
if [ "${VELMORA_SKIP_SANITIZE:-0}" != 1 ]; then
    tools/build.sh build-asan -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF
    ASAN_OPTIONS=$asan_options LSAN_OPTIONS=$lsan_options run_ctest build-asan || status=1
fi

changed=$(home_changes)
if [ -n "$changed" ]; then
    echo "test.sh: the tests changed the user's HOME ($HOME):" >&2
    echo "$changed" >&2
    # Outside CI other programs of the user may have written there meanwhile.
    if [ "${CI:-}" = true ]; then
        status=1
        failed=$((failed + 1))
    fi
fi

if [ "${VELMORA_SKIP_FUZZ:-0}" != 1 ]; then
    if tools/fuzz.sh "${VELMORA_FUZZ_SECONDS:-20}"; then
        passed=$((passed + $(wc -l <build-fuzz/fuzzers.txt)))
    else
        status=1
        failed=$((failed + 1))
    fi
fi

if [ -s "$failures" ]; then
    # Once more, each failed test alone, so that its output ends CI's short log too; the
    # run stays failed whatever the second attempt shows.
    for dir in $(cut -d: -f1 "$failures" | sort -u); do
        echo "test.sh: the failed tests of $dir once more:"
        ASAN_OPTIONS=$asan_options LSAN_OPTIONS=$lsan_options xvfb-run -a -s "-screen 0 1280x1024x24" \
            ctest --test-dir "$dir" --rerun-failed --output-on-failure --timeout 300 2>&1 |
            tail -60 || true
    done
    echo "test.sh: failed tests:"
    cat "$failures"
fi
echo "test.sh: $passed passed, $failed failed"
exit $status
