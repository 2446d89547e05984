#!/usr/bin/env python3
"""python_read_bench.py - the Python package's reading speed against the
handle API it calls.

Makes two archives of one entry each (MiB of mixed text and binary,
compressed with qmpack), then times, best of three:
  - handle_read_bench (C++, qm_read_data into a 1 MiB buffer) on the first;
  - quillmark.Archive.read of the same entry (one call into the result's
    buffer, then the CRC check);
and both again on the two archives, one after the other in one thread
against one thread each.  Run it with the Python of a venv where the
package is installed, built from the same library as handle_read_bench:

  cmake -S . -B build/bench -DQM_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
  cmake --build build/bench -j2 --target handle_read_bench qmpack
  /usr/bin/python3 -m venv --system-site-packages build/bench/venv
  QUILLMARK_LIBRARY=$PWD/build/bench/bin/libquillmark.so \\
      build/bench/venv/bin/pip install --no-build-isolation ./python
  build/bench/venv/bin/python bench/python_read_bench.py build/bench/bin 64
"""
from __future__ import annotations

import random
import re
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import quillmark


def mixed_data(mib: int, seed: int) -> bytes:
    """Text in 48 KiB runs between 16 KiB runs of bytes that barely compress."""
    rng = random.Random(seed)
    words = [w.encode() for w in "the archive holds entries of text and binary data whose "
             "header blocks name them with sizes times and a cipher method".split()]
    parts, size = [], 0
    while size < mib << 20:
        text = b" ".join(rng.choices(words, k=9000))[:48 << 10]
        noise = bytes(b & 0x3F for b in rng.randbytes(16 << 10))
        parts += [text, noise]
        size += len(text) + len(noise)
    return b"".join(parts)[:mib << 20]


def best_of_three(run) -> float:
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def c_times(program: Path, archives) -> tuple:
    out = subprocess.run([program, *archives], check=True, capture_output=True, text=True).stdout
    one = float(re.search(r"one thread: ([0-9.]+) s", out).group(1))
    many = float(re.search(r"threads: ([0-9.]+) s", out).group(1))
    return one, many


def read_all(path: Path) -> int:
    with quillmark.open(path) as archive:
        return sum(len(archive.read(info)) for info in archive)


def read_in_threads(paths) -> None:
    threads = [threading.Thread(target=read_all, args=(p,)) for p in paths]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def main() -> int:
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    bin_dir = Path(sys.argv[1])
    mib = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    with tempfile.TemporaryDirectory() as work:
        archives = []
        for seed in (1, 2):
            folder = Path(work) / f"in{seed}"
            folder.mkdir()
            (folder / "DATA.BIN").write_bytes(mixed_data(mib, seed))
            archive = Path(work) / f"a{seed}.qm"
            subprocess.run([bin_dir / "qmpack", "-q", "-m", "lz", archive, folder / "DATA.BIN"], check=True)
            archives.append(archive)
        packed = archives[0].stat().st_size / (mib << 20)
        assert read_all(archives[0]) == mib << 20
        c_one, _ = c_times(bin_dir / "handle_read_bench", archives[:1])
        py_one = best_of_three(lambda: read_all(archives[0]))
        c_seq, c_par = c_times(bin_dir / "handle_read_bench", archives)
        py_seq = best_of_three(lambda: [read_all(a) for a in archives])
        py_par = best_of_three(lambda: read_in_threads(archives))
    print(f"entry: {mib} MiB, packed to {packed:.0%}")
    print(f"C handle API   one entry: {c_one:.3f} s ({mib / c_one:.0f} MiB/s)")
    print(f"Archive.read   one entry: {py_one:.3f} s ({mib / py_one:.0f} MiB/s)"
          f"  -> {c_one / py_one:.2f} of the C rate")
    print(f"C handle API   two archives: one thread {c_seq:.3f} s, two threads {c_par:.3f} s"
          f"  -> {c_seq / c_par:.2f}x")
    print(f"Archive.read   two archives: one thread {py_seq:.3f} s, two threads {py_par:.3f} s"
          f"  -> {py_seq / py_par:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
