#!/usr/bin/env python3
"""Yardstick for the importer benchmark: how fast plain Python regular expressions merely
classify the lines of the same tabs (staff, count, header, blank or text), without reading
any music. bench_import should beat this by a clear margin.

    scripts/regex_baseline.py [FILE_OR_DIR ...]     (default: the corpus tabs)
"""
import os
import re
import sys
import time

STAFF = re.compile(rb"^\s*[A-Za-z][A-Za-z0-9 .#/]{0,7}\s*[|:\[][-xXoOgfdbr|:.*@<>#^+~%= 0-9]{4,}\s*(?:x\s?\d+|\d+\s?x)?\s*$")
COUNT = re.compile(rb"^\s*(?:[1-9][0-9]?|[eE&+a.]|trip|\s)+$")
HEADER = re.compile(rb"^\s*(?:song|title|band|artist|album|tempo|bpm|tabbed by|key|time)\b.*[:=-]", re.I)
BLANK = re.compile(rb"^\s*$")
KINDS = (("staff", STAFF), ("count", COUNT), ("header", HEADER), ("blank", BLANK))


def classify(data):
    counts = {}
    for line in data.splitlines():
        kind = "text"
        for name, rx in KINDS:
            if rx.match(line):
                kind = name
                break
        counts[kind] = counts.get(kind, 0) + 1
    return counts


def files(args):
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    corpus = os.environ.get("KADENZO_CORPUS_DIR", os.path.join(repo, "..", "shared", "corpus"))
    for arg in args or [os.path.join(corpus, "tabs")]:
        if os.path.isdir(arg):
            for name in sorted(os.listdir(arg)):
                if name.endswith((".txt", ".tab")):
                    yield os.path.join(arg, name)
        else:
            yield arg


def main():
    blobs = [open(p, "rb").read() for p in files(sys.argv[1:])]
    total = sum(len(b) for b in blobs)
    best = None
    for _ in range(5):
        start = time.perf_counter()
        counts = {}
        for b in blobs:
            for k, v in classify(b).items():
                counts[k] = counts.get(k, 0) + v
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"{len(blobs)} files, {total / 1e6:.2f} MB, lines {counts}")
    print(f"best of 5: {best * 1e3:.1f} ms, {total / best / (1 << 20):.1f} MB/s")


if __name__ == "__main__":
    main()
