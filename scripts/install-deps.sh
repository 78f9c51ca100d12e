#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the run command and the release need (Wine's
# own fonts, fonts-wine, give the captions their button glyphs).
# Safe to run again: it installs only what is missing and never starts chronyd's system service.
# The 32-bit product is built everywhere and 32-bit Wine installed everywhere; where the kernel
# refuses 32-bit code the x86_64 cross compiler and 64-bit Wine run the tests, and qemu's
# user-mode emulator runs the product once (scripts/emulate32.sh).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/arch.sh"

PKGS=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
      wine wine64 fonts-wine xvfb xdotool x11-apps imagemagick fonts-ipafont-gothic locales
      chrony ntpsec-ntpdig cmake googletest make g++ x11-utils python3 wine32:i386)
if [ "$VM_ARCH" = win64 ]; then
    PKGS+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
           mingw-w64-x86-64-dev qemu-user-static)
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -qq
    # Keep the chrony package from starting the system daemon: only our own chronyd -x may run.
    policy=/usr/sbin/policy-rc.d
    created_policy=0
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
        $SUDO chmod +x "$policy"
        created_policy=1
    fi
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
    [ "$created_policy" = 1 ] && $SUDO rm -f "$policy"
fi

# A system chronyd, if one was started anyway, must never run beside ours.
if pgrep -x chronyd >/dev/null 2>&1 && [ -f /run/chrony/chronyd.pid ]; then
    $SUDO kill "$(cat /run/chrony/chronyd.pid)" 2>/dev/null || true
fi

# Japanese gives Wine code page 932, the program's own; English (1252), Chinese (936) and Hindi
# (no ANSI code page: Wine gives it UTF-8, 65001) are the other system code pages some tests run
# under. Each must exist for glibc too, or Wine cannot name files outside ASCII.
wanted=()
for loc in ja_JP en_US zh_CN hi_IN; do
    locale -a 2>/dev/null | grep -qix "$loc.utf8" || wanted+=("$loc")
done
if [ "${#wanted[@]}" -gt 0 ]; then
    for loc in "${wanted[@]}"; do
        $SUDO sed -i "s/^# *$loc.UTF-8 UTF-8/$loc.UTF-8 UTF-8/" /etc/locale.gen
        grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    done
    $SUDO locale-gen >/dev/null
fi

# What runs the programs here must be there, whatever the package manager said.
if [ "$VM_ARCH" = win32 ]; then
    loader=/usr/lib/wine/wine
    compiler=i686-w64-mingw32-g++-posix
else
    loader=/usr/lib/wine/wine64
    compiler=x86_64-w64-mingw32-g++-posix
fi
absent=()
[ -x "$loader" ] || absent+=("$loader")
[ "$VM_ARCH" = win64 ] && [ ! -x /usr/bin/qemu-i386-static ] && absent+=(/usr/bin/qemu-i386-static)
for tool in i686-w64-mingw32-g++-posix "$compiler"; do
    command -v "$tool" >/dev/null || absent+=("$tool")
done
if [ "${#absent[@]}" -gt 0 ]; then
    echo "cannot build and test for $VM_ARCH ($VM_ARCH_WHY): missing after the install: ${absent[*]}" >&2
    exit 1
fi
