#!/usr/bin/env bash
# Installs every Debian package Kadenzo needs and builds it into build/.
# Safe to run again; works as root or through sudo on a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6svg6-dev
  libfluidsynth-dev fluidsynth fluid-soundfont-gm timgm6mb-soundfont
  librtmidi-dev libmad0-dev libsndfile1-dev libsoxr-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-mido lame
  clang libclang-rt-14-dev
  desktop-file-utils xvfb xauth poppler-utils
)

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${KADENZO_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${KADENZO_CMAKE_ARGS:-}
cmake --build "$build_dir" --parallel "$(nproc)"
