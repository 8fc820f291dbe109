#!/bin/sh
# Renders the notation examples under docs/notation/ with kadenzo-cli, using default
# settings. Usage: sh docs/render_notation.sh [BUILD_DIR] [CORPUS_DIR]
set -e
build=${1:-build}
corpus=${2:-../shared/corpus}
cli="$build/cli/kadenzo-cli"
out=docs/notation
settings=$(mktemp --suffix=.ini)
trap 'rm -f "$settings"' EXIT
mkdir -p "$out"
render() { # name source
    "$cli" --settings "$settings" render "$2" "$out/$1.png" --width 1200
    "$cli" --settings "$settings" render "$2" "$out/$1.pdf"
}
render rock_beat "$corpus/tabs/tabtomidi__simple_4_4_beat.txt"
render triplets_flams "$corpus/tabs/eecs-ahopk__drumtab.txt"
render repeats_endings docs/examples/repeats_endings.txt
