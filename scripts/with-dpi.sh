#!/usr/bin/env bash
# with-dpi.sh DPI COMMAND...: runs COMMAND with the prefix's display scaling at DPI (the user's
# LogPixels, which each Wine program reads when it starts), then takes the setting out again, also
# when COMMAND fails, so no other program of the prefix runs scaled. The caller holds the prefix.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/env.sh"
dpi="$1"
shift
key='HKCU\Control Panel\Desktop'
setting() { "$VM_WINE" reg "$@" /f </dev/null >/dev/null 2>&1 9>&-; }
restore() { setting delete "$key" /v LogPixels; }
trap restore EXIT
setting add "$key" /v LogPixels /t REG_DWORD /d "$dpi" || { echo "with-dpi: cannot set LogPixels" >&2; exit 1; }
"$@"
