# Sourced by the other scripts: the environment the program, its tests and Wine run in.
# Japanese locale (Wine's ANSI code page 932), a fixed time zone, a private quiet Wine prefix.
VM_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export VM_ROOT
export VM_BUILD="${VM_BUILD:-$VM_ROOT/build}"
export WINEPREFIX="${VM_WINEPREFIX:-${HOME:-/root}/.cache/vellmarin/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
export TZ="${VM_TZ:-JST-9}"
