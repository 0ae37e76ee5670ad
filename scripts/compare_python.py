"""Prints what a range of calls of the Python module return, raise and warn,
exactly (floats by repr), for scripts/compare_runs.sh to compare between two
builds: run it with each build's module first on PYTHONPATH.
Usage: python3 scripts/compare_python.py SOURCE_DIR (run in a scratch directory)
"""
import pickle
import sys
import warnings

import numpy as np

import zolvane

src = sys.argv[1]
ex = src + "/examples"
fx = src + "/tests/stiff/fixtures"


def show(value):
    if isinstance(value, np.ndarray):
        return "array%s %r" % (value.shape, value.tolist())
    if isinstance(value, (tuple, list)):
        return "(" + ", ".join(show(v) for v in value) + ")"
    if isinstance(value, zolvane.Landscape):
        return "Landscape n=%d absorbing=%r rates=%s" % (value.n, value.absorbing_state,
                                                         show(value.rates))
    return repr(value)


def case(name, call):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            text = show(call())
        except Exception as e:  # every error is part of the output
            text = "raises %s: %s" % (type(e).__name__, e)
    print(name, "->", text)
    for w in caught:
        print("  warns %s: %s" % (w.category.__name__, w.message))


L = zolvane.Landscape
with open("empty.rates", "w"):
    pass
with open("one_way.rates", "w") as f:
    f.write("3\n0 1 0\n0 0 1\n1 0 0\n")
with open("sequence_only.qorp", "w") as f:
    f.write("SEQ\n")
with open("short.qorp", "w") as f:
    f.write("SEQ\n1 . -1 0 0\n")

landscapes = {
    "rates": lambda: L.from_file(ex + "/landscape.rates"),
    "qorp A": lambda: L.from_file(ex + "/landscape.qorp", method="A"),
    "qorp A hard": lambda: L.from_file(ex + "/landscape.qorp", method="A", hard_rescale=0.5),
    "bin n=8": lambda: L.from_file(ex + "/landscape.bin", binary=True, nstates=8),
    "rates absorb": lambda: L.from_file(ex + "/landscape.rates", absorb=0,
                                        qorp=ex + "/landscape.qorp"),
    "A absorb": lambda: L.from_file(ex + "/landscape.qorp", method="A", absorb=2),
    "rates scaled": lambda: L.from_file(ex + "/landscape.rates", minimal_rate=1e-3,
                                        rate_scale=2.0),
    "stiff": lambda: L.from_file(fx + "/cascade_1e12.rates"),
    "funnel A": lambda: L.from_file(fx + "/funnel_1e24.qorp", method="A"),
    "one way": lambda: L.from_file("one_way.rates"),
    "from_rates": lambda: L.from_rates(np.array([[0, 2.0, 0.1], [0.5, 0, 1.0], [0.2, 3.0, 0]])),
    "from_rates qorp": lambda: L.from_rates(np.ones((3, 3)), qorp="short.qorp"),
    "from_energies": lambda: L.from_energies(np.array([0.0, -1.0, -0.5]),
                                             np.array([[np.inf, 2.0, 3.0], [2.0, np.inf, 1.0],
                                                       [3.0, 1.0, np.inf]])),
}
errors = {
    "empty rates": lambda: L.from_file("empty.rates"),
    "empty qorp": lambda: L.from_file("empty.rates", method="A"),
    "no minimum": lambda: L.from_file("sequence_only.qorp", method="A"),
    "rates qorp no minimum": lambda: L.from_file(ex + "/landscape.rates", qorp="sequence_only.qorp"),
    "no rates file": lambda: L.from_file("sequence_only.qorp", qorp="sequence_only.qorp"),
    "qorp mismatch": lambda: L.from_file(ex + "/landscape.rates", qorp="short.qorp"),
    "absorb without qorp": lambda: L.from_file(ex + "/landscape.rates", absorb=0),
    "rates qorp mismatch": lambda: L.from_rates(np.ones((2, 2)), qorp="short.qorp"),
    "rates absorb without qorp": lambda: L.from_rates(np.ones((2, 2)), absorb=0),
    "qorp as rates": lambda: L.from_file(ex + "/landscape.qorp"),
    "rates as binary": lambda: L.from_file(ex + "/landscape.rates", binary=True),
    "absorb beyond": lambda: L.from_file(ex + "/landscape.qorp", method="A", absorb=99),
}
for name, make in errors.items():
    case(name, make)

for name, make in landscapes.items():
    land = None
    try:
        land = make()
    except Exception as e:
        print(name, "-> raises %s: %s" % (type(e).__name__, e))
        continue
    case(name, lambda: land)
    n = land.n
    case(name + " populations", lambda: land.populations(t8=1e6, tinc=1.5))
    case(name + " populations times", lambda: land.populations(times=[0.0, 0.5, 10.0, 1e4]))
    case(name + " populations exact", lambda: land.populations(t8=1e4, tinc=2.0,
                                                               propagator="exact"))
    case(name + " populations spectral", lambda: land.populations(t8=1e4, tinc=2.0,
                                                                  propagator="spectral"))
    case(name + " populations lapack", lambda: land.populations(t8=1e4, tinc=2.0,
                                                                eigensolver="lapack"))
    p0 = np.zeros(n)
    p0[n - 1] = 1.0
    case(name + " populations p0", lambda: land.populations(p0, t8=1e4, tinc=2.0))
    case(name + " equilibrium", lambda: land.equilibrium())
    case(name + " equilibrium p0", lambda: land.equilibrium(p0))
    case(name + " spectrum", lambda: land.spectrum())
    case(name + " timescales accurate", lambda: land.timescales(eigensolver="accurate"))
    case(name + " mfpt", lambda: land.mfpt())
    case(name + " mfpt into", lambda: land.mfpt(0))
    case(name + " mfpt between", lambda: land.mfpt([n - 1], [0]))
    case(name + " committor", lambda: land.committor(0, n - 1))
    case(name + " committor backward", lambda: land.committor(0, n - 1, backward=True))
    case(name + " absorbing_times", lambda: land.absorbing_times())
    case(name + " reduce", lambda: land.reduce(max(1, n // 2)))
    case(name + " pickled", lambda: pickle.loads(pickle.dumps(land)).populations(t8=1e3,
                                                                                 tinc=3.0))
