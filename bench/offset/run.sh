#!/bin/bash
# Offset benchmark, 50 exchanges each against one native fake server on 127.0.0.3:123 whose
# clock runs 5.000 s ahead: first ntpdig, then vellmarin (under Wine, through the program's own
# exchange code), then vellmarin again over IPv6 against the same server on [::1]:123. Prints one
# line for each, then where vellmarin's exchanges spent their time.
# Usage: bench/offset/run.sh [build-dir] [exchanges]
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$root/scripts/env.sh"
. "$root/scripts/xvfb.sh"
[ -n "$VM_XVFB_PID" ] && trap 'kill "$VM_XVFB_PID" 2>/dev/null' EXIT
build="${1:-$VM_BUILD}"
count="${2:-50}"
wine_loader="$VM_WINE"
flock /tmp/vellmarin-port123.lock bash -s "$here" "$build" "$count" "$wine_loader" <<'INNER'
set -eu
here="$1"; build="$2"; count="$3"; wine_loader="$4"
python3 "$here/fake_server.py" 127.0.0.3 5.0 &
server=$!
python3 "$here/fake_server.py" ::1 5.0 &
server6=$!
trap 'kill $server $server6 2>/dev/null; wait $server $server6 2>/dev/null; true' EXIT
trap 'exit 1' INT TERM HUP
sleep 0.5
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
    sort -g | awk '{ v[++n] = $1 }
    END {
        p50 = v[int(0.50 * (n - 1) + 0.5) + 1]; p99 = v[int(0.99 * (n - 1) + 0.5) + 1]
        printf "ntpdig    127.0.0.3 exchanges=%d p50=%.3fms p99=%.3fms max=%.3fms\n", n, p50, p99, v[n] }'
"$wine_loader" "$build/bench/offset/offset_bench.exe" "$count" 127.0.0.3 | grep -a -e exchanges= -e '^legs'
"$wine_loader" "$build/bench/offset/offset_bench.exe" "$count" ::1 | grep -a -e exchanges= -e '^legs'
INNER
