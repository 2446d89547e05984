#!/usr/bin/env python3
"""python_read_bench.py - the Python package's reading speed against the
handle API it calls.

Makes two archives of one entry each (MiB of mixed text and binary,
compressed with qmpack), then times, best of three, on the first:
  - the entry into memory: Archive.read (one call into a new bytes object)
    against handle_read_bench --whole (C++, qm_read_data into a new buffer
    of the entry's size);
  - streaming: EntryStream.readinto a 1 MiB buffer used again and again
    against handle_read_bench (C++, the same with qm_read_data);
and Archive.read and handle_read_bench --whole again on the two archives, one
after the other in one thread against one thread each.  New memory is
what separates the two ways: the first touch of each page costs the system
a fault, which the streaming loops pay once.  Run it with the Python of a venv where the
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


def c_times(program: Path, archives, whole: bool) -> tuple:
    command = [program, *(["--whole"] if whole else []), *archives]
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    one = float(re.search(r"one thread: ([0-9.]+) s", out).group(1))
    many = float(re.search(r"threads: ([0-9.]+) s", out).group(1))
    return one, many


def read_all(path: Path) -> int:
    with quillmark.open(path) as archive:
        return sum(len(archive.read(info)) for info in archive)


def stream_all(path: Path) -> int:
    buffer = bytearray(1 << 20)
    total = 0
    with quillmark.open(path) as archive:
        for info in archive:
            with archive.open(info) as stream:
                while n := stream.readinto(buffer):
                    total += n
    return total


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
        program = bin_dir / "handle_read_bench"
        c_one, _ = c_times(program, archives[:1], True)
        py_one = best_of_three(lambda: read_all(archives[0]))
        c_stream, _ = c_times(program, archives[:1], False)
        py_stream = best_of_three(lambda: stream_all(archives[0]))
        c_seq, c_par = c_times(program, archives, True)
        py_seq = best_of_three(lambda: [read_all(a) for a in archives])
        py_par = best_of_three(lambda: read_in_threads(archives))
    print(f"entry: {mib} MiB, packed to {packed:.0%}")
    print(f"into memory: C {c_one:.3f} s ({mib / c_one:.0f} MiB/s), Archive.read {py_one:.3f} s"
          f" ({mib / py_one:.0f} MiB/s)  -> {c_one / py_one:.2f} of the C rate")
    print(f"streaming:   C {c_stream:.3f} s ({mib / c_stream:.0f} MiB/s), readinto {py_stream:.3f} s"
          f" ({mib / py_stream:.0f} MiB/s)  -> {c_stream / py_stream:.2f} of the C rate")
    print(f"C handle API   two archives: one thread {c_seq:.3f} s, two threads {c_par:.3f} s"
          f"  -> {c_seq / c_par:.2f}x")
    print(f"Archive.read   two archives: one thread {py_seq:.3f} s, two threads {py_par:.3f} s"
          f"  -> {py_seq / py_par:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
