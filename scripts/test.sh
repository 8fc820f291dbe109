#!/usr/bin/env bash
# Builds (after scripts/setup.sh) and runs the whole test suite through CTest, twice: with the
# outside corpus of real tabs and MIDI files, and again with KADENZO_CORPUS_DIR pointing
# nowhere, as in a fresh clone (its suites then skip, saying why). Both runs must pass.
# KADENZO_TEST_ONLY=1 skips the setup and build (the tree in KADENZO_BUILD_DIR is tested as is).
# KADENZO_ONE_PASS=1 runs the suite once, as the environment says.
# Suites over the outside corpus read it from KADENZO_CORPUS_DIR (default: ../shared/corpus
# beside the source tree) and skip when it is absent.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${KADENZO_TEST_ONLY:-0}" != 1 ]; then
  bash scripts/setup.sh
fi
build_dir=${KADENZO_BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 600
if [ "${KADENZO_ONE_PASS:-0}" != 1 ]; then
  nowhere=$(mktemp -d)
  trap 'rmdir "$nowhere"' EXIT
  echo "== the suite again without the outside corpus (KADENZO_CORPUS_DIR=$nowhere/absent)"
  KADENZO_CORPUS_DIR="$nowhere/absent" ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" --timeout 600
fi
