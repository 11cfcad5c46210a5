import os
from typing import Iterable, Literal, Sequence

import dask.dataframe as dd

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]

TABLE_COLUMNS: tuple[str, ...]
FINDING_COLUMNS: tuple[str, ...]

def read_metadata(paths_or_folders: _Path | Iterable[_Path], recursive: bool = True,
                  npartitions: int | None = None, rate: str | None = None,
                  extensions: str = "wav,bwf,rf64",
                  errors: Literal["raise", "skip"] = "raise") -> dd.DataFrame: ...
def check(paths_or_folders: _Path | Iterable[_Path], recursive: bool = True,
          npartitions: int | None = None, rules: str | Sequence[str] = "tech3285",
          house_rules: bool = True, extensions: str = "wav,bwf,rf64",
          errors: Literal["raise", "skip"] = "raise") -> dd.DataFrame: ...
