#!/bin/sh
# Runs one test exe under Wine while a private chronyd (never touching the clock: -x) serves
# time on 127.0.0.2:123 and [::1]:123; chronyd is stopped by its PID however the test ends.
set -u
exe="$1"
dir="$(mktemp -d /tmp/vm-chronyd.XXXXXX)"
cat > "$dir/chrony.conf" <<CONF
local stratum 10
allow 127.0.0.0/8
allow ::1
bindaddress 127.0.0.2
bindaddress ::1
port 123
cmdport 0
bindcmdaddress /
pidfile $dir/chronyd.pid
driftfile $dir/chrony.drift
CONF
chronyd -x -d -u root -f "$dir/chrony.conf" > "$dir/chronyd.log" 2>&1 &
pid=$!
cleanup() {
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Wait until it answers (a query only: ntpdig never sets the clock without -S or -s).
ready=0
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    if ntpdig -t 1 127.0.0.2 > /dev/null 2>&1; then ready=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
done
if [ "$ready" != 1 ]; then
    echo "chronyd did not answer on 127.0.0.2:123" >&2
    cat "$dir/chronyd.log" >&2
    exit 1
fi
"${VM_WINE:-wine}" "$exe"
