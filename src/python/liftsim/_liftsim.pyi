# Type stubs of the compiled part of liftsim (use the package's functions instead).
from typing import Any, Optional, Union

import numpy as np

# A case: "assignments" (list of NAME=VALUE), "input" (bytes or None), "road" (None or
# (bytes, name)), "drive" (None, "off" or (bytes, name)), "brake" (None, "hold" or (bytes, name)),
# "model", "work_limit", "slide_limit", "lift_force", "stop_when_decided".
_Case = dict[str, Any]
# {"rows": int, "axes": [(name, values)], "columns": [(name, array)] (not with check_only)}
_Study = dict[str, Any]

def run(case: _Case, columns: list[str], grid: Optional[float], files_fd: int,
        convergence: bool) -> dict[str, Any]: ...
def sweep(case: _Case, vary: list[str], jobs: int, shard: Optional[str],
          check_only: bool) -> _Study: ...
def capacity(case: _Case, heights: Optional[str], across: Optional[str],
             mass: Union[str, tuple[float, float]], resolution: float, convergence: bool, jobs: int,
             shard: Optional[str], check_only: bool) -> _Study: ...
def tilt_test(case: _Case, heights: Optional[str], resolution: float, margin: float,
              require: Optional[float], jobs: int, shard: Optional[str],
              check_only: bool) -> _Study: ...
def params(assignments: list[str], input: Optional[bytes]) -> list[dict[str, Any]]: ...
def columns() -> list[dict[str, Any]]: ...

example_input: bytes
verdicts: tuple[str, ...]
outcomes: tuple[str, ...]
