#!/usr/bin/env bash
# Installs what is missing, prepares the Wine prefix, configures and builds build/vellmarin.exe
# and the tests. Safe to run again and again.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/env.sh"

bash "$here/install-deps.sh"
bash "$here/wine-prefix.sh"

cmake -S "$VM_ROOT" -B "$VM_BUILD" -DCMAKE_TOOLCHAIN_FILE="$VM_ROOT/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$VM_BUILD" -j "$(nproc)"
