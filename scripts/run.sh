#!/usr/bin/env bash
# Builds the program and runs it once under Wine against a private chronyd (never touching the
# clock) on 127.0.0.3, in build/run/; prints the status line, the log line and the screenshot.
# The program run is the build for what this machine runs: the 32-bit product where 32-bit Wine
# works, else the 64-bit build of the same source (build/win64/vellmarin.exe).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/env.sh"

bash "$here/build.sh"

server=127.0.0.3
run="$VM_PRODUCT_BUILD/run"
peek="$VM_BUILD/tests/e2e/vm_peek.exe"
mkdir -p "$run/chrony"
# Port 123 on loopback is shared with the tests' fake servers: one user at a time.
exec 9>/tmp/vellmarin-port123.lock
flock 9
cp "$VM_BUILD/vellmarin.exe" "$run/"

chrony_pid=""
program_pid=""
started_xvfb=""
cleanup() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        "$VM_WINE" "$peek" close 1 >/dev/null 2>&1 9>&- || true
        for _ in $(seq 1 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
        kill "$program_pid" 2>/dev/null || true
    fi
    if [ -n "$chrony_pid" ]; then kill "$chrony_pid" 2>/dev/null || true; fi
    if [ -n "$started_xvfb" ]; then kill "$started_xvfb" 2>/dev/null || true; fi
}
trap cleanup EXIT

# Our own time server: local clock as stratum 10, answering on one loopback address only.
cat >"$run/chrony/chrony.conf" <<EOF
local stratum 10
allow 127.0.0.0/8
bindaddress $server
port 123
cmdport 0
bindcmdaddress /
pidfile $run/chrony/chronyd.pid
driftfile $run/chrony/drift
EOF
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO chronyd -x -d -u root -f "$run/chrony/chrony.conf" >"$run/chrony/chronyd.out" 2>&1 &
chrony_pid=$!
sleep 1
if ! kill -0 "$chrony_pid" 2>/dev/null; then
    echo "chronyd did not start:"; cat "$run/chrony/chronyd.out"; exit 1
fi

# The program's options: the local server first, both logs on. Everything else keeps its default.
printf '[SETUP]\r\nSaveLog=1\r\nSaveEventLog=1\r\n[SERVER]\r\nServer0=%s\r\n' "$server" \
    >"$run/vellmarin.ini"

# The user's display when there is one, else a private Xvfb and a screenshot.
. "$here/xvfb.sh"
started_xvfb="$VM_XVFB_PID"
wineserver -p </dev/null >/dev/null 2>&1 || true

# Wine's service processes may start here and outlive the run: none of them inherits the lock.
(cd "$run" && exec "$VM_WINE" ./vellmarin.exe) </dev/null >/dev/null 2>&1 9>&- &
program_pid=$!

report="$("$VM_WINE" "$peek" wait 20 2>/dev/null 9>&- | iconv -f CP932 -t UTF-8 || true)"
shot=""
if [ -n "$started_xvfb" ]; then
    shot="$run/screenshot.png"
    import -window root "$shot" 2>/dev/null || shot=""
fi

# With the default AutoClose the program closes itself 3 s after a good reply.
for _ in $(seq 1 80); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done

year="$(date +%Y)"
log="$run/vellmarin-log-$year.csv"
echo "program:     $VM_BUILD/vellmarin.exe ($VM_ARCH: $VM_ARCH_WHY)"
echo "server:      $server (chronyd -x, pid $chrony_pid)"
echo "$report" | sed -n 's/^title\t/title:       /p; s/^time\t/time:        /p; s/^status\t/status:      /p'
if [ -f "$log" ]; then
    echo "log line:    $(tail -n 1 "$log" | iconv -f CP932 -t UTF-8)"
else
    echo "log line:    (no correction log written)"
fi
if kill -0 "$program_pid" 2>/dev/null; then
    echo "program:     still running; closing it"
else
    wait "$program_pid" 2>/dev/null && echo "program:     closed itself (exit 0)" || echo "program:     ended with exit code $?"
fi
[ -n "$shot" ] && echo "screenshot:  $shot"
echo "run folder:  $run"
