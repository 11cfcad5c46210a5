"""Whole archives on a Dask cluster: the metadata table and the findings of every file, as dask
DataFrames.

The listing of the archive is itself spread over the cluster: the client looks only at the
entries of the folders it is given (one level down, more where more partitions are asked for),
and each partition lists its own part and reads its files on the worker that runs it, so that
no single machine walks the whole archive. Every worker needs the bextkit module installed and
the files at the same paths.

    >>> from distributed import Client, LocalCluster
    >>> import bextkit.dask
    >>> client = Client(LocalCluster(n_workers=2, threads_per_worker=1))
    >>> table = bextkit.dask.read_metadata("/archive")
    >>> table[table.Originator == ""].FileName.compute()
"""

import os

import dask.dataframe as dd
import pandas as pd

from . import _bextkit, ReadError

__all__ = ["check", "read_metadata", "FINDING_COLUMNS", "TABLE_COLUMNS"]

# The columns of ``bextkit export``: FileName, the bext fields, the INFO fields IARL to ITCH and
# the iXML fields of production sound (iXML:SCENE and the like).
TABLE_COLUMNS = tuple(_bextkit.table_columns())
FINDING_COLUMNS = ("FileName", "Code", "Severity", "Offset", "Text")

_EXTENSIONS = "wav,bwf,rf64"


def _roots(paths_or_folders):
    if isinstance(paths_or_folders, (str, bytes, os.PathLike)):
        return [paths_or_folders]
    return list(paths_or_folders)


def _pieces(paths_or_folders, recursive, npartitions):
    """The listing in pieces, each (path, recursive) for a worker to expand: a folder's own
    files, and each subfolder whole. The folders given are opened one level, and further
    while there are fewer pieces than partitions wanted."""
    pieces = [(os.fsencode(p), recursive and os.path.isdir(p)) for p in _roots(paths_or_folders)]
    for level in range(8):
        if (level > 0 and len(pieces) >= (npartitions or 0)) or not any(w for _, w in pieces):
            break
        opened = []
        for path, whole in pieces:
            if not whole:
                opened.append((path, False))
                continue
            opened.append((path, False))
            try:
                with os.scandir(path) as entries:
                    folders = sorted(e.path for e in entries if e.is_dir())
            except OSError:
                # The worker's own listing of it reports why.
                opened[-1] = (path, True)
                continue
            opened.extend((folder, True) for folder in folders)
        pieces = opened
    return pieces


def _partitions(pieces, npartitions):
    count = max(1, min(npartitions or len(pieces), len(pieces)))
    size, extra = divmod(len(pieces), count)
    out, start = [], 0
    for i in range(count):
        end = start + size + (1 if i < extra else 0)
        out.append(pieces[start:end])
        start = end
    return out


def _files(pieces, extensions, errors):
    files = []
    for path, whole in pieces:
        listed, problems = _bextkit.list_files([path], whole, extensions)
        if problems and errors == "raise":
            raise ReadError(path, "; ".join(problems))
        files.extend(listed)
    return files


def _table_partition(pieces, rate, extensions, errors):
    rows = []
    files = _files(pieces, extensions, errors)
    for path, row in zip(files, _bextkit.table_rows(files, rate)):
        if isinstance(row, str):
            if errors == "raise":
                raise ReadError(path, row)
            continue
        rows.append(row)
    return pd.DataFrame(rows, columns=list(TABLE_COLUMNS), dtype=object)


def _check_partition(pieces, rules, house_rules, extensions, errors):
    rows = []
    for path in _files(pieces, extensions, errors):
        findings = _bextkit.check(path, rules, house_rules)
        if isinstance(findings, str):
            if errors == "raise":
                raise ReadError(path, findings)
            continue
        rows.extend((path, *finding) for finding in findings)
    frame = pd.DataFrame(rows, columns=list(FINDING_COLUMNS), dtype=object)
    return frame.astype({"Offset": "int64"})


def _meta(columns, types=None):
    return pd.DataFrame({c: pd.Series(dtype=(types or {}).get(c, object)) for c in columns})


def _check_errors(errors):
    if errors not in ("raise", "skip"):
        raise ValueError("errors: expected 'raise' or 'skip'")


def read_metadata(paths_or_folders, recursive=True, npartitions=None, rate=None,
                  extensions=_EXTENSIONS, errors="raise"):
    """A dask DataFrame of the metadata table that ``bextkit export`` writes: a row per file,
    its columns FileName, Description, ..., CodingHistory, the INFO fields IARL to ITCH and the
    iXML fields (iXML:PROJECT to iXML:SPEED/TIMECODE_FLAG), all str (empty where a file does
    not hold the field). ``paths_or_folders`` is a path or a list of
    files and folders; folders are walked (and their subfolders with ``recursive``) for files
    whose names end in one of ``extensions``. ``npartitions`` defaults to one per piece of the
    listing (a folder's own files, each subfolder). The timecode column is counted at ``rate``
    or at the rate each file states. A file that cannot be read fails the computation with
    ReadError, or with ``errors="skip"`` has no row."""
    _check_errors(errors)
    rate = "" if rate is None else str(rate)
    parts = _partitions(_pieces(paths_or_folders, recursive, npartitions), npartitions)
    return dd.from_map(_table_partition, parts, args=(rate, extensions, errors),
                       meta=_meta(TABLE_COLUMNS), enforce_metadata=False,
                       label="bextkit-read-metadata")


def check(paths_or_folders, recursive=True, npartitions=None, rules="tech3285",
          house_rules=True, extensions=_EXTENSIONS, errors="raise"):
    """A dask DataFrame of the findings of ``bextkit check`` over the files, a row per finding:
    FileName, Code, Severity ("error", "warning", "note"), Offset (int) and Text. The files and
    partitions are found as read_metadata finds them; ``rules`` and ``house_rules`` are those of
    bextkit.check."""
    _check_errors(errors)
    if not isinstance(rules, str):
        rules = ",".join(rules)
    parts = _partitions(_pieces(paths_or_folders, recursive, npartitions), npartitions)
    return dd.from_map(_check_partition, parts, args=(rules, bool(house_rules), extensions, errors),
                       meta=_meta(FINDING_COLUMNS, {"Offset": "int64"}),
                       enforce_metadata=False, label="bextkit-check")
