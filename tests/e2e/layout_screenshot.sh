#!/usr/bin/env bash
# Starts the program on two registered products, photographs the X display
# and checks that the list, the button and the box sit at the layout's
# pixels relative to the window's client origin. Runs under the test
# prefix's environment (WINEPREFIX, DISPLAY) as CTest passes it on.
# usage: layout_screenshot.sh UNINSTALL_EXE UIDRIVER_EXE OUT_DIR
set -euo pipefail
exe=$1 driver=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
key='HKLM\SOFTWARE\Quillbrook'

wine reg delete "$key" /f >/dev/null 2>&1 || true
wine reg add "$key\\UninstallPaths" /v "Quillbrook Studio" /d "studio-uninstall.exe" /f >/dev/null
wine reg add "$key\\UninstallPaths" /v "Quillbrook Video Converter" /d "video-uninstall.exe" /f >/dev/null

wine "$exe" &
app=$!
trap 'kill "$app" 2>/dev/null || true; wine reg delete "$key" /f >/dev/null 2>&1 || true' EXIT

drive() { wine "$driver" "$@" | tr -d '\r'; }
drive wait 60000 >/dev/null
drive idle 60000
read -r _ cx cy cw ch < <(drive geometry | grep '^client ')
echo "client area on screen: $cx,$cy size ${cw}x$ch"
status=0
[ "$cw" = 358 ] && [ "$ch" = 254 ] || { echo "FAIL client size ${cw}x$ch, layout 358x254"; status=1; }

# The first pictures may precede the window's first paint; a layout fault
# fails every attempt.
for attempt in $(seq 20); do
  import -window root "$out/start-window.png"
  if /usr/bin/python3 "$here/layout_check.py" "$out/start-window.png" "$cx" "$cy" >"$out/check.txt"; then
    break
  fi
  sleep 0.5
done
cat "$out/check.txt"
grep -q FAIL "$out/check.txt" && status=1

drive close
wait "$app" && code=0 || code=$?
trap - EXIT
wine reg delete "$key" /f >/dev/null 2>&1 || true
[ "$code" = 0 ] || { echo "FAIL exit code $code"; status=1; }
exit $status
