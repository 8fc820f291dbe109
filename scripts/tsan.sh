#!/usr/bin/env bash
# The whole test suite once more under ThreadSanitizer, in build-tsan/, desktop tests included
# (offscreen): the audio callback, the silent clock, the ALSA timer thread, the player while
# the user edits, the programs started through QProcess.
# Qt and the system libraries are not instrumented; the few reports that come only from them
# are listed, each with its reason, in scripts/tsan.supp. A report anywhere else fails the test
# it comes from (ThreadSanitizer's exit code).
set -euo pipefail
cd "$(dirname "$0")/.."
supp="$PWD/scripts/tsan.supp"
export TSAN_OPTIONS=${TSAN_OPTIONS:-"halt_on_error=0 second_deadlock_stack=1 suppressions=$supp"}
launcher=""
if command -v ccache >/dev/null; then
  launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
KADENZO_ONE_PASS=1 KADENZO_BUILD_DIR=build-tsan \
  KADENZO_CMAKE_ARGS="-DKADENZO_TSAN=ON -DKADENZO_BENCH=OFF $launcher ${KADENZO_CMAKE_ARGS:-}" bash scripts/test.sh
