#!/usr/bin/env bash
# Configures a fresh build folder and builds what a release ships, the 32-bit vellmarin.exe and
# readme.txt, and nothing else. release.sh uses it, and the test that builds twice and compares.
# Usage: product-build.sh SOURCE BUILD (BUILD is emptied first)
set -euo pipefail
source="$(cd "$1" && pwd)"
build="$2"
rm -rf "$build"
cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DVM_RUN_TESTS=OFF >/dev/null
cmake --build "$build" --target vellmarin vm_readme -j "$(nproc)" >/dev/null
