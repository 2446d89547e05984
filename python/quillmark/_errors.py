"""_errors.py - the package's exceptions and the mapping from the library's
negative error codes to them."""
from __future__ import annotations

import os
from typing import Optional

from . import _native


class Error(Exception):
    """Every failure of quillmark: the base of the exceptions below."""

    def __init__(self, message: str, code: int = 0) -> None:
        super().__init__(message)
        self.code = code  # the library's negative QM_E_ code, 0 when none


class BadArchiveError(Error):
    """No archive signature, or a damaged or cut header block."""


class DamagedEntryError(Error):
    """An entry whose data does not match its CRC or ends early."""

    def __init__(self, message: str, code: int = 0, name: Optional[str] = None) -> None:
        super().__init__(message, code)
        self.name = name


class PasswordError(Error):
    """A password is missing or does not open the entry or the header blocks."""


def error_for(code: int, message: str, name: Optional[str] = None,
              system_error: int = 0) -> Exception:
    """The exception for a negative code returned by the library: the
    system's own OSError (FileNotFoundError, ...) when a read or write of the
    system failed, one of the classes above otherwise."""
    if code == _native.E_IO and system_error:
        return OSError(system_error, os.strerror(system_error), message)
    if code in (_native.E_NEED_PASSWORD, _native.E_BAD_PASSWORD):
        return PasswordError(message, code)
    if code == _native.E_NOT_ARCHIVE:
        return BadArchiveError(message, code)
    if code in (_native.E_CRC, _native.E_DAMAGED):
        if name is None:
            return BadArchiveError(message, code)
        return DamagedEntryError(message, code, name)
    return Error(message, code)
