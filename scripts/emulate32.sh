#!/usr/bin/env bash
# Runs a command in which 32-bit x86 programs (32-bit Wine) run through qemu-i386-static, on a
# machine whose kernel refuses them. Usage: emulate32.sh COMMAND [ARG...]; exit 3 when emulation
# cannot be set up here, with what is missing.
# Where the kernel allows it, the emulator is registered in a binfmt_misc instance of the
# command's own user and mount namespaces: nothing outside the command ever sees it. Elsewhere a
# machine-wide entry is enabled for the command alone (one checkout at a time) and disabled after
# it, also when it fails or is interrupted.
# VM_EMULATE32=machine takes the machine-wide entry even where private ones work (to try it).
set -euo pipefail
emulator=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc
entry=qemu-i386
# The usual entry for 32-bit x86 ELF executables and shared objects, F: the emulator is opened once.
rule=":$entry:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00"
rule+=":\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff"
rule+=":$emulator:F"

missing=()
[ -x "$emulator" ] || missing+=("$emulator (package qemu-user-static)")
[ -x /usr/lib/wine/wine ] || missing+=("/usr/lib/wine/wine (package wine32:i386)")
grep -qw binfmt_misc /proc/filesystems 2>/dev/null || missing+=("binfmt_misc in the kernel")
if [ "${#missing[@]}" -gt 0 ]; then
    echo "cannot run 32-bit code through emulation: missing ${missing[*]}" >&2
    exit 3
fi

if [ "${1:-}" = --inside ]; then           # in the private namespaces
    shift
    mount -t binfmt_misc binfmt_misc "$binfmt"
    printf '%s' "$rule" >"$binfmt/register"
    exec "$@"
fi
if [ "${VM_EMULATE32:-}" != machine ] &&
   unshare --user --map-root-user --mount sh -c "mount -t binfmt_misc binfmt_misc $binfmt" 2>/dev/null; then
    exec unshare --user --map-root-user --mount bash "${BASH_SOURCE[0]}" --inside "$@"
fi

# Machine-wide: needs root and a mounted binfmt_misc.
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ! -e "$binfmt/register" ] && ! $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"; then
    echo "cannot run 32-bit code through emulation: binfmt_misc is not mounted on $binfmt" >&2
    exit 3
fi
exec 8>/tmp/vellmarin-binfmt-i386.lock
flock 8
disable() { [ -e "$binfmt/$entry" ] && echo 0 | $SUDO tee "$binfmt/$entry" >/dev/null; true; }
trap disable EXIT
trap 'exit 130' INT TERM HUP
if [ ! -e "$binfmt/$entry" ] && ! printf '%s' "$rule" | $SUDO tee "$binfmt/register" >/dev/null; then
    echo "cannot run 32-bit code through emulation: registering $entry in $binfmt failed" >&2
    exit 3
fi
echo 1 | $SUDO tee "$binfmt/$entry" >/dev/null
status=0
"$@" 8>&- || status=$?         # what the command leaves running must not hold the lock
exit "$status"
