"""_archive.py - Archive, one open archive with the methods of
zipfile.ZipFile and tarfile.TarFile.

Opening walks the header blocks once and keeps what they say.  The library
reads an archive front to back, so reading entries in their order goes on
with one handle (the cursor); an entry behind the cursor, an entry with a
password of its own and each stream get a handle of their own.  An Archive
may be shared between threads: its lock lets one of them use the cursor at
a time.  Different archives in different threads run side by side, since
the library runs without the GIL.
"""
from __future__ import annotations

import builtins
import ctypes
import os
import threading
from typing import Iterable, Iterator, List, NamedTuple, Optional, Tuple, Union

from . import _native
from ._entry_info import EntryInfo
from ._errors import BadArchiveError, error_for
from ._passwords import Password, password_bytes
from ._source import FileLike, Source
from ._stream import EntryStream

Member = Union[str, EntryInfo]

# A prototype of our own: the shared ctypes.pythonapi attribute stays as
# other code in the process may have declared it.
_BYTES_FROM_SIZE = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.c_char_p, ctypes.c_ssize_t)(
    ("PyBytes_FromStringAndSize", ctypes.pythonapi))


class Archive:
    """An open archive; use it in a with statement or call close()."""

    def __init__(self, file: FileLike, password: Password = None,
                 header_password: Password = None) -> None:
        self._password = password_bytes(password)
        self._header_password = password_bytes(header_password)
        self._source = Source(file, self._password, self._header_password)
        self.filename = self._source.name
        self._lock = threading.RLock()
        self._cursor: Optional[ctypes.c_void_p] = None
        self._cursor_at = -1  # the entry the cursor stands on
        self._entries: List[EntryInfo] = []
        self._by_name = {}
        self._closed = False
        handle = self._source.open_handle()
        try:
            self._entries = list(self._walk(handle))
        finally:
            _native.lib.qm_close(handle)
        for info in self._entries:
            self._by_name.setdefault(info.filename, info)  # the first of two equal names wins

    # ---- the entries -------------------------------------------------------------

    def _walk(self, handle: ctypes.c_void_p) -> Iterator[EntryInfo]:
        entry = ctypes.POINTER(_native.Entry)()
        index = 0
        while True:
            code = _native.lib.qm_next_entry(handle, ctypes.byref(entry))
            if code == 1:
                return
            if code < 0:
                self._source.raise_failure_of_callback()
                raise BadArchiveError(_native.error_message(handle), code)
            yield EntryInfo.from_native(entry.contents, index)
            index += 1

    def infolist(self) -> List[EntryInfo]:
        return list(self._entries)

    def namelist(self) -> List[str]:
        return [info.filename for info in self._entries]

    def getinfo(self, name: str) -> EntryInfo:
        """The entry of that name; KeyError when there is none (as zipfile)."""
        try:
            return self._by_name[name]
        except KeyError:
            raise KeyError(f"There is no item named {name!r} in the archive") from None

    def __iter__(self) -> Iterator[EntryInfo]:
        return iter(list(self._entries))

    def __len__(self) -> int:
        return len(self._entries)

    def _info(self, member: Member) -> EntryInfo:
        return member if isinstance(member, EntryInfo) else self.getinfo(member)

    # ---- handles -------------------------------------------------------------------

    def _check_open(self) -> None:
        if self._closed:
            raise ValueError("the archive is closed")

    def _handle_at(self, index: int, password: Password) -> Tuple[ctypes.c_void_p, bool]:
        """A handle standing on entry index, and whether it is a handle of its
        own (to close after use) rather than the cursor."""
        self._check_open()
        own = password_bytes(password)
        if own is not None and own != self._password:
            handle = self._source.open_handle(data_password=own)
            self._advance(handle, -1, index)
            return handle, True
        if self._cursor is None or self._cursor_at >= index:
            self._drop_cursor()
            self._cursor = self._source.open_handle()
            self._cursor_at = -1
        try:
            self._advance(self._cursor, self._cursor_at, index)
        except BaseException:
            self._drop_cursor()
            raise
        self._cursor_at = index
        return self._cursor, False

    def _advance(self, handle: ctypes.c_void_p, at: int, index: int) -> None:
        entry = ctypes.POINTER(_native.Entry)()
        while at < index:
            code = _native.lib.qm_next_entry(handle, ctypes.byref(entry))
            if code != 0:
                self._source.raise_failure_of_callback()
                raise BadArchiveError(_native.error_message(handle) or "the archive changed", code)
            at += 1

    def _drop_cursor(self) -> None:
        if self._cursor is not None:
            _native.lib.qm_close(self._cursor)
            self._cursor = None
            self._cursor_at = -1

    def _entry_failure(self, info: EntryInfo):
        def fail(handle: ctypes.c_void_p, code: int) -> Exception:
            self._source.raise_failure_of_callback()
            return error_for(int(code), _native.error_message(handle), info.filename,
                             _native.lib.qm_system_error(handle))
        return fail

    # ---- reading -------------------------------------------------------------------

    def read(self, name: Member, password: Password = None) -> bytes:
        """The entry's bytes, after their CRC has matched."""
        info = self._info(name)
        with self._lock:
            handle, own = self._handle_at(info.index, password)
            try:
                return self._read_whole(handle, info)
            except BaseException:
                # The handle's entry has failed: the next read starts afresh.
                if not own:
                    self._drop_cursor()
                raise
            finally:
                if own:
                    _native.lib.qm_close(handle)

    def _read_whole(self, handle: ctypes.c_void_p, info: EntryInfo) -> bytes:
        fail = self._entry_failure(info)
        # The library decodes straight into the result: one buffer of the
        # entry's size, neither zeroed first nor copied afterwards.
        result, address = _new_bytes(info.file_size)
        got = 0
        while got < info.file_size:
            n = _native.lib.qm_read_data(handle, address + got, info.file_size - got)
            if n < 0:
                raise fail(handle, n)
            if n == 0:
                return result[:got]  # shorter than its header block said, yet its CRC matched
            got += n
        # One more read past the end, where the library checks the CRC; an
        # entry longer than its header block said is read on to its end.
        rest = EntryStream(handle, info.filename, 0, fail)
        try:
            tail = rest.read()
        finally:
            rest.detach_handle()  # the handle is not the stream's to close
        return result + tail if tail else result

    def open(self, name: Member, mode: str = "r", password: Password = None) -> EntryStream:
        """The entry's data as a stream (io.BufferedIOBase); the read that
        reaches its end raises when the CRC does not match."""
        if mode != "r":
            raise ValueError("an archive is opened for reading only")
        info = self._info(name)
        self._check_open()
        own = password_bytes(password)
        handle = self._source.open_handle(data_password=own if own is not None else self._password)
        try:
            self._advance(handle, -1, info.index)
        except BaseException:
            _native.lib.qm_close(handle)
            raise
        return EntryStream(handle, info.filename, info.file_size, self._entry_failure(info))

    def test(self) -> List[str]:
        """Reads every entry and checks its CRC: the names of the damaged
        entries, empty when all are intact.  A password that is missing or
        does not fit raises PasswordError."""
        self._check_open()
        damaged = []
        handle = self._source.open_handle()
        try:
            for info in self._entries:
                self._advance(handle, info.index - 1, info.index)
                code = _native.lib.qm_test_entry(handle)
                if code in (_native.E_CRC, _native.E_DAMAGED):
                    damaged.append(info.filename)
                elif code < 0:
                    raise self._entry_failure(info)(handle, code)
        finally:
            _native.lib.qm_close(handle)
        return damaged

    # ---- extracting ----------------------------------------------------------------

    def extract(self, member: Member, path: Union[str, "os.PathLike[str]", None] = None,
                password: Password = None) -> str:
        """Writes the entry below path (default: the current folder) under its
        stored folders, through the library's safe writer: a name can never
        leave the folder, and a file appears only when complete and its CRC
        matched.  Returns the path written."""
        info = self._info(member)
        folder = os.fspath(path) if path is not None else os.curdir
        with self._lock:
            handle, own = self._handle_at(info.index, password)
            try:
                self._extract_current(handle, info, folder)
            except BaseException:
                if not own:
                    self._drop_cursor()
                raise
            finally:
                if own:
                    _native.lib.qm_close(handle)
        return _written_path(folder, info.filename)

    def extractall(self, path: Union[str, "os.PathLike[str]", None] = None,
                   members: Optional[Iterable[Member]] = None, password: Password = None) -> None:
        """extract() for every entry, or for those of members, in one pass."""
        wanted = sorted({self._info(m).index for m in members} if members is not None
                        else range(len(self._entries)))
        folder = os.fspath(path) if path is not None else os.curdir
        self._check_open()
        own = password_bytes(password)
        handle = self._source.open_handle(data_password=own if own is not None else self._password)
        try:
            at = -1
            for index in wanted:
                self._advance(handle, at, index)
                at = index
                self._extract_current(handle, self._entries[index], folder)
        finally:
            _native.lib.qm_close(handle)

    def _extract_current(self, handle: ctypes.c_void_p, info: EntryInfo, folder: str) -> None:
        code = _native.lib.qm_extract_entry(handle, os.fsencode(folder), 0)
        if code < 0:
            raise self._entry_failure(info)(handle, code)

    # ---- closing -------------------------------------------------------------------

    def close(self) -> None:
        with self._lock:
            self._drop_cursor()
            self._closed = True

    def __enter__(self) -> "Archive":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self._drop_cursor()
        except Exception:  # noqa: BLE001 - nothing to report to at interpreter exit
            pass

    def __repr__(self) -> str:
        state = "closed" if self._closed else f"{len(self._entries)} entries"
        return f"<quillmark.Archive {self.filename!r} {state}>"


