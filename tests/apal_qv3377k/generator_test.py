#!/usr/bin/env python3
"""A request table with a wrong row must stop the build with the row's line,
also when Python runs optimised (python -O drops asserts).

usage: generator_test.py generate.py
"""
import os
import subprocess
import sys
import tempfile
from pathlib import Path

HEAD = "family qv3377k\ninterface ifw 0x51 single\n"
GOOD = "readA | 0x00205100 | u32 a, status | 8: 0 a; 4 status | 4: 0 status\n"

BAD = {
    "overlapping input fields":
        ("readB | 0x00205101 | u32 a, u32 b, status | 12: 0 a; 2 b; 8 status | 4: 0 status\n",
         4, "field b at 2 overlaps"),
    "field beyond the block":
        ("readB | 0x00205101 | u64 a, status | 8: 0 a; 4 status | 4: 0 status\n",
         4, "overlaps or overruns the 8-byte block"),
    "reply field beyond the block":
        ("readB | 0x00205101 | out u32 v, status | 4: 0 status | 4: 0 v; 4 status\n",
         4, "field status at 4"),
    "duplicate code":
        ("readB | 0x00205100 | u32 a, status | 8: 0 a; 4 status | 4: 0 status\n",
         4, "request code 0x00205100 already used by readA on line 3"),
    "code of another interface":
        ("readB | 0x00205201 | u32 a, status | 8: 0 a; 4 status | 4: 0 status\n",
         4, "code does not carry type byte"),
    "wrong size bits":
        ("readB | 0x00215101 | u32 a, status | 8: 0 a; 4 status | 4: 0 status\n",
         4, "size bits are not 0x20"),
    "fields out of parameter order":
        ("readB | 0x00205101 | u32 a, u32 b, status | 12: 0 b; 4 a; 8 status | 4: 0 status\n",
         4, "differ from parameters"),
    "unknown type":
        ("readB | 0x00205101 | u24 a, status | 8: 0 a; 4 status | 4: 0 status\n",
         4, "unknown type 'u24'"),
}


def run(generator, table, work):
    path = Path(work) / "methods.txt"
    path.write_text(table)
    env = dict(os.environ, PYTHONOPTIMIZE="1")
    return subprocess.run([sys.executable, generator, str(path), str(Path(work) / "out")],
                          env=env, capture_output=True, text=True), path


def main():
    generator = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        result, _ = run(generator, HEAD + GOOD, work)
        if result.returncode != 0:
            failures.append(f"good table refused: {result.stderr.strip()}")
        for case, (row, line, text) in BAD.items():
            result, path = run(generator, HEAD + GOOD + row, work)
            expected = f"{path}:{line}: "
            if result.returncode == 0:
                failures.append(f"{case}: accepted")
            elif expected not in result.stderr or text not in result.stderr:
                failures.append(f"{case}: message {result.stderr.strip()!r} lacks {expected!r} / {text!r}")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
