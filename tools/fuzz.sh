#!/usr/bin/env bash
# Fuzzes the web server's request reading for a bounded time (default 60 seconds):
# tools/fuzz.sh [seconds]. Builds a clang build with libFuzzer, ASan and UBSan in
# build-fuzz/; crashes are written to build-fuzz/fuzz-crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
tools/setup.sh fuzz
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j2 --target web_fuzz
corpus=build-fuzz/fuzz-corpus
mkdir -p "$corpus" build-fuzz/fuzz-crashes
build-fuzz/bin/web_fuzz -max_total_time="$seconds" -max_len=1100 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/fuzz-crashes/ "$corpus" tests/net/fuzz/seeds
