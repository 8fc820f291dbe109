#!/usr/bin/env bash
# Builds (after scripts/setup.sh) and runs the whole test suite through CTest.
# KADENZO_TEST_ONLY=1 skips the setup and build (the tree in KADENZO_BUILD_DIR is tested as is).
# Suites over the outside corpus of real tabs and MIDI files read it from KADENZO_CORPUS_DIR
# (default: ../shared/corpus beside the source tree) and skip when it is absent.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${KADENZO_TEST_ONLY:-0}" != 1 ]; then
  bash scripts/setup.sh
fi
build_dir=${KADENZO_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 600
