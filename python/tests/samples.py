"""samples.py - the files the packed fixtures hold."""
from __future__ import annotations

import random


def sample_files() -> dict:
    """Names (with a folder) and contents: text that compresses, random bytes
    that do not, and an empty file."""
    rng = random.Random(19)
    text = b"".join(b"line %d of a text that compresses well\r\n" % i for i in range(3000))
    return {
        "docs/readme.txt": text,
        "docs/noise.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
        "empty.dat": b"",
    }
