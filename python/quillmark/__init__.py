"""quillmark - read Quillmark archives from Python, with the API of zipfile
and tarfile: open() an Archive, list its entries (EntryInfo), read(), open()
or extract() them, test() them.  The library under it is the project's own,
shipped inside this package and called without the GIL.
"""
from ._archive import Archive, Signature, is_archive, open, signature
from ._entry_info import EntryInfo
from ._errors import BadArchiveError, DamagedEntryError, Error, PasswordError
from ._stream import EntryStream

__all__ = [
    "Archive",
    "BadArchiveError",
    "DamagedEntryError",
    "EntryInfo",
    "EntryStream",
    "Error",
    "PasswordError",
    "Signature",
    "is_archive",
    "open",
    "signature",
]
__version__ = "0.1.0"
