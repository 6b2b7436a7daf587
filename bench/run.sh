#!/usr/bin/env bash
# Benchmarks the product against its floors under Wine and prints, for each
# figure, its value, its floor and the ratio (medians of several runs), with
# the machine and the date. Not part of the test run.
#
# Builds what it needs: the shipped i686 exe (for its size and imports), a
# 64-bit MinSizeRel build of the same sources (the one run under wine64) and
# the programs under bench/; runs in its own Wine prefix.
#
#   BENCH_RUNS       runs per start-up figure (default 5; 3 with 10,000 products)
#   BENCH_PASS_RUNS  runs per pass figure (default 3)
#   BENCH_PASS_ROWS  ticked rows in the pass (default 200)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

export RELEASE_BUILD_DIR=${RELEASE_BUILD_DIR:-build/bench-release}
export TEST_BUILD_DIR=${TEST_BUILD_DIR:-build/bench-test}
export PREFIX_DIR=${PREFIX_DIR:-$root/build/bench-wine}
product_dir=${BENCH_PRODUCT_DIR:-build/bench-x64}
tools_dir=${BENCH_TOOLS_DIR:-build/bench-tools}
runs=${BENCH_RUNS:-5}
runs_large=${BENCH_RUNS:-3}
pass_runs=${BENCH_PASS_RUNS:-3}
pass_rows=${BENCH_PASS_ROWS:-200}

echo "== building" >&2
bash scripts/build.sh release >/dev/null
cmake -S . -B "$product_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
  --no-warn-unused-cli -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$product_dir" -j2 --target Uninstall uninstall_core >/dev/null
cmake -S bench -B "$tools_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/x86_64-w64-mingw32.cmake" \
  --no-warn-unused-cli -DCMAKE_BUILD_TYPE=MinSizeRel -DPRODUCT_BUILD_DIR="$root/$product_dir" >/dev/null
cmake --build "$tools_dir" -j2 >/dev/null

source scripts/wine-env.sh
trap wine_server_down EXIT
wine_server_up

# The uninstaller that ends at once, at a path without spaces; no
# post-uninstall helper; the farewell link goes to a scheme nothing handles.
mkdir -p "$WINEPREFIX/drive_c/bench"
cp "$tools_dir/quick_exit.exe" "$WINEPREFIX/drive_c/bench/qx.exe"
rm -f "$HOME/Quillbrook/QbkUninstall.exe"
uninstaller='C:\bench\qx.exe'
link='benchnohandler:farewell'
app=$(winepath -w "$root/$product_dir/Uninstall.exe")
bare=$(winepath -w "$root/$tools_dir/bare_window.exe")

results=$(mktemp)
trap 'rm -f "$results"; wine_server_down' EXIT
driver() { wine "$tools_dir/bench_driver.exe" "$@" | tr -d '\r' >>"$results"; }
profile() { wine "$tools_dir/startup_profile.exe" | tr -d '\r' | sed "s/^PROFILE /PROFILE $1./" >>"$results"; }

echo "== start-up, 10 products" >&2
driver fill 10 "$uninstaller" "$link"
driver startup "$app" "$bare" 10 "$runs"
profile 10
wine "$tools_dir/import_probe.exe" | tr -d '\r' | sed 's/^PROFILE /PROFILE imports./' >>"$results"
wine "$tools_dir/import_probe_manifest.exe" | tr -d '\r' | sed 's/^PROFILE /PROFILE imports_manifest./' >>"$results"
echo "== start-up, 1,000 products" >&2
driver fill 1000 "$uninstaller" "$link"
driver startup "$app" "$bare" 1000 "$runs"
echo "== start-up, 10,000 products" >&2
driver fill 10000 "$uninstaller" "$link"
driver startup "$app" "$bare" 10000 "$runs_large"
driver regloop "$runs"
profile 10000
echo "== pass over $pass_rows rows" >&2
driver fill "$pass_rows" "$uninstaller" "$link"
driver pass "$app" "$uninstaller" "$pass_rows" "$pass_runs"
driver fill 1 "$uninstaller" "$link"
driver pass "$app" "$uninstaller" 1 "$pass_runs"
echo "== the pass and the raw loop from one GUI process" >&2
driver fill 40 "$uninstaller" "$link"
wine "$tools_dir/startup_profile.exe" pass | tr -d '\r' | sed 's/^PROFILE /PROFILE pass40./' >>"$results"

/usr/bin/python3 bench/report.py "$results" "$RELEASE_BUILD_DIR/Uninstall.exe" "$pass_rows" "$runs" "$runs_large" "$pass_runs"
