#!/usr/bin/env bash
# Photographs the window after three of five rows were ticked with real
# mouse clicks (xdotool on the X display), and prints what the controls then
# report. Writes build/shell-shots/ticked.png (the window) and screen.png.
# Run after a test build: TEST_BUILD_DIR (default build/test) holds
# Uninstall.exe and tests/bin/uidriver.exe; PREFIX_DIR chooses the prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
test_dir=$root/${TEST_BUILD_DIR:-build/test}
out=$root/build/shell-shots
mkdir -p "$out"
source scripts/wine-env.sh
trap wine_server_down EXIT
wine_server_up

drive() { wine "$test_dir/tests/bin/uidriver.exe" "$@" | tr -d '\r'; }
family='HKLM\SOFTWARE\Quillbrook'
wine reg delete "$family" /f >/dev/null 2>&1 || true
for name in "Quillbrook Audio Recorder" "Quillbrook CD Ripper" "Quillbrook Media Player" "Quillbrook Studio" \
            "Quillbrook Video Converter"; do
  wine reg add "$family\\UninstallPaths" /v "$name" /d 'C:\none\uninstall.exe' /f >/dev/null
done

wine "$test_dir/Uninstall.exe" &
app=$!
drive wait 60000 >/dev/null
drive idle 60000
for row in 0 2 3; do
  read -r x y < <(drive point row "$row")
  xdotool mousemove "$x" "$y" click 1
  drive idle 60000
done
xdotool mousemove 0 0
drive rows
drive controls
read -r _ wx wy ww wh < <(drive geometry | grep '^window ')
import -window root "$out/screen.png"
convert "$out/screen.png" -crop "${ww}x${wh}+${wx}+${wy}" +repage "$out/ticked.png"
echo "saved $out/ticked.png (${ww}x$wh at $wx,$wy)"

drive close
wait "$app"
wine reg delete "$family" /f >/dev/null 2>&1 || true
