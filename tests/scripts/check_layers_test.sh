#!/usr/bin/env bash
# The layer check refuses copies of src/ with one wrong include added, naming the file and the
# line, and passes on the real tree.
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
check="$root/scripts/check-layers.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0

# file to append an include to | included path (quoted unless spelt) | what the check must print
rows=(
    "ntp/ntp_time.cpp|app/sync_machine.h|src/ntp/ntp_time.cpp:@: includes app/sync_machine.h: app is above ntp"
    "ntp/ntp_time.cpp|<app/sync_machine.h>|src/ntp/ntp_time.cpp:@: includes app/sync_machine.h: app is above ntp"
    "ntp/ntp_time.h|\"../app/sync_machine.h\"|src/ntp/ntp_time.h:@: includes app/sync_machine.h: app is above ntp"
    "logs/event_log.h|sntp/reply.h|src/logs/event_log.h:@: includes sntp/reply.h: sntp is above logs"
    "sntp/reply.cpp|sntp/exchange.h|sntp/exchange and sntp/reply include each other (src/sntp/reply.cpp:@)"
    "clockwin/drawn_buttons.cpp|clockwin/display.h|src/clockwin/drawn_buttons.cpp:@: include loop through clockwin/drawn_buttons -> clockwin/display"
    "extra/stray.cpp|base/program.h|src/extra/stray.cpp:1: not in a layer folder"
)
for i in "${!rows[@]}"; do
    IFS='|' read -r file include expected <<<"${rows[$i]}"
    tree="$work/$i"
    mkdir -p "$tree" && cp -r "$root/src" "$tree/src"
    mkdir -p "$(dirname "$tree/src/$file")"
    touch "$tree/src/$file"
    [[ $include == [\"\<]* ]] || include="\"$include\""
    echo "#include $include" >>"$tree/src/$file"
    expected=${expected//@/$(wc -l <"$tree/src/$file")}
    if output=$(bash "$check" "$tree" 2>&1); then
        echo "FAIL: $file including $include passed the check"; failed=1
    elif [[ $output != *"$expected"* ]]; then
        echo "FAIL: $file including $include: expected '$expected', got:"; echo "$output"; failed=1
    fi
done

if ! output=$(bash "$check" "$root" 2>&1) || [ -n "$output" ]; then
    echo "FAIL: the real tree does not pass:"; echo "$output"; failed=1
fi
[ "$failed" = 0 ] && echo "layer check: ${#rows[@]} wrong trees refused, real tree passes"
exit "$failed"
