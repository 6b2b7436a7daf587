#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test under
# Wine (on a private Xvfb display when there is none). Exits non-zero on any
# failure. Arguments go to ctest (e.g. -R window). PREFIX_DIR and
# TEST_BUILD_DIR choose a private Wine prefix and build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh

export PREFIX_DIR=${PREFIX_DIR:-$root/build/test-wine}
source scripts/wine-env.sh
trap wine_server_down EXIT
# Service processes are started before CTest, so none of them inherits
# CTest's output pipe.
wine_server_up

ctest --test-dir "${TEST_BUILD_DIR:-build/test}" --output-on-failure -j2 "$@"
