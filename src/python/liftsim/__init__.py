"""liftsim: the planar dynamics of a lift truck, from Python.

    >>> import liftsim
    >>> r = liftsim.run({"m_4": 1500.0, "zc_4": 1.2})
    >>> r.verdict                   # 'stable', 'wheel_lift', 'tip_over', ...
    >>> r.t, r["F_kp"]              # NumPy arrays, one value per output point
    >>> r.summary["min_F_kp"]       # the summary the command line's --summary writes

Runs start from the bundled example's dani.dat unless given another input. Parameters are set by
the names `liftsim.params()` lists, and checked as the command line checks `--set`: a bad name or
value raises ValueError with the command line's message. A run that fails (a floating-point
fault, a stalled integration) is an answer, not an exception: its `error` says why.

Python's lock is released while a run computes, so threads may run cases side by side; Ctrl-C
stops a run within a fraction of a second and raises KeyboardInterrupt. Results and tables pickle.
"""

from __future__ import annotations

import dataclasses
import json
import numbers
import os
from typing import Any, Iterable, Mapping, Optional, Sequence, Union

import numpy as np

from . import _liftsim

__all__ = ["Column", "Param", "Run", "RunError", "columns", "params", "run"]

PathLike = Union[str, "os.PathLike[str]"]


@dataclasses.dataclass(frozen=True)
class Param:
    """One parameter of the table: its value as a run would use it, and what it is."""

    name: str
    value: float
    unit: str  # SI unit; "1" for a pure number
    source: str  # "set", "built-in", "dani.dat record N", "built-in (dani.dat record N ignored)"
    meaning: str
    range: str  # the values allowed, in words
    record: Optional[int]  # the record of dani.dat that holds it, if any
    built_in: Optional[float]  # the value that replaces the one read, if any
    settable: bool
    echo_only: bool  # shown in the report, used by no computation


@dataclasses.dataclass(frozen=True)
class Column:
    """One column of a run's results."""

    name: str
    unit: str
    group: str
    meaning: str


@dataclasses.dataclass(frozen=True)
class RunError:
    """Why a run failed: the error code ("M6103", "F6103", "M6110", ...) and its message, as the
    command line reports them; the statement ("MATH", "READ", ...) and the file it concerns."""

    code: str
    message: str
    statement: str
    file: str


class Run:
    """The results of one run.

    `columns` names the columns; `data` holds them as one float64 array of shape
    (output points, columns), and `run[name]` (or `run.name` for names that are identifiers, such
    as `run.t` or `run.F_kp`) is one column as a view of it. `summary` is the dict of the command
    line's `--summary` JSON (None when the input could not be read), `verdict` its verdict and
    `error` None or a RunError.
    """

    def __init__(
        self,
        columns: Sequence[str],
        data: np.ndarray,
        summary: Optional[dict],
        error: Optional[RunError],
    ) -> None:
        self.columns = tuple(columns)
        self.data = data
        self.summary = summary
        self.error = error

    @property
    def verdict(self) -> Optional[str]:
        """The summary's verdict, or None when the input could not be read."""
        return None if self.summary is None else self.summary["verdict"]

    @property
    def t(self) -> np.ndarray:
        """The time of every output point, s."""
        return self["t"]

    def __getitem__(self, name: str) -> np.ndarray:
        try:
            return self.data[:, self.columns.index(name)]
        except ValueError:
            raise KeyError(name) from None

    def __getattr__(self, name: str) -> np.ndarray:
        columns = self.__dict__.get("columns", ())
        if name in columns:
            return self.data[:, columns.index(name)]
        raise AttributeError(name)

    def __len__(self) -> int:
        return self.data.shape[0]

    def __repr__(self) -> str:
        what = self.error.code if self.error else "completed"
        return f"<liftsim.Run {self.verdict}, {what}, {len(self)} points x {len(self.columns)} columns>"


