#!/usr/bin/env bash
# Runs the form snapshot program under Wine on the current X display, captures its window
# as a PNG once it is up, then tells it to close. Usage: capture-form-snapshot.sh EXE PNG
set -euo pipefail
exe=$1
png=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ -n "${DISPLAY:-}" ] || { echo "no X display: run under scripts/test or start_display" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
done_file="$work/done"
rm -f "$png"

# Wine's drive Z: is the Unix root.
"$here/scripts/wine-run" "$exe" "Z:${done_file//\//\\}" &
program=$!

window=$(timeout 60 xdotool search --sync --onlyvisible --name 'forms-snapshot' | head -n 1) || true
if [ -z "$window" ]; then
  touch "$done_file"
  wait "$program" || true
  echo "the form window did not appear" >&2
  exit 1
fi
sleep 2
import -window "$window" "$png" || import -window root "$png"
touch "$done_file"
status=0
wait "$program" || status=$?
[ "$status" -eq 0 ] || { echo "the snapshot program ended with $status" >&2; exit 1; }

# A drawn form has many colours (text, edges, icon); a blank capture has one or two.
colours=$(identify -format '%k' "$png")
echo "captured $png: $(identify -format '%wx%h' "$png"), $colours colours"
[ "$colours" -gt 8 ] || { echo "the capture looks blank" >&2; exit 1; }
