"""_entry_info.py - EntryInfo, what a header block says about one entry,
with the field names of zipfile.ZipInfo where they mean the same."""
from __future__ import annotations

from dataclasses import dataclass, field
from typing import Tuple

from . import _native


@dataclass(frozen=True)
class EntryInfo:
    filename: str                # UTF-8, '/' between folders
    raw_name: bytes              # as stored: the OEM code page, '\\' between folders
    file_size: int               # unpacked bytes
    compress_size: int           # bytes in the archive (a chaining value included)
    CRC: int                     # CRC-32 of the unpacked bytes
    date_time: Tuple[int, int, int, int, int, int]  # local time, as zipfile gives it
    attributes: int              # Windows attribute bits
    cipher: str                  # "none", "des", "3des" or "chaining"
    index: int = field(default=0, repr=False, compare=False)  # its place in the archive

    @property
    def is_encrypted(self) -> bool:
        """Whether the entry has a cipher method, as quill's listing says
        "enciphered"; one that carries only a chaining value ("chaining")
        needs no password to read."""
        return self.cipher != "none"

    def is_dir(self) -> bool:
        """Always False: an archive stores files only (zipfile's method, for
        code written against it)."""
        return False

    @classmethod
    def from_native(cls, entry: _native.Entry, index: int) -> "EntryInfo":
        return cls(
            filename=(entry.name or b"").decode("utf-8", "replace"),
            raw_name=entry.raw_name or b"",
            file_size=entry.size,
            compress_size=entry.packed_size,
            CRC=entry.crc32,
            date_time=(entry.year, entry.month, entry.day, entry.hour, entry.minute, entry.second),
            attributes=entry.attributes,
            cipher=_native.CIPHER_NAMES.get(entry.cipher, "none"),
            index=index,
        )
