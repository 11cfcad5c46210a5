#!/usr/bin/env python3
"""The Python module's speed, one run, beside the bextkit command on the same files.

    PYTHONPATH=build/default/python python3 bench/python_bench.py [BUILD_DIR] [FILES]

Makes FILES (10000) small Broadcast Wave files, copies of the producers' files in
tests/data/yardstick, in 20 folders, and times, with the files in the page cache:
  - read_many over them against `bextkit show --json -r` (both on every core);
  - two threads calling read in a loop against one (the GIL is released while a file is read),
    beside what two threads gain at all on the machine at the time;
  - bextkit.dask.read_metadata on a LocalCluster of 2 worker processes against
    `bextkit export --json -r`, and what one partition costs on that cluster, from a table of
    empty folders.
"""

import hashlib
import itertools
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
BUILD = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "default"
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
FOLDERS = 20
sys.path.insert(0, str(BUILD / "python"))

import bextkit  # noqa: E402
import bextkit.dask  # noqa: E402

CLI = str(BUILD / "cli" / "bextkit")


def timed(work, runs=3):
    """The best of `runs` wall-clock times of work()."""
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def make_archive(folder):
    sources = sorted((ROOT / "tests" / "data" / "yardstick").glob("*.wav"))
    files = []
    for i, source in zip(range(COUNT), itertools.cycle(sources)):
        sub = folder / f"reel{i % FOLDERS:02d}"
        sub.mkdir(exist_ok=True)
        target = sub / f"take{i:05d}.wav"
        shutil.copyfile(source, target)
        files.append(str(target))
    return sorted(files)


def cli(*args):
    subprocess.run([CLI, *args], stdout=subprocess.DEVNULL, check=True)


def read_loop(files, threads):
    """Each of `threads` threads reads every file once."""
    def work():
        for path in files:
            bextkit.read(path).description
    pool = [threading.Thread(target=work) for _ in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()


def ceiling():
    """What two threads gain on this machine right now, for work that runs outside the GIL
    and touches no file (hashlib releases the GIL on large buffers): other load on the
    machine lowers it."""
    data = bytes(32 << 20)

    def hashing(threads):
        pool = [threading.Thread(target=lambda: hashlib.sha256(data).digest())
                for _ in range(threads)]
        for t in pool:
            t.start()
        for t in pool:
            t.join()
    return 2 * timed(lambda: hashing(1)) / timed(lambda: hashing(2))


def main():
    with tempfile.TemporaryDirectory() as tmp:
        archive = pathlib.Path(tmp) / "archive"
        archive.mkdir()
        files = make_archive(archive)
        print(f"{len(files)} files of {sum(os.path.getsize(f) for f in files) // len(files)} "
              f"bytes on average, {os.cpu_count()} cores")

        show = timed(lambda: cli("show", "--json", "-r", str(archive)))
        many = timed(lambda: [r.description for r in bextkit.read_many(files)])
        print(f"read_many:            {many:.3f} s; bextkit show --json -r: {show:.3f} s "
              f"(ratio {many / show:.2f}, target 1.5 at most)")

        part = files[: len(files) // 2]
        one = timed(lambda: read_loop(part, 1))
        two = timed(lambda: read_loop(part, 2))
        print(f"read in a loop:       1 thread {len(part) / one:.0f} files/s, 2 threads "
              f"{2 * len(part) / two:.0f} files/s (speed-up {2 * one / two:.2f}, target 1.7; "
              f"two threads of hashlib gain {ceiling():.2f} on this machine now)")

        from distributed import Client, LocalCluster
        empty = pathlib.Path(tmp) / "empty"
        for i in range(200):
            (empty / f"folder{i:03d}").mkdir(parents=True)
        export = timed(lambda: cli("export", "--json", "-r", str(archive)))
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster):
            # The workers import the module once. Each graph is computed once: computed again
            # at once, its keys could still be held by the scheduler and be handed back.
            bextkit.dask.read_metadata(empty, npartitions=10).compute()
            table = bextkit.dask.read_metadata(archive)
            dask_time = timed(lambda: table.compute(), runs=1)
            print(f"dask read_metadata:   {dask_time:.3f} s on 2 processes in "
                  f"{table.npartitions} partitions; bextkit export --json -r: {export:.3f} s")
            blank = bextkit.dask.read_metadata(empty, npartitions=200)
            overhead = timed(lambda: blank.compute(), runs=1)
            print(f"per partition:        {1000 * overhead / blank.npartitions:.1f} ms of wall "
                  f"time ({blank.npartitions} partitions of empty folders on 2 workers)")


if __name__ == "__main__":
    main()
