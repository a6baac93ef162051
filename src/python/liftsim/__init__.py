"""liftsim: the planar dynamics of a lift truck, from Python.

    >>> import liftsim
    >>> r = liftsim.run({"m_4": 1500.0, "zc_4": 1.2})
    >>> r.verdict                   # 'stable', 'wheel_lift', 'tip_over', ...
    >>> r.t, r["F_kp"]              # NumPy arrays, one value per output point
    >>> r.summary["min_F_kp"]       # the summary the command line's --summary writes
    >>> s = liftsim.sweep({"m_4": "500:2500:100", "zc_4": [0.5, 1.0, 1.5]}, base={"t_end": 3.0})
    >>> s.verdict, s.min_F_kp       # one value per case, in case order
    >>> s.to_pandas()               # a DataFrame, where pandas is installed

Runs start from the bundled example's dani.dat unless given another input. Parameters are set by
the names `liftsim.params()` lists, and checked as the command line checks `--set`: a bad name or
value raises ValueError with the command line's message. A run that fails (a floating-point
fault, a stalled integration) is an answer, not an exception: its `error` says why.

Python's lock is released while a run or study computes, so threads may run cases side by side;
studies run on the library's own threads. Ctrl-C stops a run or study within a fraction of a
second and raises KeyboardInterrupt. Results and tables pickle, so multiprocessing and Dask can
ship them; `sweep(..., client=...)` runs a sweep on a Dask cluster.
"""

from __future__ import annotations

import dataclasses
import json
import numbers
import os
from typing import Any, Iterable, Mapping, Optional, Sequence, Union

import numpy as np

from . import _liftsim

__all__ = [
    "Capacity", "Column", "Param", "Run", "RunError", "Sweep", "TiltTest", "capacity", "columns",
    "dask_sweep", "params", "run", "sweep", "tilt_test",
]

PathLike = Union[str, "os.PathLike[str]"]

#: The verdicts, in the library's order (the categories of to_pandas()).
VERDICTS = tuple(_liftsim.verdicts)
#: The outcomes of a run.
OUTCOMES = tuple(_liftsim.outcomes)


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


def _pandas():
    try:
        import pandas
    except ImportError as e:
        raise ImportError("to_pandas() needs pandas (Debian: python3-pandas)") from e
    return pandas


class Run:
    """The results of one run.

    `columns` names the columns; `data` holds them as one float64 array of shape
    (rows, columns), and `run[name]` (or `run.name` for names that are identifiers, such
    as `run.t` or `run.F_kp`) is one column as a view of it. The rows are the output points, or
    the times of the grid when the run was given one. `summary` is the dict of the command
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
        """The time of every row, s."""
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

    def to_pandas(self):
        """The rows as a pandas DataFrame, a column per column (needs pandas)."""
        return _pandas().DataFrame(self.data, columns=list(self.columns))

    def __repr__(self) -> str:
        what = self.error.code if self.error else "completed"
        return f"<liftsim.Run {self.verdict}, {what}, {len(self)} rows x {len(self.columns)} columns>"


class _Table:
    """Rows of a study as columns: one NumPy array per column, every row one case, in case
    order. `columns` names them; `table[name]` (or `table.name`) is one. Numbers are float64
    with NaN where a row has none, counts int64, texts object arrays of str ("" for none).
    `axes` maps each varied parameter to the values it takes, in order."""

    _categories: Mapping[str, tuple] = {}

    def __init__(self, raw: Mapping[str, Any]) -> None:
        self._data = {name: array for name, array in raw["columns"]}
        self.columns = tuple(name for name, _ in raw["columns"])
        self.axes = {name: values for name, values in raw["axes"]}

    def __getitem__(self, name: str) -> np.ndarray:
        return self._data[name]

    def __getattr__(self, name: str) -> np.ndarray:
        data = self.__dict__.get("_data", {})
        if name in data:
            return data[name]
        raise AttributeError(name)

    def __len__(self) -> int:
        return len(self._data["case"])

    def __iter__(self):
        return iter(self.columns)

    def to_pandas(self):
        """The rows as a pandas DataFrame (needs pandas); verdicts and outcomes as categories."""
        pd = _pandas()
        frame = pd.DataFrame({name: self._data[name] for name in self.columns})
        for name, categories in self._categories.items():
            if name in frame:
                frame[name] = pd.Categorical(frame[name], categories=categories)
        return frame

    def __repr__(self) -> str:
        axes = ", ".join(f"{n}: {len(v)}" for n, v in self.axes.items())
        return f"<liftsim.{type(self).__name__} {len(self)} rows ({axes}) x {len(self.columns)} columns>"


class Sweep(_Table):
    """A sweep's cases: `case` (the number of the case in the whole sweep), the varied values,
    then the columns of the command line's sweep file (`outcome`, `verdict`, `t_reached`,
    `min_F_kp`, `t_min_F_kp`, `lift_off_t`, `max_abs_Fi_3`, `load_travel`, `restarts`,
    `derivative_calls`, `error`, `message`) and the rest of each case's summary (`t_end`,
    `output_points`, `F_kp_0`, `F_tp_0`, `lifted_at_end`, `tip_t`, `decided_t`,
    `t_max_abs_Fi_3`, `max_abs_Fi_1`, `travel`, `min_F_13`, `max_F_13`, `max_F_12`,
    `legacy_arm_pitch`, `out_of_model`)."""

    _categories = {"outcome": OUTCOMES, "verdict": VERDICTS}

    @property
    def shape(self) -> tuple:
        """The number of values of each axis, first axis first."""
        return tuple(len(v) for v in self.axes.values())

    def grid(self, name: str) -> np.ndarray:
        """A column as an array of `shape`: grid(name)[i, j] is the case with the first axis's
        i-th value and the second's j-th. Only for a whole sweep, not a shard of one."""
        column = self._data[name]
        if len(column) != int(np.prod(self.shape)):
            raise ValueError(f"grid() needs every case of the sweep; this one holds {len(column)}")
        return column.reshape(self.shape)


