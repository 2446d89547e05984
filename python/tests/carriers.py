"""carriers.py - builds small archives byte by byte, for what qmpack will not
write: names that try to leave the output folder, and entries whose data
does not match their CRC.  Entries are stored (not compressed, not
enciphered).

An archive is a 34-byte signature record ("Quillmark!", the format word, the
magic 77, a flags word) and for each entry a 432-byte header block followed
by the entry's bytes.  A header block: cipher method at 0, its own CRC-32 at 4
(over bytes 8 to 431), the magic at 8, the name (OEM code page, backslashes,
NUL-terminated) at 76, then at 344 the data's CRC-32, the packed and the
unpacked size, the DOS date and time and the attributes.
"""
from __future__ import annotations

import struct
import zlib
from typing import Iterable, Optional, Tuple

FORMAT_WORD = 0x1541524E
MAGIC = 77
BLOCK_SIZE = 432
DOS_TIME = 0x546A584A  # 2022-03-10 11:02:20


def signature_record(flags: int = 0) -> bytes:
    return b"Quillmark!" + struct.pack("<III", FORMAT_WORD, MAGIC, flags) + bytes(12)


def header_block(name: bytes, data: bytes, crc: Optional[int] = None) -> bytes:
    block = bytearray(BLOCK_SIZE)
    struct.pack_into("<i", block, 0, -1)
    struct.pack_into("<I", block, 8, MAGIC)
    block[76:76 + len(name)] = name
    crc = zlib.crc32(data) if crc is None else crc
    struct.pack_into("<IiiII", block, 344, crc, len(data), len(data), DOS_TIME, 0x20)
    struct.pack_into("<I", block, 4, zlib.crc32(bytes(block[8:])))
    return bytes(block)


def carrier(entries: Iterable[Tuple[bytes, bytes]], damaged: Iterable[bytes] = (),
            prefix: bytes = b"") -> bytes:
    """An archive of (stored name, data) entries; those named in damaged
    carry a wrong data CRC."""
    broken = set(damaged)
    out = bytearray(prefix + signature_record())
    for name, data in entries:
        wrong = (zlib.crc32(data) ^ 0x5A5A5A5A) if name in broken else None
        out += header_block(name, data, wrong) + data
    return bytes(out)
