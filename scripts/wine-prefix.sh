#!/usr/bin/env bash
# Prepares the private Wine prefix once (32- or 64-bit, as env.sh decided): no Mono/Gecko prompts,
# Japanese fonts mapped to the IPA fonts, no window-manager waits under Xvfb. Starts the persistent
# wineserver and the prefix's service processes so later Wine starts are fast and do not hold
# CTest's pipes.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/env.sh"

stamp="$WINEPREFIX/.vellmarin-ready"
if [ ! -f "$stamp" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$VM_WINE" wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1 || true
    # The registry reaches its files when the server ends: no system.reg, no prefix.
    wineserver -w || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Wine could not prepare the $VM_ARCH prefix $WINEPREFIX with $VM_WINE:" >&2
        tail -n 20 "$WINEPREFIX.log" >&2
        exit 1
    fi
    reg() { "$VM_WINE" reg add "$@" /f </dev/null >/dev/null 2>&1; }
    key='HKCU\Software\Wine\Fonts\Replacements'
    for face in "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic" "ＭＳ ＵＩ Ｇｏｔｈｉｃ"; do
        reg "$key" /v "$face" /t REG_SZ /d "IPAPGothic"
    done
    for face in "ＭＳ ゴシック" "MS Gothic"; do
        reg "$key" /v "$face" /t REG_SZ /d "IPAGothic"
    done
    reg 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
    reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N
    wineserver -w || true
    touch "$stamp"
fi

# Wine draws the caption's buttons with its own Marlett font (Debian's fonts-wine), but this Wine
# finds fonts only through fontconfig and the prefix's Fonts folder: link it there, in prefixes
# made before too. Marlett alone, so no other face changes what the tests measure.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && [ ! -e "$fonts/marlett.ttf" ]; then
    ln -s /usr/share/wine/fonts/marlett.ttf "$fonts/marlett.ttf"
fi

# One persistent server for every Wine start that follows, then the prefix's services.
wineserver -p </dev/null >/dev/null 2>&1 || true
"$VM_WINE" wineboot </dev/null >/dev/null 2>&1 || true
