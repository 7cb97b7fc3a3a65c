#!/usr/bin/env bash
# Runs the demo under Wine on the current X display, presses start, lets lines arrive and
# captures the main window as a PNG. Usage: capture-main-window.sh DEMO_EXE PNG
set -euo pipefail
exe=$1
png=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ -n "${DISPLAY:-}" ] || { echo "no X display: run under scripts/test" >&2; exit 1; }
rm -f "$png"

"$here/scripts/wine-run" "$exe" &
program=$!
finish() { kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true; }
trap finish EXIT

# This process's window, not another program's of the same title.
window=$(timeout 60 xdotool search --sync --all --onlyvisible --pid "$program" \
           --name '砚舟文件动态监控' | head -n 1) || true
[ -n "$window" ] || { echo "the main window did not appear" >&2; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(( (WIDTH - 598) / 2 ))
top=$(( HEIGHT - 494 - border ))
xdotool mousemove --window "$window" $(( border + 297 )) $(( top + 462 )) click 1
sleep 8
import -window "$window" "$png"
xdotool key --window "$window" Escape || true
colours=$(identify -format '%k' "$png")
echo "captured $png: $(identify -format '%wx%h' "$png"), $colours colours"
[ "$colours" -gt 8 ] || { echo "the capture looks blank" >&2; exit 1; }
