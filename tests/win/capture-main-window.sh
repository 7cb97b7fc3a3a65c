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
launched=$(mktemp)

"$here/scripts/wine-run" "$tool" launch "$exe" >"$launched" &
launcher=$!
hwnd=""
finish() {
  if kill -0 "$launcher" 2>/dev/null; then
    [ -z "$hwnd" ] || "$here/scripts/wine-run" "$tool" end "$hwnd" || true
    kill "$launcher" 2>/dev/null || true
  fi
  wait "$launcher" 2>/dev/null || true
  rm -f "$launched"
}
trap finish EXIT

for _ in $(seq 300); do
  grep -q '^window ' "$launched" && break
  kill -0 "$launcher" 2>/dev/null || break
  sleep 0.2
done
read -r _ hwnd xwindow <"$launched" || true
[ -n "$hwnd" ] || { echo "the main window did not appear" >&2; exit 1; }
[ "${xwindow:-0}" != 0 ] || { echo "the window has no X11 window to capture" >&2; exit 1; }
"$here/scripts/wine-run" "$tool" press "$hwnd" 112
sleep 8
"$here/scripts/wine-run" "$tool" top "$hwnd"
import -window "$xwindow" "$png"
"$here/scripts/wine-run" "$tool" close "$hwnd"
wait "$launcher" || { echo "the demo did not end with 0" >&2; exit 1; }
colours=$(identify -format '%k' "$png")
echo "captured $png: $(identify -format '%wx%h' "$png"), $colours colours"
[ "$colours" -gt 8 ] || { echo "the capture looks blank" >&2; exit 1; }