def _assignments(values: Mapping[str, Any]) -> list:
    """The values as the command line's NAME=VALUE texts; a float's repr reads back exactly."""
    if not isinstance(values, Mapping):
        raise TypeError(f"parameters must be a mapping of names to numbers, not {type(values).__name__}")
    texts = []
    for name, value in values.items():
        if not isinstance(name, str):
            raise TypeError(f"parameter names are strings, not {type(name).__name__}")
        if isinstance(value, str):
            texts.append(f"{name}={value}")
        elif isinstance(value, numbers.Real) and not isinstance(value, bool):
            texts.append(f"{name}={float(value)!r}")
        else:
            raise TypeError(f"the value of {name} must be a number, not {type(value).__name__}")
    return texts


def _input_bytes(input: Union[None, str, bytes, "os.PathLike[str]"]) -> Optional[bytes]:
    """A dani.dat's bytes: text holding a line end is the input itself, anything else a path."""
    if input is None:
        return None
    if isinstance(input, bytes):
        return input
    if isinstance(input, str) and "\n" in input:
        return input.encode("utf-8")
    with open(input, "rb") as f:
        return f.read()


def _road_text(road: Any) -> tuple:
    """The profile as the text of a road file, and the name its errors give."""
    if road is None:
        return None, ""
    if isinstance(road, (str, os.PathLike)):
        with open(road, "r", encoding="utf-8") as f:
            return f.read(), os.fspath(road)
    lines = []
    for point in road:
        x, z = point
        lines.append(f"{float(x)!r},{float(z)!r}")
    return "\n".join(lines) + "\n", "road"


def params(values: Mapping[str, Any] = {}, *, input: Union[None, str, bytes, PathLike] = None) -> list:
    """The parameter table, as a list of Param, with the values a run with `values` set and this
    `input` (a dani.dat text or path; the bundled example when None) would use."""
    raw = _liftsim.params(_assignments(values), _input_bytes(input))
    return [Param(**item) for item in raw]


def columns() -> list:
    """The columns a run can return, as a list of Column, in their order."""
    return [Column(**item) for item in _liftsim.columns()]


def run(
    params: Mapping[str, Any] = {},
    *,
    model: Optional[str] = None,
    road: Any = None,
    t_end: Optional[float] = None,
    columns: Union[None, str, Iterable[str]] = None,
    input: Union[None, str, bytes, PathLike] = None,
    files: Optional[PathLike] = None,
    work_limit: Optional[int] = None,
) -> Run:
    """One run of the simulator.

    params   values by name ({"m_4": 1500.0}); numbers, or texts as the command line takes them.
    model    "legacy" (the plain run's model; also None) or "sound" (the study model).
    road     a road profile: the path of an "x,z" CSV file, or a sequence of (x, z) pairs in m.
    t_end    the end time, s (the same as params["t_end"]).
    columns  the columns to return (names, or one comma-separated text); "t" always comes first.
             None: every column.
    input    a dani.dat: its text (holding line ends), bytes, or a path. None: the bundled example.
    files    a folder for the plain run's report and time-history files; None writes no file.
    work_limit  the derivative calls after which a run ends as stalled (the command line's
             --work-limit); 0: no limit. None: the default.

    Returns a Run. Bad names and values raise ValueError before anything runs; a run that fails
    returns its error in the result. Ctrl-C stops the run and raises KeyboardInterrupt.
    """
    if model is None:
        model = "legacy"
    if not isinstance(model, str):
        raise TypeError(f"model must be a string, not {type(model).__name__}")
    values = dict(params)
    if t_end is not None:
        values["t_end"] = t_end
    if columns is None:
        names: list = []
    elif isinstance(columns, str):
        names = [columns]
    else:
        names = list(columns)
    road_text, road_name = _road_text(road)
    input_bytes = _input_bytes(input)
    assignments = _assignments(values)
    fd = -1
    if files is not None:
        fd = os.open(files, os.O_RDONLY | os.O_DIRECTORY | getattr(os, "O_CLOEXEC", 0))
    try:
        raw = _liftsim.run(assignments, input_bytes, road_text, road_name, names, fd, model, work_limit)
    finally:
        if fd >= 0:
            os.close(fd)
    summary = None if raw["summary"] is None else json.loads(raw["summary"])
    error = None if raw["error"] is None else RunError(*raw["error"])
    return Run(raw["columns"], raw["data"], summary, error)
