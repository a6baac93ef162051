# Type stubs of the package liftsim.
import os
from typing import Any, Iterable, Iterator, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

_Path = Union[str, os.PathLike[str]]
_Input = Union[None, str, bytes, os.PathLike[str]]
_Pairs = Union[_Path, Iterable[tuple[float, float]]]
_Values = Union[str, float, Iterable[float]]  # "FROM:TO:STEP", "V1,V2,...", numbers
_Shard = Union[None, str, tuple[int, int]]

__all__ = [
    "Capacity", "Column", "Param", "Run", "RunError", "Sweep", "TiltTest", "capacity", "columns",
    "dask_sweep", "params", "run", "sweep", "tilt_test",
]

VERDICTS: tuple[str, ...]
OUTCOMES: tuple[str, ...]

class Param:
    name: str
    value: float
    unit: str
    source: str
    meaning: str
    range: str
    record: Optional[int]
    built_in: Optional[float]
    settable: bool
    echo_only: bool
    def __init__(self, name: str, value: float, unit: str, source: str, meaning: str, range: str,
                 record: Optional[int], built_in: Optional[float], settable: bool,
                 echo_only: bool) -> None: ...

class Column:
    name: str
    unit: str
    group: str
    meaning: str
    def __init__(self, name: str, unit: str, group: str, meaning: str) -> None: ...

class RunError:
    code: str
    message: str
    statement: str
    file: str
    def __init__(self, code: str, message: str, statement: str, file: str) -> None: ...

class Run:
    columns: tuple[str, ...]
    data: npt.NDArray[np.float64]
    summary: Optional[dict[str, Any]]
    error: Optional[RunError]
    def __init__(self, columns: Sequence[str], data: npt.NDArray[np.float64],
                 summary: Optional[dict[str, Any]], error: Optional[RunError]) -> None: ...
    @property
    def verdict(self) -> Optional[str]: ...
    @property
    def t(self) -> npt.NDArray[np.float64]: ...
    def __getitem__(self, name: str) -> npt.NDArray[np.float64]: ...
    def __getattr__(self, name: str) -> npt.NDArray[np.float64]: ...
    def __len__(self) -> int: ...
    def to_pandas(self) -> Any: ...

class _Table:
    columns: tuple[str, ...]
    axes: dict[str, npt.NDArray[np.float64]]
    def __getitem__(self, name: str) -> np.ndarray: ...
    def __getattr__(self, name: str) -> np.ndarray: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[str]: ...
    def to_pandas(self) -> Any: ...

class Sweep(_Table):
    @property
    def shape(self) -> tuple[int, ...]: ...
    def grid(self, name: str) -> np.ndarray: ...

class Capacity(_Table): ...
class TiltTest(_Table): ...

def params(values: Mapping[str, Union[float, str]] = ..., *, input: _Input = ...) -> list[Param]: ...
def columns() -> list[Column]: ...
def run(
    params: Mapping[str, Union[float, str]] = ...,
    *,
    model: Optional[str] = ...,
    road: Optional[_Pairs] = ...,
    drive: Union[None, str, _Pairs] = ...,
    brake: Union[None, str, _Pairs] = ...,
    t_end: Optional[float] = ...,
    grid: Optional[float] = ...,
    columns: Union[None, str, Iterable[str]] = ...,
    input: _Input = ...,
    files: Optional[_Path] = ...,
    work_limit: Optional[int] = ...,
    slide_limit: float = ...,
    lift_force: float = ...,
    stop_when_decided: bool = ...,
    convergence: bool = ...,
) -> Run: ...
def sweep(
    vary: Mapping[str, _Values],
    *,
    base: Mapping[str, Union[float, str]] = ...,
    jobs: Optional[int] = ...,
    model: str = ...,
    road: Optional[_Pairs] = ...,
    drive: Union[None, str, _Pairs] = ...,
    brake: Union[None, str, _Pairs] = ...,
    input: _Input = ...,
    work_limit: Optional[int] = ...,
    slide_limit: float = ...,
    lift_force: float = ...,
    stop_when_decided: bool = ...,
    shard: _Shard = ...,
    client: Any = ...,
    shards: Optional[int] = ...,
) -> Sweep: ...
def dask_sweep(client: Any, vary: Mapping[str, _Values], *, shards: Optional[int] = ...,
               **options: Any) -> Sweep: ...
def capacity(
    heights: Optional[_Values] = ...,
    *,
    param: str = ...,
    across: Optional[Mapping[str, _Values]] = ...,
    mass: Union[str, tuple[float, float]] = ...,
    resolution: float = ...,
    convergence: bool = ...,
    base: Mapping[str, Union[float, str]] = ...,
    jobs: Optional[int] = ...,
    model: str = ...,
    road: Optional[_Pairs] = ...,
    drive: Union[None, str, _Pairs] = ...,
    brake: Union[None, str, _Pairs] = ...,
    input: _Input = ...,
    work_limit: Optional[int] = ...,
    slide_limit: float = ...,
    lift_force: float = ...,
    stop_when_decided: bool = ...,
    shard: _Shard = ...,
    client: Any = ...,
    shards: Optional[int] = ...,
) -> Capacity: ...
def tilt_test(
    heights: Optional[_Values] = ...,
    *,
    param: str = ...,
    resolution: float = ...,
    margin: float = ...,
    require: Optional[float] = ...,
    base: Mapping[str, Union[float, str]] = ...,
    jobs: Optional[int] = ...,
    model: str = ...,
    road: Optional[_Pairs] = ...,
    input: _Input = ...,
    work_limit: Optional[int] = ...,
    slide_limit: float = ...,
    lift_force: float = ...,
    stop_when_decided: bool = ...,
    shard: _Shard = ...,
    client: Any = ...,
    shards: Optional[int] = ...,
) -> TiltTest: ...
