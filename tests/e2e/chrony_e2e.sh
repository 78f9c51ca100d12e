#!/usr/bin/env bash
# Starts a private chronyd (-x: it never touches the clock) on 127.0.0.4:123 and [::1]:123 (not
# when $2 is "nochronyd": the test serves port 123 itself) and a name server of ours on
# 127.0.0.6:53, then runs the test exe given as $1 under Wine in a mount namespace of its own whose
# resolver is that name server (the machine's resolver is never asked), and stops both by their PIDs.
# Arguments after $2 go to the test exe.
set -u
test_exe="$1"
chronyd="${2:-chronyd}"
shift $(( $# < 2 ? $# : 2 ))
extra="$*"
server=127.0.0.4
resolver=127.0.0.6
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$(mktemp -d /tmp/vm-chrony-XXXXXX)"
cat >"$dir/chrony.conf" <<CONF
local stratum 10
allow 127.0.0.0/8
allow ::1
bindaddress $server
bindaddress ::1
port 123
cmdport 0
bindcmdaddress /
pidfile $dir/chronyd.pid
driftfile $dir/drift
CONF
printf 'nameserver %s\noptions timeout:30 attempts:1\n' "$resolver" >"$dir/resolv.conf"
printf 'hosts: files dns\n' >"$dir/nsswitch.conf"
chrony_pid=""
if [ "$chronyd" != nochronyd ]; then
    chronyd -x -d -u root -f "$dir/chrony.conf" >"$dir/chronyd.out" 2>&1 &
    chrony_pid=$!
fi
python3 "$here/../support/private_dns.py" "$resolver" >"$dir/dns.out" 2>&1 &
dns_pid=$!
cleanup() {
    kill $chrony_pid "$dns_pid" 2>/dev/null
    wait $chrony_pid "$dns_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
sleep 1
if ! kill -0 $chrony_pid "$dns_pid" 2>/dev/null; then
    cat "$dir/chronyd.out" "$dir/dns.out" 2>/dev/null; exit 1
fi
# The namespace's resolver is checked before the test runs: only ours may be asked.
VM_CHRONY_SERVER=$server VM_IPV6_NAME=v6only.vellmarin.test VM_HANGING_NAME=hang.vellmarin.test \
VM_DUAL_NAME=dual.vellmarin.test \
unshare -m sh -c "mount --bind '$dir/resolv.conf' /etc/resolv.conf &&
                  mount --bind '$dir/nsswitch.conf' /etc/nsswitch.conf &&
                  [ \"\$(grep '^nameserver' /etc/resolv.conf)\" = 'nameserver $resolver' ] &&
                  exec '${VM_WINE:-wine}' '$test_exe' $extra"
rc=$?
echo "name server heard:"; cat "$dir/dns.out"
exit $rc
