#!/usr/bin/env bash
# Runs a command with a private HOME and XDG folders, removed afterwards: the wrapper of
# the tests that are not test programs of ours (the package test, the browser test).
set -euo pipefail
root=$(mktemp -d "${TMPDIR:-/tmp}/velmora-home-XXXXXX")
trap 'rm -rf "$root"' EXIT
for pair in HOME:home XDG_CONFIG_HOME:config XDG_DATA_HOME:data XDG_CACHE_HOME:cache \
    XDG_STATE_HOME:state XDG_RUNTIME_DIR:runtime; do
    mkdir -m 700 "$root/${pair#*:}"
    export "${pair%%:*}=$root/${pair#*:}"
done
"$@"
