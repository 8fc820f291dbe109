#!/usr/bin/env bash
# The test suite once more under AddressSanitizer and UBSan, in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
KADENZO_ONE_PASS=1 KADENZO_BUILD_DIR=build-asan KADENZO_CMAKE_ARGS="-DKADENZO_SANITIZE=ON -DKADENZO_BENCH=OFF" bash scripts/test.sh
