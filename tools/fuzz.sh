#!/usr/bin/env bash
# Fuzzes for a bounded time: tools/fuzz.sh [seconds] [target...] runs each libFuzzer target
# (all when none is named) for the given seconds (default 60) on its seed corpus plus a
# working corpus in build-fuzz/fuzz-corpus/NAME. Builds a clang build with ASan and UBSan in
# build-fuzz/; crashes go to build-fuzz/fuzz-crashes/NAME-*. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
tools/setup.sh fuzz
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
mkdir -p build-fuzz/fuzz-crashes
status=0
while IFS=$'\t' read -r name seeds flags; do
    if (($#)) && [[ " $* " != *" $name "* ]]; then
        continue
    fi
    corpus=build-fuzz/fuzz-corpus/$name
    mkdir -p "$corpus"
    echo "fuzz: $name for ${seconds}s"
    # shellcheck disable=SC2086 # flags are separate libFuzzer options
    build-fuzz/bin/"$name" -max_total_time="$seconds" -print_final_stats=1 $flags \
        -artifact_prefix=build-fuzz/fuzz-crashes/"$name"- "$corpus" "$seeds" || status=1
done <build-fuzz/fuzzers.txt
exit $status
