#!/usr/bin/env bash
# Builds and runs every benchmark in bench/; each prints its own figures.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh bench  # ab and nginx for bench/web_server.sh
tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
for b in build/bin/*_bench bench/*.sh; do
    echo "== $(basename "$b")"
    "$b"
done
for b in bench/*.mjs; do
    echo "== $(basename "$b")"
    node "$b"
done
