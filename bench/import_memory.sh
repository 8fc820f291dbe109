#!/usr/bin/env bash
# Peak memory of importing a big tab (convert to .kdz) and of dumping it, against the tab's
# size and against a new song (the program's own start). Goals: import at most 8 times the
# tab's size, dump at most 2 times the import.
#
#     bash bench/import_memory.sh [MEGABYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-16}
cli=build/cli/kadenzo-cli
[ -x "$cli" ] || { echo "build kadenzo-cli first" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Blocks of four bars with a count line; each block's snare line differs a little.
/usr/bin/python3 - "$dir/big.txt" "$mb" <<'PY'
import sys
path, size = sys.argv[1], int(sys.argv[2]) << 20
snares = ["----o-------o---|", "----o-------o-o-|", "----o---g---o---|", "----o-------oooo|"]
with open(path, "w") as f:
    f.write("Big song\nTempo: 120\n\n")
    b = 0
    while f.tell() < size:
        hh = "HH|" + "x-x-x-x-x-x-x-x-|" * 4
        sd = "SD|" + "".join(snares[(b + i) % 4] for i in range(4))
        bd = "BD|" + "o-------o-o-----|" * 4
        f.write("   1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 +\n" + hh + "\n" + sd + "\n" + bd + "\n\n")
        b += 1
PY

peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; } # kilobytes
base=$(peak "$cli" new "$dir/new.kdz")
import=$(peak "$cli" convert "$dir/big.txt" "$dir/big.kdz")
dump=$(peak "$cli" dump "$dir/big.txt")
tab=$(( $(stat -c %s "$dir/big.txt") / 1024 ))
printf 'tab %d KB; new song %d KB\n' "$tab" "$base"
printf '  import: %7d KB, %5.1f x the tab (beyond the new song)\n' "$import" "$(echo "($import - $base) / $tab" | bc -l)"
printf '  dump:   %7d KB, %5.2f x the import\n' "$dump" "$(echo "$dump / $import" | bc -l)"
