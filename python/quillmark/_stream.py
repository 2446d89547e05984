"""_stream.py - an entry's data as a readable binary stream.

Each stream holds a handle of its own on the archive, so several may be
open at once.  The library checks the CRC when the data ends: the read that
reaches the end raises DamagedEntryError (or PasswordError for an entry
enciphered under another password) instead of returning b"".
"""
from __future__ import annotations

import ctypes
import io
from typing import Callable, Optional

from . import _native

_CHUNK = 1 << 20  # what read() asks for at a time when the rest is unknown


def _address_of(view: memoryview) -> "ctypes.Array[ctypes.c_char]":
    return (ctypes.c_char * len(view)).from_buffer(view)


class EntryStream(io.BufferedIOBase):
    """The data of one entry; returned by Archive.open."""

    def __init__(self, handle: ctypes.c_void_p, name: str, size: int,
                 fail: Callable[[ctypes.c_void_p, int], Exception]) -> None:
        super().__init__()
        self._handle: Optional[ctypes.c_void_p] = handle
        self.name = name
        self._left = size  # what the header block promises (a hint for read())
        self._ended = False
        self._fail = fail

    def readable(self) -> bool:
        return True

    def _check_open(self) -> None:
        if self._handle is None:
            raise ValueError("I/O operation on a closed entry stream")

    def readinto(self, b) -> int:  # type: ignore[override]
        self._check_open()
        view = memoryview(b).cast("B")
        got = 0
        while got < len(view) and not self._ended:
            n = self._read_some(view[got:])
            if n == 0:
                break
            got += n
        return got

    def readinto1(self, b) -> int:  # type: ignore[override]
        self._check_open()
        view = memoryview(b).cast("B")
        return self._read_some(view) if len(view) and not self._ended else 0

    def read(self, size: Optional[int] = -1) -> bytes:
        self._check_open()
        if size is None or size < 0:
            parts = []
            while not self._ended:
                buffer = bytearray(max(self._left, 0) + 1 if self._left < _CHUNK * 64 else _CHUNK)
                n = self.readinto(buffer)
                parts.append(bytes(buffer[:n]) if n < len(buffer) else bytes(buffer))
            return b"".join(parts)
        buffer = bytearray(size)
        n = self.readinto(buffer)
        return bytes(buffer[:n]) if n < size else bytes(buffer)

    def read1(self, size: int = -1) -> bytes:
        buffer = bytearray(size if size >= 0 else _CHUNK)
        n = self.readinto1(buffer)
        return bytes(buffer[:n])

    def _read_some(self, view: memoryview) -> int:
        target = _address_of(view)
        n = _native.lib.qm_read_data(self._handle, target, len(view))
        del target
        if n < 0:
            self._ended = True
            raise self._fail(self._handle, n)
        if n == 0:
            self._ended = True
        self._left -= n
        return n

    def detach_handle(self) -> None:
        """Leaves the handle open for its owner and closes the stream."""
        self._handle = None
        self.close()

    def close(self) -> None:
        if self._handle is not None:
            _native.lib.qm_close(self._handle)
            self._handle = None
        super().close()
