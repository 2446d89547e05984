"""test_dask_scan.py - examples/dask_scan.py on a local cluster of two worker
processes finds what `quill scan --json --test` finds in the same tree."""
from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

pytest.importorskip("dask.distributed", reason="Debian's python3-distributed is not installed")

EXAMPLE = Path(__file__).resolve().parents[1] / "dask_scan.py"
FIELDS = ("path", "offset", "entries", "headerCipher", "test", "damaged")


def _tree(root: Path, qmpack: Path, corpus: Path) -> None:
    (root / "docs" / "deep").mkdir(parents=True)
    for i in range(40):
        (root / "docs" / f"note{i:02}.txt").write_bytes(b"nothing here %d\n" % i * (i + 1))
    shutil.copy(corpus / "real-lz.qm", root / "docs" / "real.qm")
    data = root / "data"
    data.mkdir()
    (data / "a.txt").write_bytes(b"text " * 2000)
    subprocess.run([qmpack, "-q", root / "plain.qm", data], check=True)
    subprocess.run([qmpack, "-q", "-p", "pw", "-H", "hp", root / "docs" / "deep" / "locked.qm", data], check=True)
    subprocess.run([qmpack, "-q", "-p", "pw", root / "docs" / "deep" / "data-locked.qm", data], check=True)
    damaged = bytearray((root / "plain.qm").read_bytes())
    damaged[-10] ^= 0xFF
    (root / "docs" / "damaged.qm").write_bytes(bytes(damaged))


def _lines(output: str):
    return [{k: json.loads(line)[k] for k in FIELDS} for line in output.splitlines()]


def test_dask_scan_matches_quill_scan(tmp_path, qmpack, quill, corpus):
    root = tmp_path / "tree"
    _tree(root, qmpack, corpus)
    expected = subprocess.run([quill, "scan", "--json", "--test", "-j", "2", root],
                              capture_output=True, text=True)
    got = subprocess.run([sys.executable, EXAMPLE, "--workers", "2", "--batch", "8", root],
                         capture_output=True, text=True, timeout=300, env=dict(os.environ))
    assert got.returncode == expected.returncode == 4, got.stderr
    assert _lines(got.stdout) == _lines(expected.stdout)
    tests = {Path(r["path"]).name: r["test"] for r in _lines(got.stdout)}
    assert tests == {"real.qm": "intact", "damaged.qm": "damaged", "locked.qm": "password",
                     "data-locked.qm": "password", "plain.qm": "intact"}
