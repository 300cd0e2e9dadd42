#!/usr/bin/env python3
"""Writes the case-folding table of qvsstutf8::foldCase from the Unicode
CaseFolding.txt data: full folding (status C and F) for the blocks that names
in this system use; everything else folds to itself."""
import sys

# Code point ranges (inclusive) whose folding the table holds.
RANGES = [
    (0x0041, 0x0232),  # Latin: Basic, Latin-1, Extended-A, part of Extended-B
    (0x1E00, 0x1E9B),  # Latin Extended Additional
    (0x2160, 0x216F),  # Roman numerals
    (0x24B6, 0x24CF),  # circled letters
    (0xFB00, 0xFB06),  # Latin ligatures
    (0xFF21, 0xFF3A),  # fullwidth letters
]


def main(source, target):
    entries = []
    with open(source, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = [x.strip() for x in line.split(";")]
            code, status, mapping = int(fields[0], 16), fields[1], fields[2]
            if status not in ("C", "F"):
                continue
            if not any(lo <= code <= hi for lo, hi in RANGES):
                continue
            folded = [int(x, 16) for x in mapping.split()]
            if not 1 <= len(folded) <= 3:
                sys.exit(f"unexpected folding of U+{code:04X}")
            entries.append((code, folded))
    entries.sort()
    if len({code for code, _ in entries}) != len(entries):
        sys.exit("a code point has two foldings")
    with open(target, "w", encoding="ascii") as out:
        out.write("// Generated from CaseFolding.txt; do not edit.\n")
        for code, folded in entries:
            padded = folded + [0] * (3 - len(folded))
            out.write("{0x%04X, %d, {0x%04X, 0x%04X, 0x%04X}},\n" % (code, len(folded), *padded))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
