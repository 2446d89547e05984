"""test_threads.py - archives read in several threads at once give the bytes
one thread gives (the library runs without the GIL, each archive on a
handle of its own)."""
from __future__ import annotations

import random
import subprocess
import threading

import quillmark


def _archive(qmpack, folder, seed, *options):
    rng = random.Random(seed)
    folder.mkdir()
    words = [b"alpha", b"beta", b"gamma", b"delta", b"epsilon", b"\r\n"]
    (folder / "text.txt").write_bytes(b" ".join(rng.choice(words) for _ in range(400000)))
    (folder / "noise.bin").write_bytes(rng.randbytes(300000))
    path = folder.with_suffix(".qm")
    subprocess.run([qmpack, "-q", *options, path, folder], check=True)
    return path


def test_two_threads_reading_two_archives_get_identical_bytes(qmpack, tmp_path):
    paths = [_archive(qmpack, tmp_path / "one", 1), _archive(qmpack, tmp_path / "two", 2, "-p", "pw")]
    alone = []
    for path in paths:
        with quillmark.open(path, password="pw") as archive:
            alone.append({name: archive.read(name) for name in archive.namelist()})

    results = [[], []]
    failures = []

    def work(slot):
        try:
            with quillmark.open(paths[slot], password="pw") as archive:
                for _ in range(4):
                    results[slot].append({i.filename: archive.read(i) for i in archive})
                    with archive.open(archive.namelist()[0]) as stream:
                        results[slot].append({archive.namelist()[0]: stream.read()})
                assert archive.test() == []
        except BaseException as failure:  # noqa: BLE001 - reported below
            failures.append(failure)

    threads = [threading.Thread(target=work, args=(slot,)) for slot in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    for slot in (0, 1):
        assert len(results[slot]) == 8
        for got in results[slot]:
            assert all(got[name] == alone[slot][name] for name in got)


def test_one_archive_shared_by_two_threads(qmpack, tmp_path):
    path = _archive(qmpack, tmp_path / "shared", 3)
    with quillmark.open(path) as archive:
        expected = {name: archive.read(name) for name in archive.namelist()}
        seen = []

        def work(order):
            for name in order * 3:
                seen.append(archive.read(name) == expected[name])

        names = archive.namelist()
        threads = [threading.Thread(target=work, args=(o,)) for o in (names, names[::-1])]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert seen == [True] * 12
