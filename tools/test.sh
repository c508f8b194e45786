#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test: once in the normal build and once
# under AddressSanitizer and UBSan. Window tests run on a private Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

run_suite() {
    local dir=$1
    shift
    tools/build.sh "$dir" "$@"
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${VELMORA_SKIP_SANITIZE:-0}" != 1 ]; then
    ASAN_OPTIONS=detect_leaks=0 run_suite build-asan -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF
fi
