#!/bin/bash
# Offset benchmark against one native fake server on 127.0.0.3:123 (and the same on [::1]:123)
# whose clock runs 5.000 s ahead: ntpdig (a fresh process per query), vellmarin's exchange code in
# one warm process over IPv4 and then over IPv6, then the program as a user starts it (a fresh
# process per sample, StartupWait 0) with the server given as a dotted address and as a host
# name, and the same starts again with the window thread kept busy while the reply lands. Prints
# one line for each, then where the warm exchanges and the first exchanges spent their time, the
# error left after those starts' corrections, and the error of setting the clock alone over many
# corrections in one process.
# Usage: bench/offset/run.sh [build-dir] [exchanges] [starts]
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$root/scripts/env.sh"
. "$root/scripts/xvfb.sh"
[ -n "$VM_XVFB_PID" ] && trap 'kill "$VM_XVFB_PID" 2>/dev/null' EXIT
build="${1:-$VM_BUILD}"
count="${2:-50}"
starts="${3:-30}"
wine_loader="$VM_WINE"
wineserver -p </dev/null >/dev/null 2>&1 || true
flock -o /tmp/vellmarin-port123.lock bash -s "$here" "$build" "$count" "$wine_loader" "$starts" <<'INNER'
set -eu
here="$1"; build="$2"; count="$3"; wine_loader="$4"; starts="$5"
work="$(mktemp -d /tmp/vm-offset-XXXXXX)"
python3 "$here/fake_server.py" 127.0.0.3 5.0 &
server=$!
python3 "$here/fake_server.py" ::1 5.0 &
server6=$!
trap 'kill $server $server6 2>/dev/null; wait $server $server6 2>/dev/null; rm -rf "$work"; true' EXIT
trap 'exit 1' INT TERM HUP
sleep 0.5

# Values in milliseconds, one a line, summed up as "HEAD WORD=N p50=... p99=... max=...".
spread() {
    sort -g | awk -v head="$1" -v word="$2" '{ v[++n] = $1 }
    END {
        if (n == 0) { printf "%s not measured\n", head; exit }
        p50 = v[int(0.50 * (n - 1) + 0.5) + 1]; p99 = v[int(0.99 * (n - 1) + 0.5) + 1]
        printf "%s %s=%d p50=%.3fms p99=%.3fms max=%.3fms\n", head, word, n, p50, p99, v[n] }'
}

errors=""
i=0
while [ "$i" -lt "$count" ]; do
    # Only a query: ntpdig is never given -S or -s here.
    offset="$(ntpdig -t 1 127.0.0.3 2>/dev/null | awk '{ for (f = 1; f <= NF; f++) if ($f ~ /^[+-][0-9]+\.[0-9]+$/) { print $f; exit } }')"
    [ -n "$offset" ] && errors="$errors $offset"
    i=$((i + 1))
    sleep 0.02
done
echo "$errors" | tr ' ' '\n' | awk 'NF { e = $1 - 5.0; if (e < 0) e = -e; printf "%.6f\n", e * 1000 }' |
    spread "ntpdig    127.0.0.3" exchanges
"$wine_loader" "$build/bench/offset/offset_bench.exe" "$count" 127.0.0.3 | grep -a -e exchanges= -e '^legs'
"$wine_loader" "$build/bench/offset/offset_bench.exe" "$count" ::1 | grep -a -e exchanges= -e '^legs'

# The program's own start-up, each in a fresh folder with its INI. The host name is found in a
# private hosts file, bound over /etc/hosts in a mount namespace of that one start, so no name
# server is asked and the machine's own file stays as it is.
printf '127.0.0.1 localhost\n127.0.0.3 timeserver.vellmarin.test\n' >"$work/hosts"
printf 'hosts: files\n' >"$work/nsswitch.conf"
# $1 the server; $2 "busy" to keep the window thread busy while the reply lands.
first_exchange() {
    local i=0 folder mode="${2:-}"
    : >"$work/samples"
    while [ "$i" -lt "$starts" ]; do
        folder="$work/start-$1-$i$mode"
        mkdir "$folder"
        cp "$build/bench/offset/first_exchange_bench.exe" "$folder/"
        printf '[SETUP]\r\nStartupWait=0\r\nRetryMax=0\r\nAutoClose=1\r\nErrorClose=1\r\n[SERVER]\r\nServer0=%s\r\n' \
               "$1" >"$folder/vellmarin.ini"
        unshare -m sh -c 'mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/nsswitch.conf &&
                          shift 2 && exec "$@"' sh "$work/hosts" "$work/nsswitch.conf" \
                timeout 30 "$wine_loader" "$folder/first_exchange_bench.exe" $mode </dev/null 2>/dev/null |
            tr -d '\r' | sed -n 's/^first-exchange-sample \([0-9.]*\) \([0-9.]*\) \([0-9.]*\)$/\1 \2 \3/p' >>"$work/samples" || true
        i=$((i + 1))
    done
    if [ -n "$mode" ]; then
        cut -d' ' -f1 "$work/samples" | spread "first-exchange-$mode $1" starts
        return
    fi
    cut -d' ' -f1 "$work/samples" | spread "first-exchange $1" starts
    cut -d' ' -f2 "$work/samples" | spread "first-round-trip $1" starts
    cut -d' ' -f3 "$work/samples" >>"$work/after"
}
: >"$work/after"
first_exchange 127.0.0.3
first_exchange timeserver.vellmarin.test
first_exchange 127.0.0.3 busy
first_exchange timeserver.vellmarin.test busy
# What the user gets: the first exchange's error and the setting's error together, every start.
spread after-correction starts <"$work/after"
"$wine_loader" "$build/bench/offset/set_error_bench.exe" 2000 | tr -d '\r' | grep -a '^set-error'
INNER
