#!/usr/bin/env bash
# The test suite once more under ThreadSanitizer, in build-tsan/ (no desktop program, no
# benchmarks: the threads under test are the audio callback, the silent clock and the ALSA
# timer thread). Qt and the system libraries are not instrumented; see the report for the
# known noise they cause.
set -euo pipefail
cd "$(dirname "$0")/.."
export TSAN_OPTIONS=${TSAN_OPTIONS:-"halt_on_error=0 second_deadlock_stack=1"}
KADENZO_ONE_PASS=1 KADENZO_BUILD_DIR=build-tsan KADENZO_CMAKE_ARGS="-DKADENZO_TSAN=ON -DKADENZO_BENCH=OFF -DKADENZO_GUI=OFF" bash scripts/test.sh