class Capacity(_Table):
    """A capacity chart, the columns of the command line's file: per height (and value drawn
    across) `case`, the height, the value across, `capacity_stable` and `capacity_no_tip` (kg,
    NaN where no mass of the range qualifies or all do), `min_F_kp_stable`, `min_F_kp_no_tip`,
    `stable_note`, `no_tip_note`, `runs`, and with convergence checks `shift_stable` and
    `shift_no_tip` (kg)."""


class TiltTest(_Table):
    """Tilting-table tests, the columns of the command line's file: per height `case`, the
    height, `critical_slope` (the forward slope in per cent at which the braked truck tips; NaN
    where `note` says why there is none), `rigid_slope` (the rigid-body estimate),
    `below_verdict` and `above_verdict` (the verdicts of runs held a margin below and above it),
    `pass` ("yes" or "no" against a required slope, "" without one; read it as t["pass"]),
    `note`, `runs`."""

    _categories = {"below_verdict": VERDICTS, "above_verdict": VERDICTS}


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


def _pairs(value: Any, what: str, first: str) -> Optional[tuple]:
    """A file of pairs as (its bytes, the name its errors give): read from a path, or made from
    a sequence of pairs (one line each, so that an error's line number is the pair's, from 1)."""
    if value is None:
        return None
    if isinstance(value, (str, os.PathLike)):
        with open(value, "rb") as f:
            return f.read(), os.fspath(value)
    lines = []
    try:
        for point in value:
            a, b = point
            lines.append(f"{float(a)!r},{float(b)!r}")
    except (TypeError, ValueError):
        raise TypeError(f"{what} must be a path or a sequence of ({first}, value) pairs") from None
    return ("\n".join(lines) + "\n").encode(), what


