#!/usr/bin/env bash
# Keeps src/ layered: a file includes only its own folder and the folders before it in LAYERS,
# and no two modules (a .cpp with its .h) include each other, nor longer loops form.
# Usage: check-layers.sh [root]; prints file:line for each fault and exits 1 when there is one.
set -euo pipefail
export LC_ALL=C
LAYERS=(base ntp logs sntp clockwin sheet app)     # ground first; the README's layout table follows
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}/src"

declare -A rank
for i in "${!LAYERS[@]}"; do rank[${LAYERS[$i]}]=$i; done
fail=0
while read -r file; do
    if [[ $file != */* || -z ${rank[${file%%/*}]:-} ]]; then
        echo "src/$file:1: not in a layer folder (${LAYERS[*]})"; fail=1
    fi
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' \) | sed 's|^\./||' | sort)

# Sets target to PATH relative to src/ without "." and ".." steps ("ntp/../app/x.h": "app/x.h").
normalise() {
    local part parts out=()
    IFS=/ read -ra parts <<<"$1"
    for part in "${parts[@]}"; do
        case $part in
            ""|.) ;;
            ..) if [ "${#out[@]}" -gt 0 ] && [ "${out[-1]}" != .. ]; then unset 'out[-1]'; else out+=(..); fi ;;
            *) out+=("$part") ;;
        esac
    done
    local IFS=/
    target="${out[*]}"
}

# Every spelling names a file: "x.h" beside the file, "../app/x.h" relative to it, <app/x.h> and
# "app/x.h" from src/ (on the include path); the path is normalised before it is judged.
declare -A where                # "from-module to-module" -> file:line of the include
while IFS=: read -r file line text; do
    target=${text#*include}; target=${target#"${target%%[\"<]*}"}
    target=${target:1}; target=${target%%[\">]*}
    if [ -f "${file%/*}/$target" ]; then
        normalise "${file%/*}/$target"
    elif [ -f "$target" ]; then
        normalise "$target"
    else
        continue                                    # outside src/ (resource.h): not layered
    fi
    [[ $target == ../* || $target == */../* ]] && continue
    from=${file%%/*}; to=${target%%/*}
    if (( ${rank[$to]:-0} > ${rank[$from]:--1} )); then
        echo "src/$file:$line: includes $target: $to is above $from"; fail=1
    fi
    [ "${file%.*}" != "${target%.*}" ] && where["${file%.*} ${target%.*}"]="src/$file:$line"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' --include='*.h' --include='*.cpp' . |
         sed 's|^\./||')

for edge in "${!where[@]}"; do
    read -r a b <<<"$edge"
    if [[ $a < $b && -n ${where["$b $a"]:-} ]]; then
        echo "${where[$edge]}: $a and $b include each other (${where["$b $a"]})"; fail=1
    fi
done
if [ "$fail" = 0 ] && ! loop=$(printf '%s\n' "${!where[@]}" | tsort 2>&1 >/dev/null); then
    members=" $(echo "$loop" | sed -n '2,$s/^tsort: //p' | tr '\n' ' ') "
    for edge in "${!where[@]}"; do
        read -r a b <<<"$edge"
        [[ $members == *" $a "* && $members == *" $b "* ]] && echo "${where[$edge]}: include loop through $a -> $b"
    done
    fail=1
fi
exit "$fail"
