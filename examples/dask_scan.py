#!/usr/bin/env python3
"""dask_scan.py - finds and tests archives among many files on a Dask
cluster, with the quillmark package on every worker.

    python3 dask_scan.py [--scheduler ADDRESS] [--workers N] [--batch N] PATH...

PATH is a file or a folder (walked like `quill scan` walks it: links below
it are not followed), or @LIST, a file with one path a line.  Without
--scheduler a local cluster of N worker processes is started (default: one
per core); with --scheduler tcp://HOST:8786 the work goes to that cluster,
whose workers must see the same paths (a shared file system) and have the
quillmark package installed.  Writes one JSON line per archive, in the
walk's order, with the fields of `quill scan --json --test`:

    {"path": ..., "offset": 3000, "entries": 2, "headerCipher": "none",
     "test": "intact", "damaged": [], "error": null}

Files that cannot be read are named on standard error; the exit status is
then 3, else 4 when an archive is damaged, else 0.
"""
from __future__ import annotations

import argparse
import json
import os
import sys
from typing import Iterator, List, Optional

import quillmark


def walk(paths: List[str]) -> Iterator[str]:
    """The regular files below the paths, in name order, links below them
    not followed (a path given is taken even when it is a link)."""
    for given in paths:
        if given.startswith("@"):
            with open(given[1:], encoding="utf-8") as listing:
                yield from walk([line.rstrip("\n") for line in listing if line.strip()])
        elif os.path.isdir(given):
            yield from _walk_folder(given)
        else:
            yield given


def _walk_folder(folder: str) -> Iterator[str]:
    try:
        entries = sorted(os.scandir(folder), key=lambda e: e.path)
    except OSError as error:
        print(f"dask_scan: {folder}: cannot read: {error.strerror}", file=sys.stderr)
        return
    for entry in entries:
        if entry.is_dir(follow_symlinks=False):
            yield from _walk_folder(entry.path)
        elif entry.is_file(follow_symlinks=False):
            yield entry.path


def scan_file(path: str) -> Optional[dict]:
    """What a worker reports of one file: None when it holds no archive,
    {"path", "unreadable"} when it cannot be read."""
    try:
        found = quillmark.signature(path)
    except OSError as error:
        return {"path": path, "unreadable": error.strerror or str(error)}
    if found is None:
        return None
    record = {"path": path, "offset": found.offset, "entries": None,
              "headerCipher": "des" if found.headers_enciphered else "none",
              "test": "intact", "damaged": [], "error": None}
    try:
        with quillmark.open(path) as archive:
            record["entries"] = len(archive)
            locked = False
            for info in archive:
                try:
                    archive.read(info)  # into memory, its CRC checked
                except quillmark.DamagedEntryError:
                    record["damaged"].append(info.filename)
                except quillmark.PasswordError:
                    locked = True
            if record["damaged"]:
                record["test"] = "damaged"
            elif locked:
                record["test"] = "password"
    except quillmark.PasswordError:
        record["test"] = "password"  # enciphered header blocks: no entries to see
    except quillmark.Error as error:
        record["test"], record["error"] = "damaged", str(error)
    except OSError as error:
        return {"path": path, "unreadable": error.strerror or str(error)}
    return record


def scan_batch(paths: List[str]) -> List[Optional[dict]]:
    return [scan_file(path) for path in paths]


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("paths", nargs="+", metavar="PATH")
    parser.add_argument("--scheduler", help="the address of a Dask scheduler (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=None, help="local worker processes")
    parser.add_argument("--batch", type=int, default=64, help="files per task (default 64)")
    args = parser.parse_args(argv)

    from dask.distributed import Client, LocalCluster  # only the scan itself needs Dask

    files = list(walk(args.paths))
    batches = [files[i:i + args.batch] for i in range(0, len(files), args.batch)]
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers or os.cpu_count() or 1, threads_per_worker=1,
                               processes=True, dashboard_address=None)
        client = Client(cluster)
    status = 0
    try:
        # Results come back batch by batch in the walk's order.
        for future in client.map(scan_batch, batches, pure=False):
            for record in future.result():
                if record is None:
                    continue
                if "unreadable" in record:
                    print(f"dask_scan: {record['path']}: cannot read: {record['unreadable']}", file=sys.stderr)
                    status = 3
                    continue
                if record["test"] == "damaged" and status == 0:
                    status = 4
                print(json.dumps(record), flush=True)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return status


if __name__ == "__main__":
    sys.exit(main())
