#!/usr/bin/env bash
# The whole test suite once more under ThreadSanitizer, in build-tsan/, desktop tests included
# (offscreen): the audio callback, the silent clock, the ALSA timer thread, the player while the
# user edits, the programs started through QProcess.
# Qt and the system libraries are not instrumented: ignore_noninstrumented_modules=1 keeps
# their internal hand-overs from being reported (scripts/tsan.supp says why, and holds any
# report that needs a suppression of its own). Any other report fails the test it comes from
# (ThreadSanitizer's exit code).
set -euo pipefail
cd "$(dirname "$0")/.."
export TSAN_OPTIONS=${TSAN_OPTIONS:-"halt_on_error=0 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/scripts/tsan.supp"}
launcher=""
if command -v ccache >/dev/null; then
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
KADENZO_ONE_PASS=1 KADENZO_BUILD_DIR=build-tsan \
  KADENZO_CMAKE_ARGS="-DKADENZO_TSAN=ON -DKADENZO_BENCH=OFF $launcher ${KADENZO_CMAKE_ARGS:-}" bash scripts/test.sh
