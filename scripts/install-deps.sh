#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run command need.
# Safe to run again: it installs only what is missing and never starts chronyd's system service.
set -euo pipefail

PKGS=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
      wine wine32:i386 wine64 xvfb xdotool x11-apps imagemagick fonts-ipafont-gothic locales
      chrony ntpsec-ntpdig cmake googletest make x11-utils python3)

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

if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
