"""test_reading.py - the corpus archive through every form of open, the
entry fields, streams, extract and is_archive."""
from __future__ import annotations

import io
import json
import zlib

import pytest

import quillmark
from carriers import carrier


def _forms(path):
    data = path.read_bytes()
    return {
        "path": lambda: str(path),
        "pathlike": lambda: path,
        "bytes": lambda: data,
        "bytearray": lambda: bytearray(data),
        "memoryview": lambda: memoryview(data),
        "BytesIO": lambda: io.BytesIO(data),
        "file": lambda: open(path, "rb"),
        "read-only object": lambda: _ReadSeekOnly(data),
    }


class _ReadSeekOnly:
    """A file object with read, seek and tell only (no readinto)."""

    def __init__(self, data):
        self._stream = io.BytesIO(data)

    def read(self, n=-1):
        return self._stream.read(n)

    def seek(self, offset, whence=0):
        return self._stream.seek(offset, whence)

    def tell(self):
        return self._stream.tell()

    def seekable(self):
        return True


@pytest.mark.parametrize("form", ["path", "pathlike", "bytes", "bytearray", "memoryview",
                                  "BytesIO", "file", "read-only object"])
def test_corpus_archive_reads_alike_through_every_form_of_open(corpus, form):
    path = corpus / "real-lz.qm"
    manifest = json.loads((corpus / "real-lz.json").read_text())
    with quillmark.open(_forms(path)[form]()) as archive:
        infos = archive.infolist()
        assert [i.raw_name for i in infos] == [e["name"].encode("cp437") for e in manifest["entries"]]
        assert archive.namelist() == [e["name"].replace("\\", "/") for e in manifest["entries"]]
        for info, expected in zip(infos, manifest["entries"]):
            assert info.file_size == expected["unpacked"]
            assert info.compress_size == expected["packed"]
            assert info.CRC == int(expected["crc"], 16)
            assert info.attributes == int(expected["attrs"], 16)
            assert info.cipher == "none" and not info.is_encrypted
            data = archive.read(info.filename)
            assert len(data) == info.file_size and zlib.crc32(data) == info.CRC
        assert archive.test() == []


def test_entry_fields_and_lookup(corpus):
    with quillmark.open(corpus / "real-lz.qm") as archive:
        info = archive.getinfo("SOUND/BOAT.WAV")
        assert info.date_time == (2022, 3, 10, 11, 2, 20)  # DOS time 0x546a584a
        assert [i.filename for i in archive] == archive.namelist()
        assert len(archive) == 2
        with pytest.raises(KeyError):
            archive.getinfo("SOUND\\BOAT.WAV")  # names are '/'-separated
        with pytest.raises(KeyError):
            archive.read("missing.txt")


def test_entries_read_in_any_order_and_again(corpus):
    with quillmark.open(corpus / "real-lz.qm") as archive:
        first = archive.read("SOUND/BOAT.WAV")
        second = archive.read("LICENSE.txt")
        assert archive.read("SOUND/BOAT.WAV") == first  # behind the cursor: a new handle
        assert archive.read(archive.getinfo("LICENSE.txt")) == second


def test_stream_gives_the_same_bytes_in_pieces(corpus):
    with quillmark.open(corpus / "real-lz.qm") as archive:
        whole = archive.read("SOUND/BOAT.WAV")
        with archive.open("SOUND/BOAT.WAV") as stream, archive.open("LICENSE.txt") as other:
            assert isinstance(stream, io.BufferedIOBase) and stream.readable()
            pieces = [stream.read(1000), stream.read1(5000)]
            pieces.append(stream.read())
            assert stream.read() == b""
            assert other.read() == archive.read("LICENSE.txt")  # two streams open at once
        assert b"".join(pieces) == whole
        with archive.open("LICENSE.txt") as stream:
            assert io.TextIOWrapper(stream, encoding="latin-1").read().startswith("UofG")
        with pytest.raises(ValueError):
            stream.read()


def test_extract_writes_the_stored_folders(corpus, tmp_path):
    with quillmark.open(corpus / "real-lz.qm") as archive:
        written = archive.extract("SOUND/BOAT.WAV", tmp_path)
        assert written == str(tmp_path / "SOUND" / "BOAT.WAV")
        assert (tmp_path / "SOUND" / "BOAT.WAV").read_bytes() == archive.read("SOUND/BOAT.WAV")
        archive.extractall(tmp_path / "all", members=["LICENSE.txt"])
        assert [p.name for p in (tmp_path / "all").iterdir()] == ["LICENSE.txt"]


def test_is_archive_looks_at_the_first_81920_bytes(corpus):
    data = (corpus / "real-lz.qm").read_bytes()
    assert quillmark.is_archive(corpus / "real-lz.qm")
    assert quillmark.is_archive(data) and quillmark.is_archive(io.BytesIO(data))
    assert not quillmark.is_archive(b"not an archive" * 100)
    late = carrier([(b"A.TXT", b"a")], prefix=bytes(81920 - 24))
    assert not quillmark.is_archive(late)
    assert quillmark.is_archive(carrier([(b"A.TXT", b"a")], prefix=bytes(81920 - 25)))
    stream = io.BytesIO(data)
    stream.seek(7)
    assert quillmark.is_archive(stream) and stream.tell() == 7  # the position is kept
    assert quillmark.signature(data) == quillmark.Signature(3000, False)


def test_signature_says_whether_the_header_blocks_are_enciphered(pack):
    assert quillmark.signature(pack("-H", "secret")) == quillmark.Signature(0, True)
    assert quillmark.signature(pack()) == quillmark.Signature(0, False)


def test_closed_archive_refuses_reading(corpus):
    archive = quillmark.open(corpus / "real-lz.qm")
    archive.close()
    with pytest.raises(ValueError):
        archive.read("LICENSE.txt")
