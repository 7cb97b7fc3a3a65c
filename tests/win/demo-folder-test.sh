#!/usr/bin/env bash
# The demo watching a real folder, end to end under Wine: it starts on a folder of its
# own, start is pressed, files change from the Linux side (and once through Win32 calls
# of a Windows program, cmd's ren), and each change's line must appear in the window,
# exactly, within ten seconds. After stop no line comes; close ends the process with 0;
# the folder holds what the changes made, nothing more. A folder that is not there is
# refused with exit code 2 and a line on standard error, and no window.
# Usage: demo-folder-test.sh DEMO_EXE TOOL_EXE WORK_DIR
set -euo pipefail
demo=$1
tool=$2
work=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$here/scripts/lib.sh"
[ -n "${DISPLAY:-}" ] || { echo "no X display: run under scripts/test" >&2; exit 1; }

mkdir -p "$work"
status=0
refusal=$("$here/scripts/wine-run" "$demo" "Z:${work//\//\\}\\not-there" 2>&1) || status=$?
[ "$status" -eq 2 ] && [[ $refusal == *"not a folder"* ]] ||
  { echo "FAILED: a missing folder gave $status: $refusal" >&2; exit 1; }

folder=$(mktemp -d "$work/demo-folder.XXXXXX")
winfolder="Z:${folder//\//\\}"
echo old >"$folder/old.txt"
mkdir "$folder/keep"

finish() {
  end_window
  rm -rf "$folder"
}
trap finish EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

launch_window "$tool" "$demo" "$winfolder" || fail "the demo's window did not appear"
hwnd=$window_hwnd
launcher=$window_launcher
tool() { "$here/scripts/wine-run" "$tool" "$@"; }

tool press "$hwnd" 112  # 开始

expected=()
# change LINE COMMAND...: runs the command in the folder and waits for LINE to show.
change() {
  local line=$1
  shift
  (cd "$folder" && "$@")
  expected+=("$line")
  tool wait-lines "$hwnd" 111 "${#expected[@]}" 10 ||
    fail "no line within ten seconds for: $line; the window shows:
$(tool text "$hwnd" 111)"
}
change '[新建文件] C:\demo\a.txt' touch a.txt
change '[文件修改] C:\demo\a.txt' sh -c 'echo hello >>a.txt'
change '[新建文件] C:\demo\sub' mkdir sub
change '[重命名] C:\demo\b.txt  (原名:a.txt)' mv a.txt b.txt
change '[移动] C:\demo\sub\b.txt  (原位置:C:\demo\b.txt)' mv b.txt sub/
change '[彻底删除] C:\demo\sub\b.txt' rm sub/b.txt
change '[彻底删除] C:\demo\sub' rmdir sub
# Made elsewhere and moved in whole: one new file.
printf 'report\n' >"$work/c.partial"
change '[新建文件] C:\demo\c.txt' mv "$work/c.partial" c.txt
# Through Win32 calls (MoveFileW) of a Windows program.
change '[重命名] C:\demo\renamed.txt  (原名:old.txt)' \
  wine64 cmd /c ren "$winfolder\\old.txt" renamed.txt

shown=$(tool text "$hwnd" 111)
mapfile -t lines <<<"$shown"
[ "${#lines[@]}" -eq "${#expected[@]}" ] ||
  fail "${#lines[@]} lines instead of ${#expected[@]}:
$shown"
for i in "${!expected[@]}"; do
  [[ ${lines[$i]} =~ ^[0-2][0-9]:[0-5][0-9]:[0-5][0-9](.*)$ ]] || fail "no time in: ${lines[$i]}"
  [ "${BASH_REMATCH[1]}" = "${expected[$i]}" ] || fail "line $((i + 1)): '${BASH_REMATCH[1]}', expected '${expected[$i]}'"
done

tool press "$hwnd" 110  # 停止
touch "$folder/after-stop.txt"
sleep 1
after=$(tool text "$hwnd" 111)
[ "$after" = "$shown" ] || fail "a line came after stop:
$after"

tool close "$hwnd"
status=0
for _ in $(seq 150); do
  kill -0 "$launcher" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$launcher" 2>/dev/null && fail "the demo did not end within 30 seconds of the close"
wait "$launcher" || status=$?
[ "$status" -eq 0 ] || fail "the demo ended with $status"

contents=$(cd "$folder" && find . | LC_ALL=C sort | tr '\n' ' ')
[ "$contents" = ". ./after-stop.txt ./c.txt ./keep ./renamed.txt " ] ||
  fail "the folder holds: $contents"
echo "${#expected[@]} lines as expected; stop, close and exit code 0"
