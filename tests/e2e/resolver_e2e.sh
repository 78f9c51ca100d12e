#!/usr/bin/env bash
# Starts our name server on 127.0.0.6:53, then runs the test exe given as $1 under Wine in a mount
# namespace of its own whose resolver is that name server (the machine's resolver is never asked),
# and stops the name server by its PID.
set -u
test_exe="$1"
resolver=127.0.0.6
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$(mktemp -d /tmp/vm-resolver-XXXXXX)"
printf 'nameserver %s\noptions timeout:30 attempts:1\n' "$resolver" >"$dir/resolv.conf"
printf 'hosts: files dns\n' >"$dir/nsswitch.conf"
python3 "$here/../support/private_dns.py" "$resolver" >"$dir/dns.out" 2>&1 &
dns_pid=$!
cleanup() {
    kill "$dns_pid" 2>/dev/null
    wait "$dns_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
sleep 1
kill -0 "$dns_pid" 2>/dev/null || { cat "$dir/dns.out"; exit 1; }
VM_DUAL_NAME=dual.vellmarin.test \
unshare -m sh -c "mount --bind '$dir/resolv.conf' /etc/resolv.conf &&
                  mount --bind '$dir/nsswitch.conf' /etc/nsswitch.conf &&
                  [ \"\$(grep '^nameserver' /etc/resolv.conf)\" = 'nameserver $resolver' ] &&
                  exec '${VM_WINE:-wine}' '$test_exe'"
rc=$?
echo "name server heard:"; cat "$dir/dns.out"
exit $rc
