# Sourced: prepares a private Wine prefix and a display for running the
# program. Set PREFIX_DIR before sourcing to choose where (default
# build/wine). Exports WINEPREFIX, HOME (the prefix's documents folder links
# to it), WINEDEBUG and DISPLAY.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
PREFIX_DIR=${PREFIX_DIR:-$root/build/wine}
mkdir -p "$PREFIX_DIR/home"
export WINEPREFIX="$PREFIX_DIR/prefix"
export HOME="$PREFIX_DIR/home"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

# A display: the caller's, or a private Xvfb.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  for n in $(seq 91 120); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
      Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      export XVFB_PID=$!
      export DISPLAY=:$n
      for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
      break
    fi
  done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-env: creating a Wine prefix in $WINEPREFIX" >&2
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
  # Without a window manager Wine waits on every close and gives new windows
  # no focus; unmanaged, undecorated windows avoid both.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  # No browser is started for addresses unless a test asks for one.
  wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d '' /f >/dev/null 2>&1
  cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -w
fi

# A persistent server makes every later start fast.
wine_server_up() {
  wineserver -p >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
}
wine_server_down() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
