#!/usr/bin/python3
"""Yardstick for batch conversion: a small tab-to-MIDI converter in plain Python, one process
per file. It reads the tab naively (every line "LABEL|....|" is a staff line, every
character between bar lines a sixteenth note, the first letters name the drum) and writes a
Standard MIDI File with mido. `kadenzo-cli convert --to mid` should beat one such process
per file by a wide margin (see bench/batch_convert.sh).

    scripts/midi_baseline.py TAB OUT.mid
"""
import re
import sys

import mido

KEYS = {"B": 36, "K": 36, "S": 38, "H": 42, "C": 49, "R": 51, "T": 48, "F": 43, "P": 44}
STAFF = re.compile(r"^\s*([A-Za-z][A-Za-z0-9 ]{0,5}?)\s*[|:](.*)$")
TICKS_PER_SIXTEENTH = 24


def staff_blocks(lines):
    """Groups of consecutive staff lines: (key, cells) for each."""
    block = []
    for line in lines:
        m = STAFF.match(line)
        if m and "-" in m.group(2):
            key = KEYS.get(m.group(1)[0].upper(), 38)
            cells = [c for c in m.group(2) if c not in "|: \t"]
            block.append((key, cells))
        elif block:
            yield block
            block = []
    if block:
        yield block


def convert(tab, out):
    with open(tab, encoding="latin-1") as f:
        lines = f.read().splitlines()
    notes = []  # (tick, key)
    start = 0
    for block in staff_blocks(lines):
        length = max(len(cells) for _, cells in block)
        for key, cells in block:
            for i, c in enumerate(cells):
                if c not in "-.":
                    notes.append((start + i * TICKS_PER_SIXTEENTH, key))
        start += length * TICKS_PER_SIXTEENTH
    events = []
    for tick, key in notes:
        events.append((tick, mido.Message("note_on", channel=9, note=key, velocity=100)))
        events.append((tick + TICKS_PER_SIXTEENTH, mido.Message("note_off", channel=9, note=key, velocity=0)))
    events.sort(key=lambda e: e[0])
    track = mido.MidiTrack()
    track.append(mido.MetaMessage("set_tempo", tempo=500000, time=0))
    now = 0
    for tick, msg in events:
        track.append(msg.copy(time=tick - now))
        now = tick
    midi = mido.MidiFile(type=0, ticks_per_beat=96)
    midi.tracks.append(track)
    midi.save(out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    convert(sys.argv[1], sys.argv[2])