def _case(params, *, model, road, drive, brake, input, work_limit, slide_limit, lift_force,
          stop_when_decided) -> dict:
    """A case as the compiled module takes it: plain values only, so that it pickles."""
    if not isinstance(model, str):
        raise TypeError(f"model must be a string, not {type(model).__name__}")
    if work_limit is not None and (isinstance(work_limit, bool) or not isinstance(work_limit, numbers.Integral)):
        raise TypeError(f"work_limit must be a whole number, not {type(work_limit).__name__}")
    return {
        "assignments": _assignments(params),
        "input": _input_bytes(input),
        "road": _pairs(road, "road", "x"),
        "drive": "off" if isinstance(drive, str) and drive == "off" else _pairs(drive, "drive", "t"),
        "brake": "hold" if isinstance(brake, str) and brake == "hold" else _pairs(brake, "brake", "t"),
        "model": model,
        "work_limit": None if work_limit is None else int(work_limit),
        "slide_limit": float(slide_limit),
        "lift_force": float(lift_force),
        "stop_when_decided": bool(stop_when_decided),
    }


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
    drive: Any = None,
    brake: Any = None,
    t_end: Optional[float] = None,
    grid: Optional[float] = None,
    columns: Union[None, str, Iterable[str]] = None,
    input: Union[None, str, bytes, PathLike] = None,
    files: Optional[PathLike] = None,
    work_limit: Optional[int] = None,
    slide_limit: float = 0.05,
    lift_force: float = 0.0,
    stop_when_decided: bool = False,
    convergence: bool = False,
) -> Run:
    """One run of the simulator.

    params   values by name ({"m_4": 1500.0}); numbers, or texts as the command line takes them.
             The scenario is set by name too: slope (%), v_0 (m/s), x_load (m), x_0 (m).
    model    "legacy" (the plain run's model; also None) or "sound" (the study model).
    road     a road profile: the path of an "x,z" CSV file, or a sequence of (x, z) pairs in m.
    drive    the torque on the traction-wheel shaft instead of the engine law: the path of a
             "t,torque" CSV file or a sequence of (t, N*m) pairs, linear between them; "off" for
             none (the command line's --drive).
    brake    the brake's torque limit over time, N*m >= 0, as a path or pairs; "hold" for a brake
             that holds the wheels from the start (--brake).
    t_end    the end time, s (the same as params["t_end"]).
    grid     rows at t_start + k*grid, s, interpolated between output points as the command
             line's --grid writes them (at most 10^7 rows); None: a row per output point.
    columns  the columns to return (names, or one comma-separated text); "t" always comes first.
             None: every column.
    input    a dani.dat: its text (holding line ends), bytes, or a path. None: the bundled example.
    files    a folder for the plain run's report and time-history files; None writes no file.
    work_limit  the derivative calls after which a run ends as stalled (the command line's
             --work-limit); 0: no limit. None: the default.
    slide_limit, lift_force  the verdict's thresholds, m and N (--slide-limit, --lift-force).
    stop_when_decided  end the run once its verdict cannot change (--stop-when-decided).
    convergence  run the case again with a tenth of tol and h_max and report in the summary's
             "convergence" how each figure moved and whether the verdict holds (--convergence).

    Returns a Run. Bad names and values raise ValueError before anything runs; a run that fails
    returns its error in the result. Ctrl-C stops the run and raises KeyboardInterrupt.
    """
    values = dict(params)
    if t_end is not None:
        values["t_end"] = t_end
    if columns is None:
        names: list = []
    elif isinstance(columns, str):
        names = [columns]
    else:
        names = list(columns)
    case = _case(values, model="legacy" if model is None else model, road=road, drive=drive,
                 brake=brake, input=input, work_limit=work_limit, slide_limit=slide_limit,
                 lift_force=lift_force, stop_when_decided=stop_when_decided)
    step = None if grid is None else float(grid)
    fd = -1
    if files is not None:
        fd = os.open(files, os.O_RDONLY | os.O_DIRECTORY | getattr(os, "O_CLOEXEC", 0))
    try:
        raw = _liftsim.run(case, names, step, fd, bool(convergence))
    finally:
        if fd >= 0:
            os.close(fd)
    summary = None if raw["summary"] is None else json.loads(raw["summary"])
    error = None if raw["error"] is None else RunError(*raw["error"])
    return Run(raw["columns"], raw["data"], summary, error)


def _axis(name: Any, values: Any) -> str:
    """One axis as --vary takes it: NAME=FROM:TO:STEP or NAME=V1,V2,... (numbers as repr, which
    reads back as the same double)."""
    if not isinstance(name, str):
        raise TypeError(f"parameter names are strings, not {type(name).__name__}")
    if isinstance(values, str):
        return f"{name}={values}"
    if isinstance(values, numbers.Real) and not isinstance(values, bool):
        values = [values]
    try:
        items = list(values)
    except TypeError:
        raise TypeError(f"the values of {name} must be numbers or a 'FROM:TO:STEP' text, "
                        f"not {type(values).__name__}") from None
    for v in items:
        if isinstance(v, bool) or not isinstance(v, numbers.Real):
            raise TypeError(f"the values of {name} must be numbers, not {type(v).__name__}")
    return f"{name}=" + ",".join(repr(float(v)) for v in items)


def _heights(param: str, heights: Any) -> Optional[str]:
    """The heights as --vary takes them; None for the base case's own."""
    return None if heights is None else _axis(param, heights)


