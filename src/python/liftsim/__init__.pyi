# Type stubs of the package liftsim.
import os
from typing import Any, Iterable, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

_Path = Union[str, os.PathLike[str]]
_Input = Union[None, str, bytes, os.PathLike[str]]

__all__ = ["Column", "Param", "Run", "RunError", "columns", "params", "run"]

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

def params(values: Mapping[str, Union[float, str]] = ..., *, input: _Input = ...) -> list[Param]: ...
def columns() -> list[Column]: ...
def run(
    params: Mapping[str, Union[float, str]] = ...,
    *,
    model: Optional[str] = ...,
    road: Union[None, _Path, Iterable[tuple[float, float]]] = ...,
    t_end: Optional[float] = ...,
    columns: Union[None, str, Iterable[str]] = ...,
    input: _Input = ...,
    files: Optional[_Path] = ...,
    work_limit: Optional[int] = ...,
) -> Run: ...
