# Type stubs of the compiled part of liftsim (use the package's functions instead).
from typing import Any, Optional

def run(assignments: list[str], input: Optional[bytes], road_text: Optional[str], road_name: str,
        columns: list[str], files_fd: int, model: str,
        work_limit: Optional[int]) -> dict[str, Any]: ...
def params(assignments: list[str], input: Optional[bytes]) -> list[dict[str, Any]]: ...
def columns() -> list[dict[str, Any]]: ...

example_input: bytes