def _jobs(jobs: Optional[int]) -> int:
    if jobs is None:
        return 0
    if isinstance(jobs, bool) or not isinstance(jobs, numbers.Integral):
        raise TypeError(f"jobs must be a whole number or None, not {type(jobs).__name__}")
    return int(jobs)


def _shard(shard: Any) -> Optional[str]:
    """(K, N) or "K/N" as --shard takes it."""
    if shard is None or isinstance(shard, str):
        return shard
    k, n = shard
    return f"{k}/{n}"


def _study(kind: str, study: str, case: dict, args: tuple, jobs, shard, client, shards) -> _Table:
    job_count = _jobs(jobs)
    shard_text = _shard(shard)
    if client is None:
        if shards is not None:
            raise ValueError("shards= splits a study among the workers of client=; give both")
        raw = getattr(_liftsim, study)(case, *args, jobs=job_count, shard=shard_text, check_only=False)
    else:
        if shard is not None:
            raise ValueError("shard= and client= do not go together: the client's study is split "
                             "into shards= shards")
        raw = _on_dask(client, study, case, args, 1 if jobs is None else job_count, shards)
    return kind(raw)


def _dask_shard(study: str, case: dict, args: tuple, jobs: int, shard: str) -> dict:
    """One shard of a study, run by a Dask worker: the compiled module's answer as it is."""
    return getattr(_liftsim, study)(case, *args, jobs=jobs, shard=shard, check_only=False)


def _on_dask(client, study: str, case: dict, args: tuple, jobs: int, shards: Optional[int]) -> dict:
    """The study in `shards` shards on the client's workers, merged back into case order."""
    # Everything is checked here, before any task goes out.
    plan = getattr(_liftsim, study)(case, *args, jobs=jobs, shard=None, check_only=True)
    total = plan["rows"]
    if shards is None:
        threads = sum(client.nthreads().values())
        shards = max(1, min(total, 4 * max(1, threads)))
    if isinstance(shards, bool) or not isinstance(shards, numbers.Integral) or shards < 1:
        raise ValueError(f"shards must be a whole number >= 1, not {shards!r}")
    shards = int(min(shards, total))
    futures = [client.submit(_dask_shard, study, case, args, jobs, f"{k}/{shards}", pure=False)
               for k in range(1, shards + 1)]
    try:
        parts = client.gather(futures)
    except BaseException:
        # Ctrl-C, or a worker lost: nothing more is started (a shard under way runs to its end).
        client.cancel(futures)
        raise
    names = [name for name, _ in parts[0]["columns"]]
    merged = {name: np.concatenate([dict(p["columns"])[name] for p in parts]) for name in names}
    order = np.argsort(merged["case"], kind="stable")
    return {
        "rows": total,
        "axes": plan["axes"],
        "columns": [(name, merged[name][order]) for name in names],
    }


def sweep(
    vary: Mapping[str, Any],
    *,
    base: Mapping[str, Any] = {},
    jobs: Optional[int] = None,
    model: str = "sound",
    road: Any = None,
    drive: Any = None,
    brake: Any = None,
    input: Union[None, str, bytes, PathLike] = None,
    work_limit: Optional[int] = None,
    slide_limit: float = 0.05,
    lift_force: float = 0.0,
    stop_when_decided: bool = True,
    shard: Union[None, str, tuple] = None,
    client: Any = None,
    shards: Optional[int] = None,
) -> Sweep:
    """A sweep, as the command line's `liftsim sweep`: the base case with parameters varied.

    vary     {name: values}: a list (or array) of numbers, or a "FROM:TO:STEP" or "V1,V2,..."
             text as --vary takes it. The cases are every combination, the first name varying
             slowest.
    base     the values every case starts from, by name, as run()'s params.
    jobs     threads (None: as many as the CPUs this process may use; at most the cases). With
             `client`, the threads of each shard (None: 1; the workers' threads run the shards).
    model, road, drive, brake, input, work_limit, slide_limit, lift_force, stop_when_decided
             as for run(); a sweep's model is "sound" and its runs end once decided by default.
    shard    (K, N) or "K/N": only the cases i with i mod N = K - 1 (--shard).
    client   a dask.distributed Client: the sweep is split into `shards` shards (None: four per
             worker thread) run on its workers; the answer is the same, in case order.

    Returns a Sweep. Everything the command line refuses as a usage error raises ValueError with
    its message before any case runs. Ctrl-C stops every case under way and raises
    KeyboardInterrupt.
    """
    if not isinstance(vary, Mapping):
        raise TypeError(f"vary must be a mapping of names to values, not {type(vary).__name__}")
    axes = [_axis(name, values) for name, values in vary.items()]
    case = _case(base, model=model, road=road, drive=drive, brake=brake, input=input,
                 work_limit=work_limit, slide_limit=slide_limit, lift_force=lift_force,
                 stop_when_decided=stop_when_decided)
    return _study(Sweep, "sweep", case, (axes,), jobs, shard, client, shards)


