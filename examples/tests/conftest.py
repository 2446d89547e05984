"""conftest.py - the example's tests use the package tests' fixtures (the
packer, quill and the corpus, found the same way)."""
import importlib.util
from pathlib import Path

_spec = importlib.util.spec_from_file_location(
    "quillmark_test_fixtures", Path(__file__).resolve().parents[2] / "python" / "tests" / "conftest.py")
_fixtures = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_fixtures)

qmpack = _fixtures.qmpack
quill = _fixtures.quill
corpus = _fixtures.corpus
