#!/usr/bin/env bash
# Stands in for the browser test when what it needs is missing: CI must run it, so there
# this fails; elsewhere it is skipped, and says so.
echo "net_browser: cannot run, missing: $*" >&2
if [ "${CI:-}" = true ]; then
    echo "net_browser: FAILED: CI runs the browser test; tools/setup.sh installs what it needs" >&2
    exit 1
fi
echo "net_browser: SKIPPED (run tools/setup.sh to install what it needs)" >&2
exit 77
