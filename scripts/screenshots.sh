#!/usr/bin/env bash
# Saves PNGs of both looks of the clock window and of the property sheet's communication page under
# build/screenshots/, at 96 DPI and at 144 DPI (150 % display scaling): each is shown alone on a
# Wine virtual desktop of the X display (so Wine draws the caption) and captured with import.
# Installs and builds what is missing first; without a display it starts an Xvfb of its own.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/env.sh"

bash "$here/build.sh" >/dev/null
. "$here/xvfb.sh"
exe="$VM_BUILD/tests/clockwin/clockwin_shot.exe"
sheet="$VM_BUILD/tests/sheet/sheet_shot.exe"
out="$VM_BUILD/screenshots"
mkdir -p "$out"

# The virtual desktop takes the X screen's size: Wine records a desktop's size as the display
# size of the whole prefix, which other programs then see. The driver's "reset" restores it.
size="$(xdpyinfo | awk '/dimensions:/ { print $2 }' | head -1)"
restore() {
    "$VM_WINE" "$exe" reset </dev/null >/dev/null 2>&1 9>&- || true
    [ -z "$VM_XVFB_PID" ] || kill "$VM_XVFB_PID" 2>/dev/null || true
}
trap restore EXIT

# shoot LOOK DPI [NAME DRIVER WIDTH HEIGHT]: the driver (the clock's unless given) holds LOOK for
# 10 seconds; the capture is taken after 4 and cut to the corner where the driver puts the window,
# WIDTH x HEIGHT at 96 DPI (480 x 200 unless given), as much larger as the scaling.
shoot() {
    local look="$1" dpi="$2" desk="vmshot-$1-$2-$$" id="" pid name="${3:-$1}" driver="${4:-$exe}"
    local width="${5:-480}" height="${6:-200}"
    [ "$dpi" = 96 ] || name="$name-$dpi"
    bash "$VM_ROOT/scripts/with-dpi.sh" "$dpi" \
        "$VM_WINE" explorer "/desktop=$desk,$size" "$driver" "$look" 10 </dev/null >/dev/null 2>&1 9>&- &
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
    import -window "$id" -crop "$((width * dpi / 96))x$((height * dpi / 96))+0+0" +repage "$out/$name.png"
    wait "$pid" || true
    echo "$out/$name.png"
}

# The scaling is the prefix's: no test run of any checkout may start a program meanwhile.
exec 9>/tmp/vellmarin-port123.lock
flock 9
for dpi in 96 144; do
    shoot standard "$dpi"
    shoot bar "$dpi"
    shoot 2 "$dpi" sheet-comm "$sheet" 420 460      # the page with the up-down controls
done
