#!/usr/bin/env python3
"""scan_bench.py - quill scan's files per second with one worker thread and
with two.

Makes a tree of 10,000 small files (200 bytes to 16 KiB, text and binary, in
100 folders) of which 100 are archives (a few entries each, made with
qmpack; every tenth behind the bytes of another file), then times, best of
three after one run that warms the page cache:
    quill scan -j 1 --test TREE    and    quill scan -j 2 --test TREE
and the same without --test.

    python3 bench/scan_bench.py BIN_DIR     (BIN_DIR holds quill and qmpack)
"""
from __future__ import annotations

import os
import random
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FILES = 10000
ARCHIVES = 100


def make_tree(root: Path, qmpack: Path) -> None:
    rng = random.Random(7)
    words = b"alpha beta gamma delta epsilon zeta eta theta iota kappa".split()
    source = root.parent / "source"
    for n in range(ARCHIVES):
        folder = source / f"s{n}"
        folder.mkdir(parents=True)
        for k in range(rng.randint(2, 6)):
            (folder / f"F{k}.TXT").write_bytes(b" ".join(rng.choices(words, k=rng.randint(100, 2000))))
    carrier = root.parent / "carrier.jpg"
    carrier.write_bytes(rng.randbytes(20000))
    for n in range(FILES):
        folder = root / f"d{n % 100:02}"
        folder.mkdir(parents=True, exist_ok=True)
        path = folder / f"f{n:05}.bin"
        if n % (FILES // ARCHIVES) == 0:
            k = n // (FILES // ARCHIVES)
            extra = ["--carrier", str(carrier)] if k % 10 == 0 else []
            subprocess.run([qmpack, "-q", *extra, path, source / f"s{k}"], check=True)
        elif n % 2:
            path.write_bytes(b" ".join(rng.choices(words, k=rng.randint(30, 2500))))
        else:
            path.write_bytes(rng.randbytes(rng.randint(200, 16384)))


def timed(command) -> tuple:
    """The best wall time of three runs, and the processor time of a run
    (user and system, on average): on a busy machine the wall time says
    little, the processor time says what the scan costs."""
    best = float("inf")
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    for _ in range(3):
        start = time.perf_counter()
        out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
        best = min(best, time.perf_counter() - start)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    assert len(out.splitlines()) == ARCHIVES, out
    cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) / 3
    return best, cpu


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    bin_dir = Path(sys.argv[1]).resolve()
    with tempfile.TemporaryDirectory() as work:
        tree = Path(work) / "tree"
        make_tree(tree, bin_dir / "qmpack")
        # The new files' pages written back now, not by a kernel thread that
        # would take a core from the timed runs.
        os.sync()
        for test in (["--test"], []):
            one, cpu1 = timed([bin_dir / "quill", "scan", "-j", "1", *test, tree])
            two, cpu2 = timed([bin_dir / "quill", "scan", "-j", "2", *test, tree])
            label = "scan --test" if test else "scan"
            print(f"{label:12} -j1: {one:.3f} s ({FILES / one:,.0f} files/s, {cpu1:.3f} s processor)   "
                  f"-j2: {two:.3f} s ({FILES / two:,.0f} files/s, {cpu2:.3f} s processor)   "
                  f"-> {one / two:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
