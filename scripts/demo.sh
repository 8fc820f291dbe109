#!/usr/bin/env bash
# Kadenzo's main job on the bundled example: import the tab, play it through the embedded
# synthesizer (silently, and saying so, on a machine without a sound card), write it out
# again as .kdz, .mid, .txt and a rendered .wav.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${KADENZO_BUILD_DIR:-build}
cli="$build_dir/cli/kadenzo-cli"
example=res/examples/rock_beat.txt
out="$build_dir/demo"
mkdir -p "$out"
"$cli" devices
"$cli" play "$example" --device 0
for ext in kdz mid txt wav; do
  "$cli" convert "$example" "$out/rock_beat.$ext"
done
"$cli" audio "$out/rock_beat.wav"
"$cli" dump "$out/rock_beat.kdz" > "$out/rock_beat.json"
head -n 20 "$out/rock_beat.json"
ls -l "$out"
