#!/usr/bin/env bash
# Saves PNGs of both looks of the clock window under build/screenshots/: each look is shown alone
# on a Wine virtual desktop of the X display (so Wine draws the caption) and captured with import.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/env.sh"
export DISPLAY="${DISPLAY:-:99}"

cmake --build "$VM_BUILD" --target clockwin_shot -j2 >/dev/null
exe="$VM_BUILD/tests/clockwin/clockwin_shot.exe"
out="$VM_BUILD/screenshots"
mkdir -p "$out"

# The virtual desktop takes the X screen's size: Wine records a desktop's size as the display
# size of the whole prefix, which other programs then see. The driver's "reset" restores it.
size="$(xdpyinfo | awk '/dimensions:/ { print $2 }' | head -1)"
restore() { "$VM_WINE" "$exe" reset </dev/null >/dev/null 2>&1 || true; }
trap restore EXIT

# shoot LOOK: the driver holds the look for 10 seconds; the capture is taken after 4 and cut to
# the corner where the driver puts the window.
shoot() {
    local look="$1" desk="vmshot-$1-$$" id="" pid
    "$VM_WINE" explorer "/desktop=$desk,$size" "$exe" "$look" 10 </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 50); do
        id="$(xdotool search --name "^$desk - " 2>/dev/null | head -1 || true)"
        [ -n "$id" ] && break
        sleep 0.2
    done
    if [ -z "$id" ]; then
        echo "screenshots: no virtual desktop for $look" >&2
        wait "$pid" || true
        return 1
    fi
    sleep 4
    import -window "$id" -crop 480x200+0+0 +repage "$out/$look.png"
    wait "$pid" || true
    echo "$out/$look.png"
}

shoot standard
shoot bar
