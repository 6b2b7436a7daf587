#!/usr/bin/env bash
# Runs a 32-bit Windows program (the i686 driver) in the 32-bit runner made
# by i686-setup.sh, starting the runner's display and persistent server when
# they are not up; `--down` stops them.
# Usage: i686-run.sh RUNNER_DIR PROGRAM.exe [ARGS...] | i686-run.sh RUNNER_DIR --down
# Exits 77 (skipped) when the runner could not be made on this machine.
set -euo pipefail
export I686_RUNNER=$1
shift
source "$(dirname "$0")/i686-env.sh"
i686_wine_env

if [ "${1:-}" = --down ]; then
  i686_down
  exit 0
fi
if [ ! -s "$i686_mode_file" ]; then
  echo "i686-run: SKIPPED: the 32-bit runner is not ready (see the i686_setup test's output)" >&2
  exit 77
fi
i686_display_up || { echo "i686-run: cannot start Xvfb" >&2; exit 1; }
i686_server_up
loader=$(i686_loader)
export WINELOADER=$loader
exec "$loader" "$@"
