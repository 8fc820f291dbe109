#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs them.
#   scripts/fuzz.sh fuzz_kdz 300     one target for 300 s in the foreground
#   scripts/fuzz.sh all 1800         every target at once, each under nice -n 19 (the machine is
#                                    shared), logs in build-fuzz/logs/<target>.log
# Seeds come from tests/fixtures/fuzz/<target>/ and, for the importer and the MIDI reader, from
# the project's own test tabs and MIDI files; what the fuzzer learns goes to fuzz-corpus/,
# and a crashing input is written as build-fuzz/logs/crash-<target>-*.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?fuzz target name, or all}
seconds=${2:-60}
all_targets=(fuzz_kdz fuzz_docedit fuzz_import fuzz_midi fuzz_wav fuzz_mp3)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKADENZO_FUZZ=ON -DKADENZO_BENCH=OFF -DKADENZO_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null

run_one() { # target seconds [extra libFuzzer options...]
  local t=$1 s=$2
  shift 2
  mkdir -p "fuzz-corpus/$t"
  local seeds=()
  [ -d "tests/fixtures/fuzz/$t" ] && seeds+=("tests/fixtures/fuzz/$t")
  case $t in
    fuzz_import) seeds+=(tests/fixtures/tabs tests/fixtures/heldout) ;;
    fuzz_midi) seeds+=(tests/fixtures/midi) ;;
  esac
  "build-fuzz/fuzz/$t" -max_total_time="$s" -print_final_stats=1 "$@" "fuzz-corpus/$t" "${seeds[@]}"
}

if [ "$target" != all ]; then
  cmake --build build-fuzz --target "$target"
  run_one "$target" "$seconds"
  exit
fi

cmake --build build-fuzz -j2 --target "${all_targets[@]}"
mkdir -p build-fuzz/logs
pids=()
for t in "${all_targets[@]}"; do
  nice -n 19 bash -c "$(declare -f run_one); run_one $t $seconds -artifact_prefix=build-fuzz/logs/crash-$t-" \
    >"build-fuzz/logs/$t.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!all_targets[@]}"; do
  if wait "${pids[$i]}"; then
    echo "${all_targets[$i]}: clean"
  else
    echo "${all_targets[$i]}: FAILED, see build-fuzz/logs/${all_targets[$i]}.log"
    status=1
  fi
done
for t in "${all_targets[@]}"; do
  echo "== $t"
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)|^#[0-9]+[[:space:]]+(INITED|DONE)' \
    "build-fuzz/logs/$t.log" || true
done
exit $status
