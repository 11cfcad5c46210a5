import os
from typing import Iterable, Iterator, Literal, Mapping, NamedTuple, Sequence, overload

from . import smpte as smpte

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]

class FileError(OSError):
    filename: _Path
    reason: str
    def __init__(self, filename: _Path, reason: str) -> None: ...

class ReadError(FileError): ...
class WriteError(FileError): ...

class Refused(ValueError):
    filename: _Path
    reasons: list[str]
    def __init__(self, filename: _Path, reasons: Iterable[str]) -> None: ...

class Change(NamedTuple):
    field: str
    before: str | int | float | None
    after: str | int | float | None

class Finding(NamedTuple):
    code: str
    severity: str
    offset: int
    text: str

class Format:
    """Read-only: the attributes of the file as it was read."""
    tag: int
    name: str
    channels: int
    sample_rate: int
    bytes_per_second: int
    block_align: int
    bits_per_sample: int
    valid_bits: int | None
    channel_mask: int | None
    sub_format: int | None

class Chunk:
    id: str
    offset: int
    size: int
    form: str | None
    truncated: bool

class Record:
    path: str
    format: Format | None
    data_size: int | None
    sample_frames: int | None
    duration: float | None
    has_bext: bool
    description: str | None
    originator: str | None
    originator_reference: str | None
    origination_date: str | None
    origination_time: str | None
    time_reference: int | None
    version: int | None
    umid: str | None
    loudness_value: float | None
    loudness_range: float | None
    max_true_peak_level: float | None
    max_momentary_loudness: float | None
    max_short_term_loudness: float | None
    coding_history: str | None
    chunks: list[Chunk]
    container: str | None
    rate: str
    rate_source: str
    rate_note: str | None
    ixml: dict[str, str] | None
    timecode: str | None
    timecode_frame: int | None
    samples_past_frame: int | None

def read(path: _Path, rate: str | None = None) -> Record: ...
@overload
def read_many(paths: Iterable[_Path], workers: int | None = None, rate: str | None = None,
              errors: Literal["raise"] = "raise") -> Iterator[Record]: ...
@overload
def read_many(paths: Iterable[_Path], workers: int | None = None, rate: str | None = None,
              *, errors: Literal["return"]) -> Iterator[Record | ReadError]: ...
def edit(path: _Path, dry_run: bool = False, ixml: Mapping[str, str | bytes] | None = None, *,
         description: str | bytes = ...,
         originator: str | bytes = ..., originator_reference: str | bytes = ...,
         origination_date: str | bytes = ..., origination_time: str | bytes = ...,
         coding_history: str | bytes = ..., version: int = ..., umid: str | None = ...,
         loudness_value: float | None = ..., loudness_range: float | None = ...,
         max_true_peak_level: float | None = ..., max_momentary_loudness: float | None = ...,
         max_short_term_loudness: float | None = ...) -> list[Change]: ...
def check(path: _Path, rules: str | Sequence[str] = "tech3285",
          house_rules: bool = True) -> list[Finding]: ...
def md5(path: _Path) -> str: ...
