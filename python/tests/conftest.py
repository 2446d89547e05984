"""conftest.py - where the tests find the packer, the quill program and the
shared corpus, and the fixtures made with them.

QUILLMARK_QMPACK and QUILLMARK_QUILL name the programs of a build (scripts/test
sets them); QM_CORPUS_DIR the corpus (default: ../shared/corpus beside the
project).
"""
from __future__ import annotations

import os
import subprocess
from pathlib import Path

import pytest

from samples import sample_files

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
