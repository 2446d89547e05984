"""_source.py - where an archive's bytes come from, and opening a handle
over them.

A path is opened by the library itself, bytes are read in place, and a
file object is read through the library's source callback, piece by piece
at the offsets the library asks for: never copied whole.  Each Source can
open any number of handles, one for each stream open at the same time.
"""
from __future__ import annotations

import ctypes
import io
import os
import threading
from typing import IO, Optional, Union

from . import _native
from ._errors import error_for

FileLike = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, IO[bytes]]


class Source:
    """The bytes of one archive and the options every handle is opened with."""

    def __init__(self, file: FileLike, data_password: Optional[bytes],
                 header_password: Optional[bytes]) -> None:
        self.name = "<memory>"
        self._path: Optional[bytes] = None
        self._keep: object = None  # what must outlive every handle
        self._address = 0
        self._length = 0
        self._file: Optional[IO[bytes]] = None
        self._callback_source: Optional[_native.Source] = None
        self._failure: Optional[BaseException] = None
        self._file_lock = threading.Lock()
        if isinstance(file, (str, os.PathLike)):
            self.name = os.fspath(file)
            self._path = os.fsencode(self.name)
        elif isinstance(file, bytes):
            self._keep = file
            self._length = len(file)
            self._address = ctypes.cast(ctypes.c_char_p(file), ctypes.c_void_p).value or 0
        elif isinstance(file, (bytearray, memoryview)):
            self._take_buffer(file)
        elif hasattr(file, "read") and hasattr(file, "seek"):
            self._take_file(file)
        else:
            raise TypeError("an archive is a path, bytes or a seekable binary file object, "
                            f"not {type(file).__name__}")
        self._options = _native.Options(size=ctypes.sizeof(_native.Options),
                                        data_password=data_password,
                                        header_password=header_password,
                                        flags=_native.RAW_PASSWORDS)

    def _take_buffer(self, buffer: Union[bytearray, memoryview]) -> None:
        view = memoryview(buffer).cast("B")
        if not view.contiguous:
            raise ValueError("the archive's buffer is not contiguous")
        if view.readonly:
            # ctypes reaches only writable buffers in place.
            data = view.tobytes()
            self._keep = data
            self._address = ctypes.cast(ctypes.c_char_p(data), ctypes.c_void_p).value or 0
        else:
            array = (ctypes.c_char * len(view)).from_buffer(view)
            self._keep = (view, array)
            self._address = ctypes.addressof(array)
        self._length = len(view)

    def _take_file(self, file: IO[bytes]) -> None:
        if not getattr(file, "seekable", lambda: True)():
            raise ValueError("the archive's file object is not seekable")
        self._file = file
        self.name = str(getattr(file, "name", "<file object>"))
        self._length = file.seek(0, io.SEEK_END)
        self._read_at = _native.READ_AT(self._serve)  # kept alive with the source
        self._callback_source = _native.Source(size=ctypes.sizeof(_native.Source),
                                               read_at=self._read_at, length=self._length)

    def _serve(self, _user, offset: int, buffer: int, size: int) -> int:
        """The library asks for size bytes at offset (called with the GIL held)."""
        assert self._file is not None
        try:
            target = (ctypes.c_char * size).from_address(buffer)
            # Several handles may read the one file object from several threads.
            with self._file_lock:
                self._file.seek(offset)
                got = 0
                view = memoryview(target).cast("B")
                readinto = getattr(self._file, "readinto", None)
                while got < size:
                    if readinto is not None:
                        n = readinto(view[got:])
                    else:  # a file object with read() only
                        piece = self._file.read(size - got)
                        n = len(piece)
                        view[got:got + n] = piece
                    if not n:
                        break
                    got += n
            return got
        except BaseException as failure:  # noqa: BLE001 - handed back to the caller
            self._failure = failure
            return -1

    def open_handle(self, data_password: Optional[bytes] = None) -> ctypes.c_void_p:
        """A new handle on the archive, with another data password when one
        is given; raises what the library reports."""
        handle = _native.Handle()
        self._failure = None
        options = ctypes.byref(self._options)
        if data_password is not None and data_password != self._options.data_password:
            own = _native.Options(size=ctypes.sizeof(_native.Options), data_password=data_password,
                                  header_password=self._options.header_password,
                                  flags=_native.RAW_PASSWORDS)
            options = ctypes.byref(own)
        if self._path is not None:
            code = _native.lib.qm_open_file(self._path, options, ctypes.byref(handle))
        elif self._callback_source is not None:
            code = _native.lib.qm_open_source(ctypes.byref(self._callback_source), options,
                                              ctypes.byref(handle))
        else:
            code = _native.lib.qm_open_memory(self._address, self._length, options,
                                              ctypes.byref(handle))
        if code < 0:
            self.raise_failure_of_callback()
            raise error_for(code, _native.error_message(None), None,
                            _native.lib.qm_system_error(None))
        return handle

    def raise_failure_of_callback(self) -> None:
        """Raises what the file object raised inside the library's read, if anything."""
        failure, self._failure = self._failure, None
        if failure is not None:
            raise failure
