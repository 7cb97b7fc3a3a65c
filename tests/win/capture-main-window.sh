#!/usr/bin/env bash
# Runs the demo under Wine on the current X display, presses start through the window (by
# the button's control id), lets lines arrive and captures the main window as a PNG, with
# the window put above any other on the display.
# Usage: capture-main-window.sh DEMO_EXE TOOL_EXE PNG
set -euo pipefail
exe=$1
tool=$2
png=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ -n "${DISPLAY:-}" ] || { echo "no X display: run under scripts/test" >&2; exit 1; }
rm -f "$png"
source "$here/scripts/lib.sh"
trap end_window EXIT
launch_window "$tool" "$exe" || { echo "the main window did not appear" >&2; exit 1; }
hwnd=$window_hwnd
xwindow=$window_x11
[ "$xwindow" != 0 ] || { echo "the window has no X11 window to capture" >&2; exit 1; }
"$here/scripts/wine-run" "$tool" press "$hwnd" 112
sleep 8
"$here/scripts/wine-run" "$tool" top "$hwnd"
import -window "$xwindow" "$png"
"$here/scripts/wine-run" "$tool" close "$hwnd"
wait "$window_launcher" || { echo "the demo did not end with 0" >&2; exit 1; }
colours=$(identify -format '%k' "$png")
echo "captured $png: $(identify -format '%wx%h' "$png"), $colours colours"
[ "$colours" -gt 8 ] || { echo "the capture looks blank" >&2; exit 1; }
