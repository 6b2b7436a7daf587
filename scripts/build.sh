#!/usr/bin/env bash
# Builds the shipped 32-bit exe (build/release) and the 64-bit test build
# with its test programs (build/test). RELEASE_BUILD_DIR and TEST_BUILD_DIR
# choose other folders.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
release_dir=${RELEASE_BUILD_DIR:-build/release}
test_dir=${TEST_BUILD_DIR:-build/test}
if [ "${1:-all}" != "test" ]; then
  cmake -S . -B "$release_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$release_dir" -j"$jobs"
fi
if [ "${1:-all}" != "release" ]; then
  cmake -S . -B "$test_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Debug \
    -DUNINSTALL_TESTS=ON -DUNINSTALL_RELEASE_EXE="$root/$release_dir/Uninstall.exe" >/dev/null
  cmake --build "$test_dir" -j"$jobs"
fi
