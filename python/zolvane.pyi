# Type stubs of the zolvane module. States are 0-based everywhere (the
# command line's state k is index k - 1); times in the time unit of the
# rates (rates in 1/time unit); temperatures in degrees Celsius. Every array
# returned is a new one the caller owns.
import os
from typing import Callable, Iterable, List, Optional, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str
verbose: bool  # the default of every call's verbose=

States = Union[int, Iterable[int]]
Progress = Optional[Callable[[str, Optional[float]], object]]
Path = Union[str, os.PathLike]

class ComputationError(RuntimeError):
    """A numerical stage failed (no convergence, lost probability, ...)."""

class ZolvaneWarning(UserWarning): ...
class StiffnessWarning(ZolvaneWarning):
    """Double precision does not resolve the landscape; the message names the rerun."""
class BalanceWarning(ZolvaneWarning): ...
class ErgodicityWarning(ZolvaneWarning): ...
class NumericalWarning(ZolvaneWarning): ...

class Landscape:
    @property
    def n(self) -> int: ...
    @property
    def absorbing_state(self) -> Optional[int]: ...
    @property
    def rates(self) -> np.ndarray:
        """[i, j]: the rate from state i to state j (1/time unit), zero diagonal."""
    @property
    def generator(self) -> np.ndarray:
        """Q: Q[i, j] the rate i -> j, Q[i, i] = -sum of row i (dp/dt = p Q)."""
    @staticmethod
    def from_file(path: Path, *, method: str = "I", temperature: float = 37.0,
                  binary: bool = False, nstates: Optional[int] = None,
                  max_decrease: int = 1000000, absorb: Optional[int] = None,
                  qorp: Optional[Path] = None, hard_rescale: float = 1.0,
                  minimal_rate: Optional[float] = None, rate_scale: float = 1.0,
                  num_err: str = "H", feps: float = 1e-15,
                  verbose: Optional[bool] = None) -> "Landscape": ...
    @staticmethod
    def from_rates(rates: npt.ArrayLike, *, temperature: float = 37.0,
                   absorb: Optional[int] = None, qorp: Optional[Path] = None,
                   verbose: Optional[bool] = None) -> "Landscape": ...
    @staticmethod
    def from_energies(energies: npt.ArrayLike, barriers: npt.ArrayLike, *,
                      temperature: float = 37.0,
                      verbose: Optional[bool] = None) -> "Landscape": ...
    def populations(self, p0: Optional[npt.ArrayLike] = None, *, t0: float = 0.1,
                    t8: float = 1e12, tinc: float = 1.02,
                    times: Optional[npt.ArrayLike] = None, eigensolver: str = "auto",
                    propagator: str = "auto", progress: Progress = None,
                    verbose: Optional[bool] = None) -> Tuple[np.ndarray, np.ndarray]: ...
    def equilibrium(self, p0: Optional[npt.ArrayLike] = None, *,
                    verbose: Optional[bool] = None) -> np.ndarray: ...
    def spectrum(self, p0: Optional[npt.ArrayLike] = None, *, eigensolver: str = "auto",
                 progress: Progress = None, verbose: Optional[bool] = None
                 ) -> Tuple[np.ndarray, np.ndarray, Optional[np.ndarray], List[int]]: ...
    def timescales(self, p0: Optional[npt.ArrayLike] = None, *, eigensolver: str = "auto",
                   progress: Progress = None, verbose: Optional[bool] = None) -> np.ndarray:
        """-1/lambda of the non-stationary modes, slowest first."""
    @overload
    def mfpt(self, *, progress: Progress = None, verbose: Optional[bool] = None) -> np.ndarray:
        """The n x n matrix, [i, j] the mean time from state i to state j."""
    @overload
    def mfpt(self, target: States, *, progress: Progress = None,
             verbose: Optional[bool] = None) -> np.ndarray:
        """From every state into the set `target` (0 on it; inf where it may never come)."""
    @overload
    def mfpt(self, source: States, target: States, *, progress: Progress = None,
             verbose: Optional[bool] = None) -> float:
        """From the set `source` (starts weighted by equilibrium) into `target`."""
    def committor(self, A: States, B: States, *, backward: bool = False,
                  progress: Progress = None, verbose: Optional[bool] = None) -> np.ndarray:
        """Forward: P(enter B before A) from each state; backward: P(came last from A)."""
    def absorbing_times(self, *, progress: Progress = None,
                        verbose: Optional[bool] = None) -> np.ndarray:
        """With absorb=k: n - 1 values, entry i the mean time from state i to
        minimum k (time to absorption less that from k; 0 at k)."""
    def reduce(self, k: int, *, progress: Progress = None,
               verbose: Optional[bool] = None) -> "Landscape":
        """Quasi-stationary reduction to states 0..k-1 (the program's -n k)."""
    def __getstate__(self) -> tuple: ...
    def __setstate__(self, state: tuple) -> None: ...
