"""_passwords.py - passwords as the library takes them.

A str is converted as quill converts a password typed on its command line:
to Windows-1252, the code page the archive's keys are made from; a
character that code page lacks is refused.  bytes are the key's bytes as
they are, for a password written in another code page.
"""
from __future__ import annotations

from typing import Optional, Union

Password = Union[str, bytes, bytearray, None]

MAX_BYTES = 255  # longer passwords are refused by the library


def password_bytes(password: Password) -> Optional[bytes]:
    """The password's bytes in Windows-1252, or None for no password."""
    if password is None:
        return None
    if isinstance(password, str):
        try:
            raw = password.encode("cp1252")
        except UnicodeEncodeError as error:
            raise ValueError(f"the password has characters outside Windows-1252: {error}") from None
    elif isinstance(password, (bytes, bytearray)):
        raw = bytes(password)
    else:
        raise TypeError(f"a password is str or bytes, not {type(password).__name__}")
    if b"\0" in raw:
        raise ValueError("a password cannot hold a NUL byte")
    if len(raw) > MAX_BYTES:
        raise ValueError(f"a password is at most {MAX_BYTES} bytes")
    # The empty password is no password, as on quill's command line.
    return raw or None
