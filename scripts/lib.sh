# The settings every Wine run of the project shares, and the display and Wine server that
# scripts/test, scripts/run and scripts/bench-wine start once and stop on exit.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# One 64-bit prefix serves both Windows builds: 32-bit executables run in it under WoW64,
# with its file-system redirection, as the 32-bit program runs on 64-bit Windows.
default_prefix=$root/build/wineprefix
export WINEPREFIX=${WINEPREFIX:-$default_prefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine maps file names through the locale: without UTF-8 it cannot open 砚舟文件监控.exe.
export LC_ALL=C.UTF-8
# The loaders by name: Debian's `wine` picks the 32-bit one whenever it is installed, even
# where the kernel cannot execute it. VOL_WINE32_LOADER may point elsewhere (a missing
# file makes this machine act as one that cannot execute 32-bit programs).
wine32_loader=${VOL_WINE32_LOADER:-/usr/lib/wine/wine}
wine64_loader=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64

started_xvfb=""
started_wineserver=""

# i386, amd64 or unknown: the machine field of a PE file's header.
pe_machine() {
  local file=$1 offset machine
  [ -f "$file" ] || { echo unknown; return; }
  offset=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || { echo unknown; return; }
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$file" 2>/dev/null | tr -d ' ')
  case $machine in
    014c) echo i386 ;;
    8664) echo amd64 ;;
    *) echo unknown ;;
  esac
}

# The loader that runs a given executable; Wine's own programs run 64-bit.
wine_loader_for() {
  if [ "$(pe_machine "$1")" = i386 ]; then echo "$wine32_loader"; else echo "$wine64_loader"; fi
}

# Whether this machine executes 32-bit programs (some kernels refuse them outright).
can_run_win32() {
  "$wine32_loader" --version >/dev/null 2>&1
}

wine64() {
  "$wine64_loader" "$@"
}

stop_started() {
  if [ -n "$started_wineserver" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -n "$started_xvfb" ]; then
    kill "$started_xvfb" >/dev/null 2>&1 || true
    wait "$started_xvfb" 2>/dev/null || true
  fi
}

# Xvfb on the first free display number, unless a display is already set.
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 91 191); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    started_xvfb=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      kill -0 "$started_xvfb" 2>/dev/null || break
      sleep 0.1
    done
    # Alive but silent, or gone: either way not ours to keep.
    kill "$started_xvfb" >/dev/null 2>&1 || true
    wait "$started_xvfb" 2>/dev/null || true
    started_xvfb=""
    unset DISPLAY
  done
  echo "could not start Xvfb" >&2
  return 1
}

# A project-local prefix, made once, and a persistent wineserver so that each test
# executable starts in milliseconds. Fails when Wine cannot run a program.
start_wine() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  # A 32-bit prefix left by an older checkout is remade as a 64-bit one.
  if [ "$WINEPREFIX" = "$default_prefix" ] && [ -f "$WINEPREFIX/system.reg" ] &&
     ! grep -q '^#arch=win64' "$WINEPREFIX/system.reg"; then
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine64 wineboot --init >/dev/null 2>&1 </dev/null || true
    "$WINESERVER" -w
  fi
  # Status 2: a server already runs for this prefix (another terminal's scripts/run);
  # it is used, and left running at the end.
  local status=0
  "$WINESERVER" -p >/dev/null 2>&1 || status=$?
  case $status in
    0) started_wineserver=1 ;;
    2) ;;
    *) echo "the wineserver could not be started" >&2; return 1 ;;
  esac
  # Xvfb runs no window manager, and Wine waits two seconds for one to withdraw each
  # managed window it hides or destroys: windows the program manages itself close at once.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
  fi
  # The dialog faces have no Chinese glyphs; as on a Chinese Windows, they borrow them from
  # a linked CJK font, so that captions are drawn instead of boxes (one key serves both
  # registry views).
  if ! grep -q '"MS Shell Dlg"=str(7):"wqy-microhei.ttc' "$WINEPREFIX/system.reg" 2>/dev/null; then
    local face
    for face in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "Microsoft Sans Serif"; do
      wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f \
        >/dev/null 2>&1 </dev/null || true
    done
  fi
  # Start Wine's services and desktop now, detached from any output: started later by a
  # test, they would inherit CTest's pipes and keep it waiting for their end.
  wine64 wineboot >/dev/null 2>&1 </dev/null || { echo "Wine could not run a program" >&2; return 1; }
}

# Starts a window program under Wine through the demo window tool, in the background, and
# waits up to a minute for its main window: sets window_launcher (the tool's process, which
# ends with the program's exit code), window_hwnd and window_x11 (0 when it has none).
# Fails when no window came. end_window ends the program if it still runs; for EXIT traps.
launch_window() {  # TOOL EXE [ARG...]
  window_tool=$1
  shift
  window_launched=$(mktemp)
  "$root/scripts/wine-run" "$window_tool" launch "$@" >"$window_launched" &
  window_launcher=$!
  window_hwnd=""
  window_x11=0
  for _ in $(seq 300); do
    grep -q '^window ' "$window_launched" && break
    kill -0 "$window_launcher" 2>/dev/null || break
    sleep 0.2
  done
  read -r _ window_hwnd window_x11 <"$window_launched" || true
  [ -n "$window_hwnd" ]
}

end_window() {
  [ -n "${window_launcher:-}" ] || return 0
  if kill -0 "$window_launcher" 2>/dev/null; then
    [ -z "$window_hwnd" ] || "$root/scripts/wine-run" "$window_tool" end "$window_hwnd" || true
    kill "$window_launcher" 2>/dev/null || true
  fi
  wait "$window_launcher" 2>/dev/null || true
  rm -f "$window_launched"
}
