"""_native.py - the library's handle API as ctypes declarations.

The shared library ships inside the package.  ctypes releases the GIL for
the length of every call, so archives read in several threads decode at the
same time; the read callback of a file object takes it back while it runs.
"""
from __future__ import annotations

import ctypes
import os
from pathlib import Path

# Error codes (enum qm_error).
E_ARGUMENT = -1
E_NOT_ARCHIVE = -2
E_DAMAGED = -3
E_CRC = -4
E_NEED_PASSWORD = -5
E_BAD_PASSWORD = -6
E_IO = -7
E_NO_MEMORY = -8
E_CANCELLED = -9
E_NO_ENTRY = -10
E_UNSAFE_NAME = -11
E_OUTPUT = -12

# enum qm_cipher, as the names zipfile users will see.
CIPHER_NAMES = {-1: "none", 0: "des", 1: "3des", 2: "chaining"}

RAW_PASSWORDS = 1  # qm_options.flags: the passwords are bytes as they are
SIGNATURE_WINDOW = 81920  # the library looks for a signature in this many bytes


class Options(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("data_password", ctypes.c_char_p),
        ("header_password", ctypes.c_char_p),
        ("password_callback", ctypes.c_void_p),
        ("user", ctypes.c_void_p),
        ("flags", ctypes.c_uint),
    ]


READ_AT = ctypes.CFUNCTYPE(ctypes.c_int64, ctypes.c_void_p, ctypes.c_uint64, ctypes.c_void_p,
                           ctypes.c_size_t)


class Source(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("read_at", READ_AT),
        ("length", ctypes.c_uint64),
        ("user", ctypes.c_void_p),
    ]


class Entry(ctypes.Structure):
    _fields_ = [
        ("name", ctypes.c_char_p),
        ("raw_name", ctypes.c_char_p),
        ("size", ctypes.c_uint64),
        ("packed_size", ctypes.c_uint64),
        ("crc32", ctypes.c_uint32),
        ("dos_time", ctypes.c_uint32),
        ("year", ctypes.c_int),
        ("month", ctypes.c_int),
        ("day", ctypes.c_int),
        ("hour", ctypes.c_int),
        ("minute", ctypes.c_int),
        ("second", ctypes.c_int),
        ("attributes", ctypes.c_uint32),
        ("cipher", ctypes.c_int),
    ]


Handle = ctypes.c_void_p


def _load() -> ctypes.CDLL:
    here = Path(__file__).resolve().parent
    for name in ("libquillmark.so", "quillmark.dll", "libquillmark.dylib"):
        candidate = here / name
        if candidate.exists():
            return ctypes.CDLL(os.fspath(candidate))
    raise ImportError(f"the quillmark library is missing from {here}; reinstall the package")


lib = _load()


def _declare(name: str, restype, *argtypes) -> None:
    function = getattr(lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)


_declare("qm_open_file", ctypes.c_int, ctypes.c_char_p, ctypes.POINTER(Options),
         ctypes.POINTER(Handle))
_declare("qm_open_memory", ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t,
         ctypes.POINTER(Options), ctypes.POINTER(Handle))
_declare("qm_open_source", ctypes.c_int, ctypes.POINTER(Source), ctypes.POINTER(Options),
         ctypes.POINTER(Handle))
_declare("qm_close", None, Handle)
_declare("qm_next_entry", ctypes.c_int, Handle, ctypes.POINTER(ctypes.POINTER(Entry)))
_declare("qm_entry_count", ctypes.c_int64, Handle)
_declare("qm_read_data", ctypes.c_int64, Handle, ctypes.c_void_p, ctypes.c_size_t)
_declare("qm_skip_entry", ctypes.c_int, Handle)
_declare("qm_test_entry", ctypes.c_int, Handle)
_declare("qm_extract_entry", ctypes.c_int, Handle, ctypes.c_char_p, ctypes.c_uint)
_declare("qm_find_signature", ctypes.c_int64, ctypes.c_void_p, ctypes.c_size_t,
         ctypes.POINTER(ctypes.c_int))
_declare("qm_cancel", None, Handle)
_declare("qm_error_message", ctypes.c_char_p, Handle)
_declare("qm_system_error", ctypes.c_int, Handle)


def error_message(handle) -> str:
    """What went wrong last on handle (None: the last failed open in this thread)."""
    text = lib.qm_error_message(handle)
    return text.decode("utf-8", "replace") if text else ""
