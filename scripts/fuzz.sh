#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs one for N seconds:
#   scripts/fuzz.sh fuzz_kdz 300
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?fuzz target name}
seconds=${2:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKADENZO_FUZZ=ON -DKADENZO_BENCH=OFF -DKADENZO_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target "$target"
mkdir -p "fuzz-corpus/$target"
seeds=()
[ -d "tests/fixtures/fuzz/$target" ] && seeds+=("tests/fixtures/fuzz/$target")
"build-fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "fuzz-corpus/$target" "${seeds[@]}"
