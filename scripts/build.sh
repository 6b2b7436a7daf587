#!/usr/bin/env bash
# Builds the shipped 32-bit exe (build/release) and the 64-bit test build
# with its test programs (build/test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
if [ "${1:-all}" != "test" ]; then
  cmake -S . -B build/release -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build build/release -j"$jobs"
fi
if [ "${1:-all}" != "release" ]; then
  cmake -S . -B build/test -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Debug \
    -DUNINSTALL_TESTS=ON >/dev/null
  cmake --build build/test -j"$jobs"
fi
