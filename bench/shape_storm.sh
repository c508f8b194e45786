#!/usr/bin/env bash
# The finest skin (640 x 480 single-pixel checkerboard) under a window manager, openbox
# on a private Xvfb: how long until the script's first line runs when the window starts
# with that skin, and when a shown window switches to it with `background`, and how long
# the X server then takes to answer another client. Usage: bench/shape_storm.sh [BUILD]
# With WM=none the same runs without a window manager, for comparison.
set -euo pipefail
build=${1:-build}
velmora=$(realpath "$build/bin/velmora")
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Two 640 x 480 skins: the checkerboard (magenta cut away) and a plain opaque one.
python3 - "$work" <<'PY'
import struct, sys
def bmp(path, pixel):
    w, h = 640, 480
    rows = b"".join(b"".join(pixel(x, y) for x in range(w)) for y in range(h - 1, -1, -1))
    head = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0)
    open(path, "wb").write(head + rows)
bmp(sys.argv[1] + "/checker.bmp", lambda x, y: b"\xff\x00\xff" if (x + y) % 2 else b"\xe0\xf0\xf0")
bmp(sys.argv[1] + "/plain.bmp", lambda x, y: b"\xe0\xf0\xf0")
PY

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
if [ "${WM:-openbox}" != none ]; then
    openbox --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
fi

now() { date +%s.%N; }
ms() { echo "($2 - $1) * 1000 / 1" | bc; }
# Waits until variable.txt holds the line; the time it was seen.
seen() {
    until grep -q "^$1\$" "$work/variable.txt" 2>/dev/null; do sleep 0.01; done
    now
}
# How long the server takes to answer a round trip of another client.
answer() {
    local t0
    t0=$(now)
    xprop -root _NET_SUPPORTED >/dev/null
    ms "$t0" "$(now)"
}

run() {  # name, first skin, script
    printf '[default]\nbackground=%s\nwindows_pos=20,20,660,500\n' "$2" >"$work/variable.txt"
    printf '%b' "$3" >"$work/code.txt"
    local t0 ta tb
    t0=$(now)
    VELMORA_HOME="$work" "$velmora" >/dev/null 2>&1 &
    local pid=$!
    ta=$(seen "a=1")
    tb=$(seen "b=1")
    echo "$1: first line $(ms "$t0" "$ta") ms, switch $(ms "$ta" "$tb") ms, server answers in $(answer) ms"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}

for round in 1 2 3; do
    run "start with checkerboard ($round)" checker.bmp '[main]\nset,a,1\nset,b,1\npause\n'
    run "switch to checkerboard ($round)" plain.bmp \
        '[main]\nset,a,1\nbackground,checker.bmp\nset,b,1\npause\n'
done
