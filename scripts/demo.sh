#!/usr/bin/env bash
# Kadenzo's main job on the bundled example: import the tab, play it, write it out again.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KADENZO_BUILD_DIR:-build}
cli="$build_dir/cli/kadenzo-cli"
example=res/examples/rock_beat.txt
out="$build_dir/demo"
mkdir -p "$out"
if "$cli" --help | grep -q '^  play '; then
  "$cli" play "$example"
fi
"$cli" convert "$example" "$out/rock_beat.kdz"
for ext in mid txt; do
  "$cli" convert "$example" "$out/rock_beat.$ext" 2>/dev/null || true
done
"$cli" dump "$out/rock_beat.kdz" | head -n 40
ls -l "$out"
