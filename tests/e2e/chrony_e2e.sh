#!/usr/bin/env bash
# Starts a private chronyd (-x: it never touches the clock) on 127.0.0.4:123, runs the test exe
# given as $1 under Wine against it, and stops chronyd by its PID.
set -u
test_exe="$1"
server=127.0.0.4
dir="$(mktemp -d /tmp/vm-chrony-XXXXXX)"
cat >"$dir/chrony.conf" <<CONF
local stratum 10
allow 127.0.0.0/8
bindaddress $server
port 123
cmdport 0
bindcmdaddress /
pidfile $dir/chronyd.pid
driftfile $dir/drift
CONF
chronyd -x -d -u root -f "$dir/chrony.conf" >"$dir/chronyd.out" 2>&1 &
chrony_pid=$!
sleep 1
if ! kill -0 "$chrony_pid" 2>/dev/null; then
    cat "$dir/chronyd.out"; rm -rf "$dir"; exit 1
fi
VM_CHRONY_SERVER=$server "${VM_WINE:-wine}" "$test_exe"
rc=$?
kill "$chrony_pid" 2>/dev/null
wait "$chrony_pid" 2>/dev/null
rm -rf "$dir"
exit $rc
