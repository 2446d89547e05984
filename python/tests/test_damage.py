"""test_damage.py - what is not an archive, a damaged entry, a cut archive,
names that try to leave the output folder, and a file object that fails."""
from __future__ import annotations

import io
import os

import pytest

import quillmark
from carriers import carrier

GOOD = b"intact data " * 100
BAD = b"damaged data " * 100


def test_not_an_archive_and_a_missing_file(tmp_path):
    with pytest.raises(quillmark.BadArchiveError):
        quillmark.open(b"plain text, no signature")
    with pytest.raises(FileNotFoundError):
        quillmark.open(tmp_path / "missing.qm")
    with pytest.raises(TypeError):
        quillmark.open(12)


def test_damaged_entry_is_named_and_the_others_still_read():
    data = carrier([(b"A.TXT", GOOD), (b"DIR\\B.TXT", BAD), (b"C.TXT", GOOD)], damaged=[b"DIR\\B.TXT"])
    with quillmark.open(data) as archive:
        assert archive.test() == ["DIR/B.TXT"]
        with pytest.raises(quillmark.DamagedEntryError) as caught:
            archive.read("DIR/B.TXT")
        assert caught.value.name == "DIR/B.TXT"
        assert isinstance(caught.value, quillmark.Error)
        assert archive.read("C.TXT") == GOOD and archive.read("A.TXT") == GOOD
        with archive.open("DIR/B.TXT") as stream:
            assert stream.read(len(BAD)) == BAD  # the bytes come; the end raises
            with pytest.raises(quillmark.DamagedEntryError):
                stream.read()


def test_damaged_entry_leaves_no_file_behind(tmp_path):
    data = carrier([(b"A.TXT", GOOD), (b"B.TXT", BAD)], damaged=[b"B.TXT"])
    with quillmark.open(data) as archive:
        with pytest.raises(quillmark.DamagedEntryError):
            archive.extractall(tmp_path)
    assert sorted(os.listdir(tmp_path)) == ["A.TXT"]


@pytest.mark.parametrize("keep,opens", [(34 + 432 + len(GOOD) + 200, False),
                                        (34 + 432 + len(GOOD) + 432 + 100, True)],
                         ids=["in-a-header-block", "in-the-last-data"])
def test_cut_archive(keep, opens):
    whole = carrier([(b"A.TXT", GOOD), (b"B.TXT", GOOD)])
    cut = whole[:keep]
    if not opens:
        # The second header block is cut: the walk stops at damage.
        with pytest.raises(quillmark.BadArchiveError):
            quillmark.open(cut)
        return
    with quillmark.open(cut) as archive:
        assert archive.read("A.TXT") == GOOD
        with pytest.raises(quillmark.DamagedEntryError):
            archive.read("B.TXT")
        assert archive.test() == ["B.TXT"]


def test_hostile_names_stay_inside_the_folder(tmp_path):
    names = [b"..\\..\\up.txt", b"\\rooted.txt", b"C:\\drive.txt", b"a\\..\\..\\..\\b.txt",
             b"..\\x\\..\\y.txt"]
    data = carrier([(name, b"%d" % i) for i, name in enumerate(names)])
    out = tmp_path / "deep" / "out"
    out.mkdir(parents=True)
    with quillmark.open(data) as archive:
        archive.extractall(out)
        written = {p.relative_to(out).as_posix(): p.read_bytes() for p in out.rglob("*") if p.is_file()}
    # Everything landed inside; nothing beside the folder or above it.
    assert sorted(written.values()) == [b"0", b"1", b"2", b"3", b"4"]
    assert sorted(p.name for p in tmp_path.rglob("*") if p.is_file()) == sorted(
        os.path.basename(name) for name in written)


def test_a_failing_file_object_raises_its_own_error():
    class Failing(io.BytesIO):
        def readinto(self, buffer):
            if self.tell() > 0:
                raise OSError("the disk went away")
            return super().readinto(buffer)

    data = carrier([(b"A.TXT", GOOD)], prefix=b"x")
    with pytest.raises(OSError, match="the disk went away"):
        quillmark.open(Failing(data))
