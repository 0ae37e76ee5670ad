"""Times of the Python module: what the quiet machinery adds to a call, the
set functions (committor, first passage times into a set, equilibrium) next
to a dense numpy solve of the same size, and how soon Ctrl-C stops a
diagonalisation.

    PYTHONPATH=build/python OPENBLAS_NUM_THREADS=2 python3 bench/python_bench.py [n ...]
"""
import os
import signal
import sys
import threading
import time

import numpy as np

import zolvane


def landscape(n, seed=1):
    rng = np.random.default_rng(seed)
    energies = rng.normal(0.0, 3.0, n)
    saddles = np.maximum.outer(energies, energies) + rng.uniform(1.0, 8.0, (n, n))
    saddles = np.minimum(saddles, saddles.T)
    return zolvane.Landscape.from_energies(energies, saddles)


def best(f, repeat=3):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [500, 1000, 2000]
    two = zolvane.Landscape.from_rates(np.array([[0, 2.0], [0.5, 0]]))
    t = np.array([1.0])
    calls = 2000
    start = time.perf_counter()
    for _ in range(calls):
        two.populations(times=t)
    print(f"populations(times=[1.0]) on 2 states: {1e6 * (time.perf_counter() - start) / calls:.0f}"
          " us per call (capture, warnings, signal checks included)")
    for n in sizes:
        land = landscape(n)
        q = land.generator
        a, b = list(range(n // 10)), list(range(n - n // 10, n))
        rest = [i for i in range(n) if i not in a and i not in b]
        numpy_solve = best(lambda: np.linalg.solve(q[np.ix_(rest, rest)],
                                                   -q[np.ix_(rest, b)].sum(axis=1)))
        print(f"n={n}: committor {best(lambda: land.committor(a, b)):.3f} s, "
              f"mfpt(set) {best(lambda: land.mfpt(b)):.3f} s, "
              f"equilibrium {best(lambda: land.equilibrium()):.3f} s; "
              f"numpy dense solve {numpy_solve:.3f} s")
    land = landscape(sizes[-1])
    stamp = {}

    def interrupt():
        stamp["sent"] = time.perf_counter()
        os.kill(os.getpid(), signal.SIGINT)

    threading.Timer(1.0, interrupt).start()
    try:
        land.timescales()
        print("the diagonalisation ended before the interrupt")
    except KeyboardInterrupt:
        print(f"n={sizes[-1]}: Ctrl-C during the Jacobi raised KeyboardInterrupt after "
              f"{time.perf_counter() - stamp['sent']:.3f} s")


if __name__ == "__main__":
    main()
