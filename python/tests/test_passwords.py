"""test_passwords.py - every data cipher under both header modes, and the
passwords: missing, wrong, per entry, str against bytes."""
from __future__ import annotations

import zlib

import pytest

import quillmark
from samples import sample_files

DATA = "data secret"
HEADERS = "header secret"

# (qmpack cipher, the cipher the entries report, whether reading needs the password)
CIPHERS = [("none", "none", False), ("des", "des", True), ("3des", "3des", True),
           ("3des-iv", "chaining", False)]


def _options(cipher, headers):
    options = ["-c", cipher] + (["-p", DATA] if cipher in ("des", "3des") else [])
    return options + (["-H", HEADERS] if headers else [])


@pytest.mark.parametrize("headers", [False, True], ids=["plain-headers", "enciphered-headers"])
@pytest.mark.parametrize("cipher,reported,needs_password", CIPHERS, ids=[c[0] for c in CIPHERS])
def test_every_cipher_under_both_header_modes(pack, cipher, reported, needs_password, headers):
    path = pack(*_options(cipher, headers))
    expected = sample_files()
    with quillmark.open(path, password=DATA, header_password=HEADERS if headers else None) as archive:
        assert sorted(archive.namelist()) == sorted(expected)
        for info in archive:
            assert info.cipher == reported
            assert info.is_encrypted == (reported != "none")
            data = archive.read(info.filename)
            assert data == expected[info.filename] and zlib.crc32(data) == info.CRC
            with archive.open(info) as stream:
                assert stream.read() == data
        assert archive.test() == []
    if needs_password:
        with quillmark.open(path, header_password=HEADERS if headers else None) as archive:
            with pytest.raises(quillmark.PasswordError):
                archive.read("docs/readme.txt")
            with pytest.raises(quillmark.PasswordError):
                archive.read("docs/readme.txt", password="wrong")
            with pytest.raises(quillmark.PasswordError):
                archive.test()
            # A password for one read only.
            assert archive.read("docs/readme.txt", password=DATA) == expected["docs/readme.txt"]


@pytest.mark.parametrize("given", [None, "wrong"], ids=["missing", "wrong"])
def test_header_password_missing_or_wrong(pack, given):
    with pytest.raises(quillmark.PasswordError):
        quillmark.open(pack("-H", HEADERS), header_password=given)


def test_wrong_password_in_a_stream_raises_at_its_end(pack):
    with quillmark.open(pack("-c", "des", "-p", DATA), password="wrong") as archive:
        with archive.open("docs/noise.bin") as stream:
            with pytest.raises(quillmark.PasswordError):
                while stream.read(4096):
                    pass


def test_str_is_converted_to_windows_1252_and_bytes_are_taken_as_they_are(pack):
    # qmpack reads its password as quill does: UTF-8 on the command line,
    # Windows-1252 in the archive ("caf\xe9\x80").
    latin = pack("-c", "3des", "-p", "caf\u00e9\u20ac".encode("utf-8"))
    for password in ("caf\u00e9\u20ac", b"caf\xe9\x80", bytearray(b"caf\xe9\x80")):
        with quillmark.open(latin, password=password) as archive:
            assert archive.read("empty.dat") == b"" and archive.test() == []
    with quillmark.open(latin, password="caf\u00e9\u20ac".encode("utf-8")) as archive:
        with pytest.raises(quillmark.PasswordError):
            archive.test()
    # 0x81 has no character in Windows-1252: only bytes can say it, and they
    # reach the library as they are (a wrong key here, not a refusal).  An
    # archive whose key holds such bytes cannot be made with qmpack; the C
    # suite of the handle API opens one.
    with quillmark.open(latin, password=b"caf\xe9\x81") as archive:
        with pytest.raises(quillmark.PasswordError):
            archive.test()


@pytest.mark.parametrize("password,error", [
    ("\u0161\u4e2d", ValueError),   # outside Windows-1252
    (b"a\0b", ValueError),          # the library's strings end at NUL
    ("x" * 256, ValueError),
    (1234, TypeError),
])
def test_unusable_passwords_are_refused_before_the_library_sees_them(corpus, password, error):
    with pytest.raises(error):
        quillmark.open(corpus / "real-lz.qm", password=password)