def dask_sweep(client: Any, vary: Mapping[str, Any], *, shards: Optional[int] = None, **options) -> Sweep:
    """sweep(vary, client=client, shards=shards, **options): the sweep on a Dask cluster."""
    return sweep(vary, client=client, shards=shards, **options)


def capacity(
    heights: Any = None,
    *,
    param: str = "zc_4",
    across: Optional[Mapping[str, Any]] = None,
    mass: Union[str, tuple] = (1.0, 5000.0),
    resolution: float = 1.0,
    convergence: bool = False,
    base: Mapping[str, Any] = {},
    jobs: Optional[int] = None,
    model: str = "sound",
    road: Any = None,
    drive: Any = None,
    brake: Any = None,
    input: Union[None, str, bytes, PathLike] = None,
    work_limit: Optional[int] = None,
    slide_limit: float = 0.05,
    lift_force: float = 0.0,
    stop_when_decided: bool = True,
    shard: Union[None, str, tuple] = None,
    client: Any = None,
    shards: Optional[int] = None,
) -> Capacity:
    """The load-capacity chart, as the command line's `liftsim capacity`: for each height the
    largest load mass whose run is stable and the largest that does not tip over.

    heights  the values of `param` (the load's height zc_4 unless said otherwise): numbers, or
             a "FROM:TO:STEP" text. None: the base case's own zc_4.
    across   {name: values}: a second parameter the chart is drawn across (the load centre
             x_load makes the plate of load centre and lift height); the rows are every pair,
             the height varying slowest.
    mass     the masses searched, kg: (lo, hi) or "LO:HI".
    resolution  the step of the masses searched, kg.
    convergence  search each capacity again with a tenth of tol and h_max; adds the shifts.
    The other arguments as for sweep().
    """
    if isinstance(mass, str):
        masses: Any = mass
    else:
        lo, hi = mass
        masses = (float(lo), float(hi))
    case = _case(base, model=model, road=road, drive=drive, brake=brake, input=input,
                 work_limit=work_limit, slide_limit=slide_limit, lift_force=lift_force,
                 stop_when_decided=stop_when_decided)
    if across is None:
        second = None
    elif isinstance(across, Mapping) and len(across) == 1:
        second = _axis(*next(iter(across.items())))
    else:
        raise TypeError("across must be a mapping of one name to its values")
    args = (_heights(param, heights), second, masses, float(resolution), bool(convergence))
    return _study(Capacity, "capacity", case, args, jobs, shard, client, shards)


def tilt_test(
    heights: Any = None,
    *,
    param: str = "zc_4",
    resolution: float = 0.01,
    margin: float = 0.1,
    require: Optional[float] = None,
    base: Mapping[str, Any] = {},
    jobs: Optional[int] = None,
    model: str = "sound",
    road: Any = None,
    input: Union[None, str, bytes, PathLike] = None,
    work_limit: Optional[int] = None,
    slide_limit: float = 0.05,
    lift_force: float = 0.0,
    stop_when_decided: bool = True,
    shard: Union[None, str, tuple] = None,
    client: Any = None,
    shards: Optional[int] = None,
) -> TiltTest:
    """The tilting-table test at each height, as the command line's `liftsim tilt-test`: the
    forward slope, in per cent, at which the truck standing braked on a tilted table tips over
    its front wheels, found to `resolution`, and what runs held `margin` below and above it do.
    The drive is off and the brake holds. heights as for capacity(); `require` a slope the truck
    must stand on (each row then passes or not). The other arguments as for sweep()."""
    case = _case(base, model=model, road=road, drive=None, brake=None, input=input,
                 work_limit=work_limit, slide_limit=slide_limit, lift_force=lift_force,
                 stop_when_decided=stop_when_decided)
    args = (_heights(param, heights), float(resolution), float(margin),
            None if require is None else float(require))
    return _study(TiltTest, "tilt_test", case, args, jobs, shard, client, shards)
