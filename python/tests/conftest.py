"""conftest.py - where the tests find the packer, the quill program and the
shared corpus, and the fixtures made with them.

QUILLMARK_QMPACK and QUILLMARK_QUILL name the programs of a build (scripts/test
sets them); QM_CORPUS_DIR the corpus (default: ../shared/corpus beside the
project).
"""
from __future__ import annotations

import os
import random
import subprocess
from pathlib import Path

import pytest

PROJECT = Path(__file__).resolve().parents[2]


def _program(variable: str, name: str) -> Path:
    given = os.environ.get(variable)
    path = Path(given).resolve() if given else PROJECT / "build" / "native" / "bin" / name
    if not path.exists():
        pytest.fail(f"{name} not found at {path}; set {variable}", pytrace=False)
    return path


@pytest.fixture(scope="session")
def qmpack() -> Path:
    return _program("QUILLMARK_QMPACK", "qmpack")


@pytest.fixture(scope="session")
def quill() -> Path:
    return _program("QUILLMARK_QUILL", "quill")


@pytest.fixture(scope="session")
def corpus() -> Path:
    folder = Path(os.environ.get("QM_CORPUS_DIR", PROJECT.parent / "shared" / "corpus"))
    if not (folder / "real-lz.qm").exists():
        pytest.fail(f"the corpus is missing at {folder}; set QM_CORPUS_DIR", pytrace=False)
    return folder


def sample_files() -> dict:
    """Names (with a folder) and contents: text that compresses, random bytes
    that do not, and an empty file."""
    rng = random.Random(19)
    text = b"".join(b"line %d of a text that compresses well\r\n" % i for i in range(3000))
    return {
        "docs/readme.txt": text,
        "docs/noise.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
        "empty.dat": b"",
    }


@pytest.fixture(scope="session")
def sample_tree(tmp_path_factory) -> Path:
    root = tmp_path_factory.mktemp("tree")
    for name, data in sample_files().items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return root


@pytest.fixture(scope="session")
def pack(qmpack, sample_tree, tmp_path_factory):
    """pack(*options) -> the path of an archive of the sample tree made with
    `qmpack OPTIONS` (options may be bytes, for passwords in other code pages)."""
    made = {}

    def make(*options) -> Path:
        if options not in made:
            out = tmp_path_factory.mktemp("packed") / "a.qm"
            subprocess.run([os.fsencode(qmpack), "-q", *map(os.fsencode, options),
                            os.fsencode(out), b"docs", b"empty.dat"],
                           cwd=sample_tree, check=True)
            made[options] = out
        return made[options]

    return make
