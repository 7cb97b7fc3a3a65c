# Shared by scripts/test and scripts/run: the display and the Wine prefix the Windows
# executables need, started once and stopped on exit.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LC_ALL=C.UTF-8

started_xvfb=""
started_wineserver=""

stop_started() {
  if [ -n "$started_wineserver" ]; then
    wineserver -k >/dev/null 2>&1 || true
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
    started_xvfb=""
    unset DISPLAY
  done
  echo "could not start Xvfb" >&2
  return 1
}

# A project-local prefix, made once, and a persistent wineserver so that each test
# executable starts in milliseconds.
start_wine() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
  fi
  wineserver -p >/dev/null 2>&1
  started_wineserver=1
  # Xvfb runs no window manager, and Wine waits two seconds for one to withdraw each
  # managed window it hides or destroys: windows the program manages itself close at once.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
  fi
  # The dialog faces have no Chinese glyphs; as on a Chinese Windows, they borrow them from
  # a linked CJK font, so that captions are drawn instead of boxes.
  if ! grep -q 'str(7):"wqy-microhei.ttc' "$WINEPREFIX/system.reg" 2>/dev/null; then
    local face
    for face in "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma" "Microsoft Sans Serif"; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f \
        >/dev/null 2>&1 </dev/null || true
    done
  fi
  # Start Wine's services and desktop now, detached from any output: started later by a
  # test, they would inherit CTest's pipes and keep it waiting for their end.
  wine wineboot >/dev/null 2>&1 </dev/null || true
}
