import json
import shutil
import subprocess

import pytest

import bextkit.dask
from conftest import YARDSTICK

distributed = pytest.importorskip("distributed")


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        yield client


@pytest.fixture
def archive(tmp_path):
    """The producers' files spread over folders, as an archive keeps them."""
    for i, path in enumerate(sorted(YARDSTICK.glob("*.wav"))):
        folder = tmp_path / ("" if i == 0 else f"day{i % 3}/reel{i % 2}")
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(path, folder / path.name)
    return tmp_path


@pytest.mark.parametrize("npartitions", [None, 5])
def test_read_metadata_gives_the_export_rows(client, archive, cli, npartitions):
    table = bextkit.dask.read_metadata(archive, npartitions=npartitions)
    assert table.npartitions > 1
    rows = table.compute().sort_values("FileName").to_dict("records")
    out = subprocess.run([cli, "export", "--json", "-r", str(archive)], capture_output=True,
                         check=True, text=True).stdout
    expected = [json.loads(line) for line in out.splitlines()]
    assert len(rows) == len(expected) == len(list(YARDSTICK.glob("*.wav")))
    for row, line in zip(rows, sorted(expected, key=lambda e: e["FileName"])):
        info, ixml = line.pop("INFO"), line.pop("iXML")
        assert {k: row[k] for k in line} == line
        assert all(row[k] == (ixml.get(k[5:], "") if k.startswith("iXML:") else info.get(k, ""))
                   for k in bextkit.dask.TABLE_COLUMNS[len(line):])


def test_check_gives_each_files_findings(client, archive):
    found = bextkit.dask.check(archive, rules="tech3285,r98,fadgi").compute()
    expected = [(str(p), *f) for p in sorted(archive.rglob("*.wav"))
                for f in bextkit.check(p, rules="tech3285,r98,fadgi")]
    assert sorted(map(tuple, found.itertuples(index=False))) == sorted(expected)
