#!/usr/bin/env bash
# Builds the release in a fresh folder of its own (build-release/) and writes
# dist/vellmarin-<version>.zip (vellmarin.exe, readme.txt, LICENSE.txt), the exe beside it and
# dist/SHA256SUMS for both; prints the checksums and the zip's size. The same commit gives the
# same bytes wherever and whenever it is built: every time in them is the last commit's.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"

bash "$here/install-deps.sh"
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "release: uncommitted changes: these files are not the last commit's" >&2
fi
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}"
build="$root/build-release"
bash "$here/product-build.sh" "$root" "$build"

version="$(sed -n 's/^#define VM_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/vellmarin_version.h")"
zip="vellmarin-$version.zip"
dist="$root/dist"
rm -rf "$dist"
mkdir -p "$dist"
# Notepad of older Windows shows LF-only text as one line.
sed 's/\r*$/\r/' "$root/LICENSE" >"$build/LICENSE.txt"
python3 "$root/release/make_zip.py" "$dist/$zip" "$SOURCE_DATE_EPOCH" vellmarin.exe="$build/vellmarin.exe" \
        readme.txt="$build/readme.txt" LICENSE.txt="$build/LICENSE.txt"
cp "$build/vellmarin.exe" "$dist/"
cd "$dist"
sha256sum "$zip" vellmarin.exe >SHA256SUMS
sha256sum --check --quiet SHA256SUMS
cat SHA256SUMS
echo "$zip: $(stat -c %s "$zip") bytes (dist/)"
