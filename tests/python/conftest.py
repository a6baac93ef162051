"""Shared helpers: the built command line, run on the bundled example in a fresh folder, and
columns compared bit for bit."""

import csv
import json
import os
import shutil
import subprocess

import numpy as np
import pytest


def need(module, package):
    """The module, or the test skips saying which Debian package has it; in CI it fails."""
    if os.environ.get("CI"):
        return __import__(module)
    return pytest.importorskip(module, reason=f"{module} is not installed (Debian: {package})")


def example_path():
    return os.path.join(os.environ["LIFTSIM_EXAMPLES"], "dani.dat")


class Cli:
    """The command line's run of a case in its own folder, with the bundled example as dani.dat."""

    def __init__(self, folder, args):
        shutil.copy(example_path(), folder / "dani.dat")
        self.folder = folder
        self.done = subprocess.run([os.environ["LIFTSIM_EXE"], "--quiet", *args], cwd=folder,
                                   capture_output=True, text=True, timeout=120)

    def csv(self, name):
        """The header and the rows, every number read back with float()."""
        with open(self.folder / name, encoding="utf-8") as f:
            lines = f.read().splitlines()
        return lines[0].split(","), [[float(v) for v in line.split(",")] for line in lines[1:]]

    def study(self, name):
        """A sweep's or capacity chart's file: the header and the rows as texts, the provenance
        lines (#) skipped."""
        with open(self.folder / name, encoding="utf-8", newline="") as f:
            rows = list(csv.reader(line for line in f if not line.startswith("#")))
        return rows[0], rows[1:]

    def json(self, name):
        with open(self.folder / name, encoding="utf-8") as f:
            return json.load(f)

    def usage_error(self):
        """The message of a usage error, without the program's name and the option."""
        assert self.done.returncode == 2
        first = self.done.stderr.splitlines()[0]
        return first.removeprefix("liftsim: ").removeprefix("--set: ")


@pytest.fixture
def cli(tmp_path):
    count = iter(range(1000))

    def run(*args):
        folder = tmp_path / f"cli-{next(count)}"
        folder.mkdir()
        return Cli(folder, [str(a) for a in args])

    return run


def same(a, b):
    """Two columns equal bit for bit: floats by their bits (NaN where both have none), others by
    value."""
    a, b = np.asarray(a), np.asarray(b)
    if a.shape != b.shape or a.dtype != b.dtype:
        return False
    if a.dtype.kind == "f":
        return np.array_equal(a.view(np.uint64), b.view(np.uint64))
    return bool(np.all(a == b))


def same_table(a, b):
    return a.columns == b.columns and all(same(a[n], b[n]) for n in a.columns)


def sets(values):
    return [a for name, value in values.items() for a in ("--set", f"{name}={value!r}")]


def files_of(tmp_path, options):
    """The command line's options for road, drive and brake; pairs are written to files first."""
    args = []
    for key in ("road", "drive", "brake"):
        value = options.get(key)
        if isinstance(value, list):
            path = tmp_path / f"{key}.csv"
            path.write_text("".join(f"{a!r},{b!r}\n" for a, b in value))
            args += [f"--{key}", path]
        elif value is not None:
            args += [f"--{key}", value]
    return args
