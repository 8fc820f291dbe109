#!/usr/bin/env bash
# Batch conversion against its yardstick, alternated in one run: every corpus tab to MIDI by
# one `kadenzo-cli convert --to mid` call, and by scripts/midi_baseline.py started once per
# file. Also the whole-process time of converting one tab. Prints medians and the ratio.
#
#     bash bench/batch_convert.sh [ROUNDS] [TAB_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
tabs=${2:-${KADENZO_CORPUS_DIR:-/work/shared/corpus}/tabs}
cli=build/cli/kadenzo-cli
[ -x "$cli" ] || { echo "build kadenzo-cli first" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
files=("$tabs"/*.txt)
one=${files[0]}

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

: >"$out/ours" ; : >"$out/python" ; : >"$out/single" ; : >"$out/cpu"
for ((r = 0; r < rounds; r++)); do
  t0=$(now)
  "$cli" convert --to mid --out-dir "$out/k" "$tabs" 2>/dev/null || true
  t1=$(now)
  for f in "${files[@]}"; do
    /usr/bin/python3 scripts/midi_baseline.py "$f" "$out/p.mid" 2>/dev/null || true
  done
  t2=$(now)
  for i in 1 2 3 4 5 6 7 8 9 10; do "$cli" convert "$one" "$out/one.mid"; done
  t3=$(now)
  echo "$t1 - $t0" | bc -l >>"$out/ours"
  echo "$t2 - $t1" | bc -l >>"$out/python"
  echo "($t3 - $t2) / 10" | bc -l >>"$out/single"
  # The same conversion's processor time: the wall time above also counts waiting for a core
  # on a busy machine.
  if command -v perf >/dev/null; then
    perf stat -x, -e task-clock -r 10 "$cli" convert "$one" "$out/one.mid" 2>&1 >/dev/null | awk -F, '/task-clock/ {print $1}' >>"$out/cpu"
  fi
done
ours=$(median <"$out/ours")
python=$(median <"$out/python")
single=$(median <"$out/single")
printf '%d tabs, %d rounds (medians)\n' "${#files[@]}" "$rounds"
printf '  kadenzo-cli convert --to mid (one call): %8.1f ms\n' "$(echo "$ours * 1000" | bc -l)"
printf '  midi_baseline.py, one process per file:  %8.1f ms\n' "$(echo "$python * 1000" | bc -l)"
printf '  ratio (baseline / kadenzo-cli):          %8.1f x\n' "$(echo "$python / $ours" | bc -l)"
printf '  one tab, whole process (convert IN OUT):  %8.1f ms\n' "$(echo "$single * 1000" | bc -l)"
if [ -s "$out/cpu" ]; then
  printf '  one tab, processor time (task-clock):     %8.1f ms\n' "$(median <"$out/cpu")"
fi
printf '  shared libraries kadenzo-cli loads:       %8d\n' "$(ldd "$cli" | grep -c '=>')"
printf '  load: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
