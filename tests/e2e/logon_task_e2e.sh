#!/usr/bin/env bash
# The exe's task commands in the shared prefix (the product where 32-bit programs run, else its
# 64-bit build): from a copy under Program Files /register-task creates the task file and
# /unregister-task removes it; from any other folder /register-task ends with exit code 5 and
# creates nothing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$root/scripts/env.sh"
tasks="$WINEPREFIX/drive_c/windows/system32/tasks"
installed="$WINEPREFIX/drive_c/Program Files/vm-task-e2e"
elsewhere="$(mktemp -d /tmp/vm-task-e2e.XXXXXX)"
trap 'rm -rf "$installed" "$elsewhere"' EXIT
mkdir -p "$installed"
# Should the switches ever be ignored, the program that starts instead asks loopback only.
for folder in "$installed" "$elsewhere"; do
    cp "$VM_BUILD/vellmarin.exe" "$folder/"
    printf '[SETUP]\r\nStartupWait=99\r\n[SERVER]\r\nServer0=127.0.0.1\r\n' >"$folder/vellmarin.ini"
done

# run FOLDER SWITCH: the exe's exit code (a program that does not end is stopped and fails).
run() {
    local code=0
    (cd "$1" && exec timeout 60 "$VM_WINE" ./vellmarin.exe "$2") </dev/null >/dev/null 2>&1 || code=$?
    echo "$code"
}
fail=0
expect() {
    if [ "$2" != "$3" ]; then echo "FAIL: $1: $3, expected $2"; fail=1; fi
}

# The task is the user's own: "vellmarin" and the user's SID.
task_file() { compgen -G "$tasks/vellmarin S-1-*" >/dev/null && echo present || echo absent; }
rm -f "$tasks"/vellmarin\ S-1-*
expect "/register-task elsewhere" 5 "$(run "$elsewhere" /register-task)"
expect "task file after a refusal" absent "$(task_file)"
expect "/register-task in Program Files" 0 "$(run "$installed" /register-task)"
expect "task file after registering" present "$(task_file)"
# Registering again replaces the task (as one an earlier version made); the parser's trace shows
# that the Task Scheduler read both triggers.
trace="$(cd "$installed" && WINEDEBUG=trace+taskschd timeout 60 "$VM_WINE" ./vellmarin.exe /register-task 2>&1 >/dev/null; echo "exit $?")"
expect "/register-task again" "exit 0" "$(tail -n 1 <<<"$trace")"
expect "triggers read" 2 "$(grep -cE 'Element: L"(Logon|Event)Trigger"' <<<"$trace")"
expect "/unregister-task" 0 "$(run "$installed" /unregister-task)"
expect "task file after unregistering" absent "$(task_file)"
expect "/unregister-task without a task" 0 "$(run "$elsewhere" /unregister-task)"
[ "$fail" = 0 ] && echo "logon task commands: as expected"
exit "$fail"
