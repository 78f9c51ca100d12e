#!/usr/bin/env bash
# Builds the shipped files twice, the way a release does, from copies of the source in two folders
# of different names and lengths, and compares them: no folder or time of a build may reach them.
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)"

copies=(a/src b/another-source-folder)
for copy in "${copies[@]}"; do
    mkdir -p "$work/$copy"
    tar -C "$root" --exclude='./build*' --exclude=./dist --exclude=./.git -cf - . | tar -C "$work/$copy" -xf -
    bash "$root/scripts/product-build.sh" "$work/$copy" "$work/$copy/build" || { echo "FAIL: build in $copy"; exit 1; }
done
failed=0
for file in vellmarin.exe readme.txt; do
    cmp "$work/${copies[0]}/build/$file" "$work/${copies[1]}/build/$file" || { echo "FAIL: $file differs"; failed=1; }
done
if grep -qaF "$work" "$work/${copies[0]}/build/vellmarin.exe"; then
    echo "FAIL: vellmarin.exe holds the build's folder"; failed=1
fi
[ "$failed" = 0 ] && echo "reproducible: vellmarin.exe $(sha256sum <"$work/a/src/build/vellmarin.exe" | cut -c1-16)..."
exit "$failed"