def _new_bytes(size: int) -> Tuple[bytes, int]:
    """A bytes object of size bytes, not yet filled (CPython's own way of
    building one), and the address of its bytes.  It is written only before
    anyone else sees it; an empty one is the shared b"" and never written."""
    result = _BYTES_FROM_SIZE(None, size)
    return result, ctypes.cast(ctypes.c_char_p(result), ctypes.c_void_p).value or 0


def _written_path(folder: str, name: str) -> str:
    """Where the library writes an entry: its stored folders below folder,
    without empty, '.' and '..' parts or a drive prefix."""
    parts = [p for p in name.split("/") if p not in ("", ".", "..")]
    if parts and parts[0].endswith(":"):
        parts = parts[1:]
    return os.path.join(folder, *parts)


def open(file: FileLike, password: Password = None,  # noqa: A001 - zipfile's and tarfile's name
         header_password: Password = None) -> Archive:
    """Opens an archive: a path, bytes, or a seekable binary file object."""
    return Archive(file, password=password, header_password=header_password)


class Signature(NamedTuple):
    """Where an archive's signature record lies, and what it says."""
    offset: int
    headers_enciphered: bool  # the header blocks are enciphered (DES): a header password is needed


def signature(file: FileLike) -> Optional[Signature]:
    """The archive signature among the first 81,920 bytes (the only place the
    library looks), or None.  Reads those bytes once; a file object is read
    from its start and left where it was."""
    if isinstance(file, (str, os.PathLike)):
        with builtins.open(file, "rb") as f:
            head = f.read(_native.SIGNATURE_WINDOW)
    elif isinstance(file, (bytes, bytearray, memoryview)):
        head = bytes(memoryview(file).cast("B")[:_native.SIGNATURE_WINDOW])
    else:
        where = file.tell()
        file.seek(0)
        head = file.read(_native.SIGNATURE_WINDOW)
        file.seek(where)
    enciphered = ctypes.c_int()
    offset = _native.lib.qm_find_signature(head, len(head), ctypes.byref(enciphered))
    return Signature(offset, bool(enciphered.value)) if offset >= 0 else None


def is_archive(file: FileLike) -> bool:
    """Whether an archive's signature lies in the first 81,920 bytes."""
    return signature(file) is not None
