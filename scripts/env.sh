# Sourced by the other scripts: the environment the program, its tests and Wine run in.
# Japanese locale (Wine's ANSI code page 932), a fixed time zone, a private quiet Wine prefix.
VM_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export VM_ROOT
. "$VM_ROOT/scripts/arch.sh"

# The product, build/vellmarin.exe, is always the 32-bit program. VM_BUILD is the build whose
# programs run on this machine: the same folder where 32-bit Wine works, else a 64-bit build of
# the same source in build/win64 with a 64-bit Wine prefix of its own.
export VM_PRODUCT_BUILD="${VM_PRODUCT_BUILD:-$VM_ROOT/build}"
if [ "$VM_ARCH" = win32 ]; then
    export VM_BUILD="${VM_BUILD:-$VM_PRODUCT_BUILD}"
    export WINEPREFIX="${VM_WINEPREFIX:-${HOME:-/root}/.cache/vellmarin/wineprefix}"
    export WINEARCH=win32
    export VM_WINE=wine
    export VM_TOOLCHAIN="$VM_ROOT/cmake/mingw-i686.cmake"
    unset WINELOADER
else
    export VM_BUILD="${VM_BUILD:-$VM_PRODUCT_BUILD/win64}"
    export WINEPREFIX="${VM_WINEPREFIX:-${HOME:-/root}/.cache/vellmarin/wineprefix64}"
    export WINEARCH=win64
    # The wrappers in /usr/bin (wine, wineboot) end in the 32-bit loader: call the 64-bit one.
    export VM_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
    export VM_TOOLCHAIN="$VM_ROOT/cmake/mingw-x86_64.cmake"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
export TZ="${VM_TZ:-JST-9}"
