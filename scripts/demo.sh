#!/usr/bin/env bash
# Builds what is missing, then runs the utility under Wine on a demo
# registry: five Quillbrook products whose uninstallers are harmless
# recorders, a farewell address on a scheme whose handler only notes it, and
# a post-uninstall helper in Documents that notes its parameter.
# With a usable display (and CI unset) the window opens for you to try.
# Otherwise a private Xvfb plays a short session with real mouse input,
# saves a picture after each step under build/demo/ and prints a transcript.
# PREFIX_DIR chooses the throwaway Wine prefix (default build/demo-wine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh

test_dir=$root/${TEST_BUILD_DIR:-build/test}
bin=$test_dir/tests/bin
# The 64-bit build of the same sources: it needs only wine64, which the
# shipped 32-bit exe does not run on.
exe=$test_dir/Uninstall.exe
out=$root/build/demo
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log

interactive=0
if [ -z "${CI:-}" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  interactive=1
else
  unset DISPLAY
fi
export PREFIX_DIR=${PREFIX_DIR:-$root/build/demo-wine}
source scripts/wine-env.sh
trap wine_server_down EXIT
wine_server_up

win() { winepath -w "$1" 2>/dev/null; }
drive() { wine "$bin/uidriver.exe" "$@" | tr -d '\r'; }
family='HKLM\SOFTWARE\Quillbrook'
scheme='HKLM\SOFTWARE\Classes\quillbrook-demo'

# ---------------------------------------------------------------- demo registry
wine reg delete "$family" /f >/dev/null 2>&1 || true
recorder=$(win "$bin/recorder.exe")
uninstall_log=$out/uninstallers.log
journal=$out/journal.log
add_product() {  # name id
  wine reg add "$family\\UninstallPaths" /v "$1" /f >/dev/null \
    /d "\"$recorder\" --log \"$(win "$uninstall_log")\" --id $2 --sleep 1500"
}
add_product "Quillbrook Audio Recorder" audio-recorder
add_product "Quillbrook CD Ripper" cd-ripper
add_product "Quillbrook Media Player" media-player
add_product "Quillbrook Studio" studio
add_product "Quillbrook Video Converter" video-converter
# Shared components: never listed, never run.
add_product "Common" common
# As an earlier run that removed everything would have left it.
wine reg add "$family" /v UninstallMode /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$family\\Links" /v Uninstall /d "quillbrook-demo://farewell/thanks-for-trying" /f >/dev/null
wine reg add "$scheme" /v "URL Protocol" /d "" /f >/dev/null
wine reg add "$scheme\\shell\\open\\command" /ve /f >/dev/null \
  /d "\"$(win "$bin/journal.exe")\" \"%1\""
# Documents is $HOME in this prefix.
mkdir -p "$HOME/Quillbrook"
cp "$bin/journal.exe" "$HOME/Quillbrook/QbkUninstall.exe"
export QBK_JOURNAL
QBK_JOURNAL=$(win "$journal")

# ------------------------------------------------------------------ transcript
print_runs() {
  local n=0
  [ -f "$uninstall_log" ] || { echo "  (none)"; return; }
  while IFS=$'\t' read -r kind id _pid marker _overlap command; do
    [ "$kind" = start ] || continue
    n=$((n + 1))
    echo "  $n. $command"
    echo "     (UninstallMode when it started: $marker)"
  done < <(tr -d '\r' <"$uninstall_log")
}
print_marker() {
  echo "Registry marker: $(wine reg query "$family" /v UninstallMode 2>/dev/null | tr -d '\r' |
    awk '/UninstallMode/ {print $1 " = " $3; found = 1} END {if (!found) print "UninstallMode absent"}' || true)"
}
print_finish() {
  print_marker
  [ -f "$journal" ] || return 0
  while IFS=$'\t' read -r program arg; do
    case $program in
      journal.exe) echo "Address handed to the shell: $arg" ;;
      QbkUninstall.exe) echo "Post-uninstall helper started with: $arg" ;;
    esac
  done < <(tr -d '\r' <"$journal" 2>/dev/null)
}

if [ "$interactive" = 1 ]; then
  echo "The Uninstall window is open on your display: tick products, press Uninstall."
  echo "Each demo uninstaller takes 1.5 seconds and only notes what it was asked."
  code=0
  wine "$exe" || code=$?
  echo "Uninstallers run, in order:"
  print_runs
  sleep 1
  print_finish
  echo "Exit code: $code"
  exit 0
fi

# ------------------------------------------------------------ scripted session
wait_for() {  # seconds, then a command that must succeed
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "demo: gave up waiting for: $*" >&2
  return 1
}
ends_logged() { [ "$(grep -c '^end' "$uninstall_log" 2>/dev/null)" -ge "$1" ]; }
controls_say() { drive controls | grep -q "$1"; }
row_ticked() { drive rows | sed -n "$(($1 + 1))p" | grep -q '^\[x\]'; }
journal_lines() { [ "$(wc -l <"$journal" 2>/dev/null || echo 0)" -ge "$1" ]; }
click() {  # what... (as the driver's point command takes it)
  local x y
  read -r x y < <(drive point "$@")
  xdotool mousemove "$x" "$y" click 1
}
step=0
shot() {
  step=$((step + 1))
  drive idle 60000 >/dev/null 2>&1 || true
  sleep 0.5  # lets the last paint reach the display; nothing is judged by it
  import -window root -crop "$crop" +repage "$out/$step-$1.png"
  echo "  [picture: build/demo/$step-$1.png]"
}
show_window() {
  echo "Rows:"
  drive rows | sed 's/^/  /'
  drive controls | sed 's/^/  /'
}

wine "$exe" &
app=$!
read -r _ _ _ pid < <(drive wait 60000)
echo "Uninstall.exe runs as Windows process $pid"
read -r _ wx wy ww wh < <(drive geometry | grep '^window ')
crop=$((ww + 20))x$((wh + 20))+$((wx - 10))+$((wy - 10))

echo "== The window opens"
show_window
print_marker
shot start

echo "== Tick \"Quillbrook CD Ripper\" and \"Quillbrook Studio\" (mouse clicks on their check boxes)"
click row 1 && wait_for 30 row_ticked 1
click row 3 && wait_for 30 row_ticked 3
wait_for 30 controls_say "button: enabled"
show_window
shot two-ticked

echo "== Press Uninstall"
click button
wait_for 60 ends_logged 2
echo "Uninstallers run, in order:"
print_runs
show_window
print_marker
shot after-first-pass

echo "== Tick \"All applications\""
click box
wait_for 30 controls_say "applications: checked"
show_window
shot all-ticked

echo "== Press Uninstall"
click button
code=0
wait "$app" || code=$?
wait_for 30 journal_lines 2 || true
echo "Uninstallers run, in order (all passes):"
print_runs
echo "Window: $(drive rows >/dev/null 2>&1 && echo 'still open' || echo closed)"
print_finish
echo "Exit code: $code"
shot finished
