import os
import pathlib
import shutil

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
YARDSTICK = ROOT / "tests" / "data" / "yardstick"
SAMPLE = ROOT / "samples" / "tone-48k-24bit-bext.wav"


@pytest.fixture
def copies(tmp_path):
    """Copies of the producers' files, to be edited."""
    def make(*names):
        out = []
        for name in names:
            target = tmp_path / name
            shutil.copyfile(YARDSTICK / name, target)
            out.append(target)
        return out
    return make


@pytest.fixture
def cli():
    return os.environ.get("BEXTKIT_CLI", "bextkit")
