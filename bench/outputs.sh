#!/usr/bin/env bash
# Writes what kadenzo-cli makes of every corpus song and test fixture (.kdz, .mid and .txt
# conversions, the dump and the layout) into one folder, so that two builds can be compared
# byte for byte after a change that must not alter any output:
#
#     bash bench/outputs.sh build/cli/kadenzo-cli /tmp/after
#     bash bench/outputs.sh ../other/build/cli/kadenzo-cli /tmp/before
#     diff -r /tmp/before /tmp/after && echo identical
#
# Failures are kept too: a file that cannot be read gives the same message in both builds.
set -uo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:?kadenzo-cli to run}")
out=${2:?folder to write}
corpus=${KADENZO_CORPUS_DIR:-/work/shared/corpus}
mkdir -p "$out"
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT

inputs=()
while IFS= read -r -d '' f; do
    inputs+=("$f")
done < <(find "$corpus" tests/fixtures -type f \( -name '*.txt' -o -name '*.tab' -o -name '*.kdz' -o -name '*.mid' \) \
    ! -name '*.expect' -print0 | sort -z)

for f in "${inputs[@]}"; do
    name=$(echo "$f" | sed 's|^/||; s|/|__|g')
    run() { # run NAME ARGS...: stdout, stderr and the exit status of one command
        local tag=$1
        shift
        "$cli" --settings "$settings/kadenzo.ini" "$@" >"$out/$name.$tag.out" 2>"$out/$name.$tag.err"
        echo $? >"$out/$name.$tag.rc"
    }
    run dump dump "$f"
    run layout layout "$f"
    for ext in kdz mid txt; do
        run "to-$ext" convert "$f" "$out/$name.out.$ext"
    done
done
# Temporary names in messages differ from run to run.
sed -i "s|$settings|SETTINGS|g" "$out"/*.err 2>/dev/null || true
echo "${#inputs[@]} inputs written to $out"
