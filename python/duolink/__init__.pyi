from enum import Enum
from os import PathLike
from typing import Any, Iterable, Mapping, Sequence

import numpy as np
import numpy.typing as npt

__version__: str
MAX_PAIRS: int

_Values = npt.ArrayLike
_Path = str | PathLike[str]

class Outcome(str, Enum):
    RECALLED = "recalled"
    LIMIT = "limit"
    ERROR = "error"
    TERMINATED = "terminated"

class Rows(np.ndarray):
    provenance: dict[str, Any]
    def to_pandas(self) -> Any: ...
    def to_csv(self, path: _Path | None = ...) -> str: ...

class Training:
    outcome: Outcome
    presentations: int
    final_r2: float
    final_r2_text: str
    missed_pairs: int
    failure: str
    stopped: bool
    matrix: npt.NDArray[np.float64]
    cells: npt.NDArray[np.float64]
    stats: Rows
    provenance: dict[str, Any]
    def recall(self, A: _Values) -> npt.NDArray[np.float64]: ...
    def recall_table(self, tol: float | None = ...) -> Rows: ...
    def noise(
        self,
        *,
        sigma: Sequence[float] = ...,
        trials: int = ...,
        seed: int = ...,
        tol: float | None = ...,
        jobs: int = ...,
    ) -> Rows: ...

def train(
    A: _Values,
    B: _Values,
    *,
    option: int = ...,
    max_presentations: int = ...,
    beta: float = ...,
    limit: float = ...,
    transfer: int = ...,
    unity: int = ...,
    tol: float = ...,
    simulation: _Values | None = ...,
    report: _Path | None = ...,
) -> Training: ...
def capacity(
    *,
    pairs: int = ...,
    sets: int = ...,
    density: float = ...,
    seed: int = ...,
    jobs: int = ...,
    shard: str | tuple[int, int] = ...,
    shape: tuple[int, int] = ...,
    option: int = ...,
    max_presentations: int = ...,
    beta: float = ...,
    limit: float = ...,
    transfer: int = ...,
    unity: int = ...,
    tol: float = ...,
    simulation: _Values | None = ...,
) -> Rows: ...
def sweep(
    A: _Values | None = ...,
    B: _Values | None = ...,
    *,
    sweep: Mapping[str, str | Iterable[float]] | Sequence[str] | str,
    patterns: _Path | None = ...,
    jobs: int = ...,
    shard: str | tuple[int, int] = ...,
    option: int = ...,
    max_presentations: int = ...,
    beta: float = ...,
    limit: float = ...,
    transfer: int = ...,
    unity: int = ...,
    tol: float = ...,
    simulation: _Values | None = ...,
) -> Rows: ...
def read_patterns(path: _Path) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
def write_patterns(path: _Path, A: _Values, B: _Values) -> None: ...
def read_matrix(path: _Path, *, exact: bool | None = ...) -> npt.NDArray[np.float64]: ...
def write_matrix(path: _Path, cells: _Values | Training, *, exact: bool | None = ..., unity: int | None = ...) -> None: ...
def field_text(value: float) -> str: ...
