"""Broadcast Wave metadata: read, edit and check the bext chunk of WAV files.

The module is bextkit's own library: a file is decoded as the bextkit command decodes it,
edits go through the same rules (nothing that ``bextkit check`` calls an error is ever
written), and every save is the library's safe save. Paths are str, bytes or os.PathLike;
names that are no UTF-8 survive (bytes, or str as os.fsdecode gives them).

    >>> import bextkit
    >>> record = bextkit.read("take.wav")
    >>> record.description, record.timecode, record.rate_source
    >>> bextkit.edit("take.wav", description="Scene 4, take 2", originator="Boom")

``bextkit.dask`` reads whole archives on a Dask cluster; ``bextkit.smpte`` does SMPTE timecode
arithmetic.
"""

import os
from typing import NamedTuple

from . import _bextkit, smpte
from ._bextkit import Chunk, Format, Record

__all__ = [
    "Change", "Chunk", "FileError", "Finding", "Format", "ReadError", "Record", "Refused", "WriteError",
    "check", "edit", "md5", "read", "read_many", "smpte",
]


class FileError(OSError):
    """A file that could not be read or written: ``filename`` and ``reason`` say which and
    why."""

    _form = "{name}: {reason}"

    def __init__(self, filename, reason):
        super().__init__(reason)
        self.filename = filename
        self.reason = reason

    def __str__(self):
        return self._form.format(name=os.fsdecode(self.filename), reason=self.reason)


class ReadError(FileError):
    """A file that cannot be read (missing, no WAV file, unreadable)."""


class WriteError(FileError):
    """A save that failed; the file is as it was."""

    _form = "cannot save {name}: {reason}"


class Refused(ValueError):
    """An edit that is not made: a value that is no value of its field, or one that a check
    of the file written would call an error. ``reasons`` holds one sentence per field; nothing
    was written."""

    def __init__(self, filename, reasons):
        self.filename = filename
        self.reasons = list(reasons)
        super().__init__(f"{os.fsdecode(filename)}: " + "; ".join(self.reasons))


class Change(NamedTuple):
    """A field an edit changed: its name as tables name it ("Description") and its values."""

    field: str
    before: object
    after: object


class Finding(NamedTuple):
    """What a check found: a stable code, "error", "warning" or "note", the file offset it is
    about, and one sentence."""

    code: str
    severity: str
    offset: int
    text: str


def _rate(rate):
    return "" if rate is None else str(rate)


# Reading one file is the library's own call: nothing in Python stands between threads that
# read at once and the released GIL.
read = _bextkit.read


def read_many(paths, workers=None, rate=None, errors="raise"):
    """Reads the files on ``workers`` threads (all cores by default) with the GIL released,
    and yields their records in the order of ``paths``. A file that cannot be read raises
    ReadError where its record would come, or with ``errors="return"`` the ReadError is
    yielded in its place and the rest follow."""
    if errors not in ("raise", "return"):
        raise ValueError("errors: expected 'raise' or 'return'")
    if workers is not None and workers < 1:
        raise ValueError("workers: expected 1 or more")
    names = list(paths)
    reader = _bextkit.ParallelReader(names, _rate(rate), workers or 0)
    for name, result in zip(names, reader):
        if isinstance(result, str):
            failure = ReadError(name, result)
            if errors == "raise":
                raise failure
            yield failure
        else:
            yield result


_EDIT_FIELDS = frozenset(_bextkit.edit_fields())


def edit(path, dry_run=False, ixml=None, **fields):
    """Sets bext fields and saves the file, changing nothing else: description, originator,
    originator_reference, origination_date, origination_time, coding_history (str or bytes),
    version (int), umid (hex digits, or None), loudness_value, loudness_range,
    max_true_peak_level, max_momentary_loudness, max_short_term_loudness (numbers in their
    unit, or None for not measured). A file without a bext chunk gets one. ``ixml`` sets iXML
    fields by the names Record.ixml gives them ({"SCENE": "12", "CIRCLED": "yes",
    "TRACK_LIST/TRACK[2]/NAME": "Lav 1"}): the text of each element changes and nothing else
    in the document; a file without iXML gets a document holding the top-level fields given.
    The iXML's copies of the bext fields (the time stamp, the BEXT element) follow them.
    Returns the changes, iXML ones named "iXML:SCENE"; with ``dry_run`` makes every check of
    the save and writes nothing.

    Raises Refused, before anything is written, for a value that is none of its field or that
    a check would call an error; ReadError when the file cannot be read; WriteError when the
    save fails (the file stays as it was)."""
    unknown = sorted(set(fields) - _EDIT_FIELDS)
    if unknown:
        raise TypeError(f"edit() got unexpected keyword arguments: {', '.join(unknown)}")
    status, detail = _bextkit.edit(path, fields, dict(ixml or {}), bool(dry_run))
    if status == "refused":
        raise Refused(path, detail)
    if status == "unreadable":
        raise ReadError(path, detail)
    if status == "unwritable":
        raise WriteError(path, detail)
    return [Change(*change) for change in detail]


def check(path, rules="tech3285", house_rules=True):
    """The findings of a conformance check of the file, in file order. ``rules`` names rule
    sets (a comma-separated str or a list: tech3285, r98, r99, fadgi); with ``house_rules``
    the archive's .bextkit-check files apply, as for ``bextkit check``."""
    if not isinstance(rules, str):
        rules = ",".join(rules)
    result = _bextkit.check(path, rules, bool(house_rules))
    if isinstance(result, str):
        raise ReadError(path, result)
    return [Finding(*finding) for finding in result]


def md5(path):
    """The MD5 of the file's audio (the data chunk's payload only), as lower-case hex: it
    survives every metadata edit."""
    ok, detail = _bextkit.md5(path)
    if not ok:
        raise ReadError(path, detail)
    return detail
