#!/usr/bin/env bash
# Installs what is missing, prepares the Wine prefix, configures and builds. The product,
# build/vellmarin.exe, is always the 32-bit program, and its tests and benchmarks are always built
# beside it. Where 32-bit Wine cannot run them they are only compiled and linked (unoptimised), and
# the tests that run, with a 64-bit build of the program, go to build/win64.
# Safe to run again and again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/env.sh"

echo "vellmarin: testing and running $VM_ARCH programs: $VM_ARCH_WHY"
bash "$here/install-deps.sh"
bash "$here/wine-prefix.sh"

configure() {
    cmake -S "$VM_ROOT" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$2" -DCMAKE_BUILD_TYPE=Release \
          -DVM_RUN_TESTS="$3" >/dev/null
}
if [ "$VM_BUILD" = "$VM_PRODUCT_BUILD" ]; then
    configure "$VM_BUILD" "$VM_TOOLCHAIN" ON
    cmake --build "$VM_BUILD" -j "$(nproc)"
else
    configure "$VM_PRODUCT_BUILD" "$VM_ROOT/cmake/mingw-i686.cmake" OFF
    cmake --build "$VM_PRODUCT_BUILD" -j "$(nproc)"
    configure "$VM_BUILD" "$VM_TOOLCHAIN" ON
    cmake --build "$VM_BUILD" -j "$(nproc)"
fi
