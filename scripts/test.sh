#!/usr/bin/env bash
# Builds, then runs every test through CTest under Wine, headless when there is no display,
# with code page 932 and a fixed time zone. Ends with CTest's summary; non-zero on any failure.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/env.sh"

bash "$here/build.sh"

. "$here/xvfb.sh"
cleanup() {
    # Under CI nothing may outlive the run: Wine's helper processes would hold its output pipes.
    if [ "${CI:-}" = true ]; then wineserver -k 2>/dev/null || true; fi
    [ -n "$VM_XVFB_PID" ] && kill "$VM_XVFB_PID" 2>/dev/null
    true
}
trap cleanup EXIT

wineserver -p </dev/null >/dev/null 2>&1 || true
cd "$VM_BUILD"
# Loopback port 123 and the single-instance mutex are shared with run.sh, the benchmarks and
# other checkouts on this machine: one test run at a time.
exec 9>/tmp/vellmarin-port123.lock
flock 9
# A run at another display scaling that was killed may have left its LogPixels in the prefix.
"$VM_WINE" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f </dev/null >/dev/null 2>&1 9>&- || true
# Two at a time: the tests in the shared prefix one after another (CTest's lock "prefix"), the
# emulated run of the product beside them. They do not inherit the lock: a Wine server or service
# one of them starts could outlive the run and hold it.
ctest -j 2 --output-on-failure "$@" 9>&-
