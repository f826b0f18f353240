# The extension's types.  A new binding adds its names here; the package
# re-exports every public name of _core.
from decimal import Decimal
from os import PathLike
from typing import Any, Iterable, Mapping, Optional, Sequence, Tuple, Union

Number = Union[int, float, Decimal, str]
Numbers = Iterable[Number]
Order = Optional[Number]

__version__: str
CONVERGENCE: Tuple[str, ...]

class Analysis:
    @property
    def h(self) -> list[Decimal]: ...
    @property
    def settings(self) -> dict[str, Any]: ...
    def to_dict(self) -> dict[str, Any]: ...
    def summary(self) -> str: ...
    # h and the per-grid lists as float64 arrays, each real rounded once.
    def _float64(self) -> dict[str, Any]: ...
    # Written in Python (morvantide/_analysis.py).
    def to_numpy(self) -> dict[str, Any]: ...
    def to_frame(self, exact: bool = ...) -> Any: ...
    def _repr_html_(self) -> str: ...
    # Every key of to_dict(): number, name, Th, verdict, the per-grid lists.
    def __getattr__(self, name: str) -> Any: ...

def analyse(h: Numbers, values: Numbers, *, cells: Optional[int] = ..., order: Order = ...,
            order_step: Order = ..., ratio: Optional[str] = ...,
            order_range: Optional[Sequence[Number]] = ..., itmax: Optional[int] = ...,
            tol: Order = ..., target: Order = ..., least_squares: bool = ...) -> Analysis: ...

def analyse_columns(h: Numbers,
                    columns: Union[Mapping[Any, Numbers], Iterable[Tuple[Any, Numbers]]], *,
                    cells: Optional[int] = ..., order: Order = ..., order_step: Order = ...,
                    ratio: Optional[str] = ..., order_range: Optional[Sequence[Number]] = ...,
                    itmax: Optional[int] = ..., tol: Order = ..., target: Order = ...,
                    least_squares: bool = ...) -> list[Analysis]: ...

def analyse_table(path: Union[str, PathLike[str]], *, cells: Optional[int] = ...,
                  order: Order = ..., order_step: Order = ..., ratio: Optional[str] = ...,
                  order_range: Optional[Sequence[Number]] = ..., itmax: Optional[int] = ...,
                  tol: Order = ..., target: Order = ...,
                  least_squares: bool = ...) -> list[Analysis]: ...

class Field:
    # The per-point figures as read-only numpy arrays, named as
    # Analysis.to_dict()["verdict"]["finest"] names them.
    Th: Any
    p_observed: Any
    p_U: Any
    Ti_pU: Any
    Tm1: Any
    U: Any
    U_relative: Any
    U_LS: Any
    convergence: Any
    asymptotic: Any
    gci_dependable: Any
    convergence_names: Tuple[str, ...]
    asymptotic_names: Tuple[str, ...]
    @property
    def summary(self) -> dict[str, Any]: ...
    @property
    def points(self) -> int: ...
    def __len__(self) -> int: ...

def analyse_field(h: Numbers, F: Any, *, cells: Optional[int] = ..., order: Order = ...,
                  order_step: Order = ..., ratio: Optional[str] = ...,
                  order_range: Optional[Sequence[Number]] = ..., itmax: Optional[int] = ...,
                  tol: Order = ..., least_squares: bool = ...) -> Field: ...

def merge_field_summaries(summaries: Iterable[Union[Field, Mapping[str, Any]]]) -> dict[str, Any]: ...
