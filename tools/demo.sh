#!/usr/bin/env bash
# Installs what is missing, builds, and runs the sample script (examples/sample) in the
# window. Without a display it runs the sample on a private Xvfb instead, drives it for
# a few seconds with xdotool, saves a screenshot as demo.png at the repository's top,
# and exits. The sample runs in a copy, so its variable.txt in the repository stays clean.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/build.sh build >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cp examples/sample/* "$work/"

if [ -n "${DISPLAY:-}" ]; then
    VELMORA_HOME="$work" build/bin/velmora
    exit
fi

# A private X server; -retro draws the classic weave, which shows through the cut-out parts.
Xvfb -displayfd 3 -screen 0 1024x768x24 -retro -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

VELMORA_HOME="$work" QT_QPA_PLATFORM=xcb build/bin/velmora 2>/dev/null &
pids+=($!)
win=$(timeout 20 xdotool search --sync --onlyvisible --name '^velmora サンプル$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"   # X, Y, WIDTH, HEIGHT
at() {  # at X Y [xdotool command...]: the pointer to a window pixel, then the command
    local x=$1 y=$2
    shift 2
    xdotool mousemove $((X + x)) $((Y + y)) "$@"
}
# Waits until the keyboard moves to another window than before the last action: a
# dialog opened and took it.
focus_before() { before=$(xdotool getwindowfocus 2>/dev/null || echo none); }
dialog_open() {
    for _ in $(seq 100); do
        now=$(xdotool getwindowfocus 2>/dev/null || echo none)
        [ "$now" != "$before" ] && [ "$now" != "$win" ] && return
        sleep 0.1
    done
}

sleep 1
focus_before
at 120 160 click 1        # the first choice: tell your name
dialog_open
xdotool type --delay 60 'Taro'
xdotool key Return        # OK in the input dialog
sleep 4                   # the greeting, then back to the menu
xdotool windowfocus "$win"
xdotool key Down          # move the highlight to the quiz
sleep 0.5
build/bin/velmora_screenshot demo.png $((X - 24)) $((Y - 24)) $((WIDTH + 48)) $((HEIGHT + 48)) 2>/dev/null
echo "demo: saved demo.png"
focus_before
xdotool key Escape        # asks before closing
dialog_open
xdotool key Return        # OK: the [exit] section says goodbye, the program ends
for _ in $(seq 50); do kill -0 "${pids[1]}" 2>/dev/null || break; sleep 0.1; done
