#!/usr/bin/env bash
# The shipped build/vellmarin.exe, started in a fresh folder against a native time server 5 s
# ahead on loopback: it queries once, logs about -5.000 s, shows that error as its status and
# closes itself with exit code 0. Under 32-bit Wine where the kernel runs 32-bit code, else in a
# 64-bit prefix of its own (WoW64) with the 32-bit code emulated (scripts/emulate32.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$root/scripts/env.sh"
server=127.0.0.5                        # no other test uses it

if [ "${1:-}" != --run ]; then
    # It imports system DLLs of every Windows only, and neither the DPI functions of newer
    # Windows nor SetDefaultDllDirectories: it looks them up at run time, so it starts without them.
    imports="$(i686-w64-mingw32-objdump -p "$VM_PRODUCT_BUILD/vellmarin.exe")"
    allowed=" ADVAPI32.DLL COMCTL32.DLL COMDLG32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL USER32.DLL WS2_32.DLL "
    for dll in $(awk '/DLL Name:/ { print toupper($3) }' <<<"$imports"); do
        if [[ "$allowed" != *" $dll "* ]]; then
            echo "FAIL: the exe imports $dll, not a system DLL of every Windows"; exit 1
        fi
    done
    if grep -q 'ForDpi\|DpiFor\|DpiAwareness\|SetDefaultDllDirectories' <<<"$imports"; then
        echo "FAIL: the exe imports a function newer Windows only have"; exit 1
    fi
    # One run at a time on this machine (its server address, its prefix); what it starts in the
    # background does not inherit the lock.
    exec 7>/tmp/vellmarin-smoke.lock
    flock 7
    run="$(mktemp -d /tmp/vm-smoke.XXXXXX)"
    python3 "$root/bench/offset/fake_server.py" "$server" 5.0 7>&- &
    server_pid=$!
    trap 'kill "$server_pid" 2>/dev/null; rm -rf "$run"' EXIT
    sleep 0.5
    if ! grep -q '^State:[[:space:]]*[RS]' "/proc/$server_pid/status" 2>/dev/null; then
        echo "FAIL: the time server cannot listen on $server:123"; exit 1
    fi
    printf '[SETUP]\r\nStartupWait=0\r\nAutoClose=1\r\nSaveLog=1\r\n[SERVER]\r\nServer0=%s\r\n' \
        "$server" >"$run/vellmarin.ini"
    cp "$VM_PRODUCT_BUILD/vellmarin.exe" "$run/"
    if [ "$VM_ARCH" = win32 ]; then
        bash "${BASH_SOURCE[0]}" --run "$run"
    else
        # The prefix is made after wine32 was installed, so its syswow64 holds the 32-bit DLLs.
        # A display of its own: it runs beside the other tests.
        export VM_WINEPREFIX="${HOME:-/root}/.cache/vellmarin/wineprefix-wow64"
        unset DISPLAY
        . "$root/scripts/xvfb.sh" 7>&-
        trap 'kill "$server_pid" $VM_XVFB_PID 2>/dev/null; rm -rf "$run"' EXIT
        bash "$root/scripts/emulate32.sh" bash "${BASH_SOURCE[0]}" --run "$run"
    fi
    exit
fi

run="$2"
# Wine's server and services can outlive their starter: they must inherit no lock (fd 9 of
# scripts/test.sh, 3 of a flock command, 7 here), or they would hold it after the run.
for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    [ "$fd" -gt 2 ] && eval "exec $fd>&-"
done
start=$SECONDS
if [ "$VM_ARCH" = win64 ]; then
    bash "$root/scripts/wine-prefix.sh"
    trap 'wineserver -k 2>/dev/null || true' EXIT   # this prefix's own server
    echo "emulated WoW64 prefix $WINEPREFIX ready in $((SECONDS - start)) s"
    if vm_kernel_runs_32bit; then
        echo "FAIL: with the emulator active the 32-bit probe passes for native support"; exit 1
    fi
fi
start=$SECONDS
(cd "$run" && exec "$VM_WINE" ./vellmarin.exe) </dev/null >"$run/wine.out" 2>&1 &
program=$!
# The window's status once it reports an outcome, read from outside as long as the program runs.
status=""
while [ -z "$status" ] && kill -0 "$program" 2>/dev/null; do
    if report="$("$VM_WINE" "$VM_BUILD/tests/e2e/vm_peek.exe" wait 5 </dev/null 2>/dev/null)"; then
        status="$(iconv -f CP932 -t UTF-8 <<<"$report" | sed -n 's/^status\t//p')"
    fi
done
# With AutoClose it closes itself a few seconds after a good reply; after an error it stays open.
for _ in $(seq 1 1200); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
code=0
if kill -0 "$program" 2>/dev/null; then
    echo "FAIL: the program did not close itself"
    "$VM_WINE" "$VM_BUILD/tests/e2e/vm_peek.exe" close </dev/null >/dev/null 2>&1 || true
    sleep 10
    kill "$program" 2>/dev/null || true
fi
wait "$program" || code=$?
echo "product run (start, query, close) took $((SECONDS - start)) s"

csv="$run/vellmarin-log-$(date +%Y).csv"
log="$(tail -n 1 "$csv" 2>/dev/null | iconv -f CP932 -t UTF-8 || true)"
logged="${log##*,}"
shown="$(sed -n 's/.*誤差は \(-\{0,1\}[0-9.]*\) 秒.*/\1/p' <<<"$status")"
echo "status: $status"
echo "log line: $log"
echo "exit code: $code"
near() { awk -v v="$1" 'BEGIN { exit !(v != "" && v + 0 > -5.020 && v + 0 < -4.980) }'; }
fail=0
[ "$(wc -l <"$csv" 2>/dev/null)" = 2 ] || { echo "FAIL: the correction log holds no single entry"; fail=1; }
near "$logged" || { echo "FAIL: the correction log holds no error within 20 ms of -5.000 s"; fail=1; }
near "$shown" || { echo "FAIL: the status shows no error within 20 ms of -5.000 s"; fail=1; }
[ "$code" = 0 ] || { echo "FAIL: the program ended with exit code $code"; cat "$run/wine.out"; fail=1; }
exit "$fail"
