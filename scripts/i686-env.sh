# Sourced by the i686 scripts: where the 32-bit runner lives and how a 32-bit
# Windows program is started with it. I686_RUNNER (default
# build/i686-runner) holds the private 32-bit loader, the prefix with its
# home folder, and the display's and mode's records.
i686_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
I686_RUNNER=${I686_RUNNER:-$i686_root/build/i686-runner}
mkdir -p "$I686_RUNNER"
I686_RUNNER=$(cd "$I686_RUNNER" && pwd)
i686_wine32=$I686_RUNNER/wine32
# Written once setup has succeeded: 32-bit ELF programs then run directly.
i686_mode_file=$I686_RUNNER/ready

# Without a reserved guest address space of exactly this size the 32-bit
# loader hangs or crawls under the emulator.
export QEMU_RESERVED_VA=0x88000000
export WINELOADERNOEXEC=1

i686_loader() { echo "$i686_wine32/usr/lib/wine/wine"; }

# The prefix's registry and documents folder (see wine-env.sh), on the
# runner's own display, recorded by i686_display_up.
i686_wine_env() {
  export PREFIX_DIR=$I686_RUNNER
  export WINEPREFIX=$I686_RUNNER/prefix
  export HOME=$I686_RUNNER/home
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  mkdir -p "$HOME"
}

# A private Xvfb that outlives this script (the server's desktop process
# stays connected to it); no descriptor of ours is kept open by it.
i686_display_up() {
  local pid display
  pid=$(cat "$I686_RUNNER/xvfb.pid" 2>/dev/null || true)
  display=$(cat "$I686_RUNNER/display" 2>/dev/null || true)
  if [ -n "$pid" ] && [ -n "$display" ] && kill -0 "$pid" 2>/dev/null && DISPLAY=$display xdpyinfo >/dev/null 2>&1; then
    export DISPLAY=$display
    return 0
  fi
  for n in $(seq 131 170); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
      setsid Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      echo $! >"$I686_RUNNER/xvfb.pid"
      echo ":$n" >"$I686_RUNNER/display"
      export DISPLAY=:$n
      for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
      return 1
    fi
  done
  return 1
}

# The prefix's persistent server and its (64-bit, native) service processes.
i686_server_up() {
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

i686_down() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  local pid
  pid=$(cat "$I686_RUNNER/xvfb.pid" 2>/dev/null || true)
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -f "$I686_RUNNER/xvfb.pid" "$I686_RUNNER/display"
}
