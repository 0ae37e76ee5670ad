# Type stubs of the zolvane module. Times are in the time unit of the rates
# (rates in 1/time unit); temperatures in degrees Celsius; states 1-based in
# arguments (p0 arrays and result columns are 0-based positions).
from typing import Optional, Sequence, Tuple, List

import numpy as np
import numpy.typing as npt

class ComputationError(RuntimeError):
    """A numerical stage failed (no convergence, lost probability, ...)."""

class Landscape:
    @property
    def n(self) -> int: ...
    @property
    def rates(self) -> np.ndarray:
        """[i, j]: the rate from state i+1 to state j+1 (1/time unit), zero diagonal."""
    @staticmethod
    def from_file(path: str, *, method: str = "I", Temp: float = 37.0, bin: bool = False,
                  nstates: Optional[int] = None, max_decrease: int = 1000000, absorb: int = 0,
                  qorp: Optional[str] = None, hard_rescale: float = 1.0,
                  minimal_rate: Optional[float] = None, times: float = 1.0,
                  num_err: str = "H", feps: float = 1e-15,
                  warnings: bool = False) -> "Landscape": ...
    @staticmethod
    def from_rates(rates: npt.ArrayLike, *, Temp: float = 37.0, absorb: int = 0,
                   qorp: Optional[str] = None, warnings: bool = False) -> "Landscape": ...
    def populations(self, p0: Optional[npt.ArrayLike] = None, *, t0: float = 0.1,
                    t8: float = 1e12, tinc: float = 1.02,
                    times: Optional[npt.ArrayLike] = None
                    ) -> Tuple[np.ndarray, np.ndarray]: ...
    def equilibrium(self, p0: Optional[npt.ArrayLike] = None) -> np.ndarray: ...
    def spectrum(self, p0: Optional[npt.ArrayLike] = None
                 ) -> Tuple[np.ndarray, np.ndarray, Optional[np.ndarray], List[int]]: ...
    def mfpt(self, target: Optional[int] = None) -> np.ndarray:
        """Mean first passage times: to state `target` (vector over the n states),
        or the n x n matrix [i, j] from state i+1 to state j+1 (the program's
        --fpt all). NaN where undefined."""
    def absorbing_times(self) -> np.ndarray:
        """With absorb=k: n - 1 values, entry i the mean time from state i+1 to
        minimum k (time to absorption less that from k; 0 at k)."""
    def reduce(self, k: int) -> "Landscape":
        """Quasi-stationary reduction to states 1..k (the program's -n)."""
