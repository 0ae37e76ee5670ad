"""A notebook-sized tour of the Python module on the bundled landscape:
populations on log-log axes, the implied timescales, first passage times
and a committor. Run from anywhere:

    python3 examples/python_tour.py [populations.png]

The plot needs matplotlib (Debian: python3-matplotlib); without it the
numbers are still printed.
"""
import os
import sys
import warnings

import numpy as np

import zolvane

here = os.path.dirname(os.path.abspath(__file__))
land = zolvane.Landscape.from_file(os.path.join(here, "landscape.qorp"), method="A",
                                   temperature=37.0)
print(land)

# Populations from a start in state 19 (the program's default start is
# state 0) on the program's logarithmic time axis.
t, p = land.populations(np.eye(land.n)[19], t8=1e10)
print(f"{len(t)} time points from {t[0]:g} to {t[-1]:g}; final populations of states 0-2:",
      np.round(p[-1, :3], 4))

# Implied timescales -1/lambda, slowest first, in the time unit of the rates.
print("slowest timescales:", ", ".join(f"{x:.3e}" for x in land.timescales()[:4]))

# Equilibrium, and the mean time to reach the ground state 0 from the three
# most populated other states.
p8 = land.equilibrium()
top = [int(i) for i in np.argsort(p8)[::-1] if i != 0][:3]
print("mean first passage times into state 0 from", top, ":", land.mfpt(0)[top])

# Committor: from each state, the probability of folding into the ground
# state 0 before returning to the open chain 19.
q = land.committor(19, 0)
print("committor into 0 before 19 of states 0-5:", np.round(q[:6], 4))

# A stiff landscape with the fast LAPACK eigensolver: the warning says which
# keyword is right, and the call still prints nothing on the terminal.
stiff = os.path.join(here, "..", "tests", "stiff", "fixtures", "cascade_1e24.qorp")
if os.path.exists(stiff):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        zolvane.Landscape.from_file(stiff, method="A").timescales(eigensolver="lapack")
    for w in caught:
        print(f"{w.category.__name__}: {w.message}")

try:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    print("matplotlib is not installed: no plot")
    sys.exit(0)
out = sys.argv[1] if len(sys.argv) > 1 else "populations.png"
fig, ax = plt.subplots(figsize=(6, 4))
for i in np.argsort(p.max(axis=0))[::-1][:5]:
    ax.loglog(t, np.maximum(p[:, i], 1e-12), label=f"state {i}")
ax.set_xlabel("time")
ax.set_ylabel("population")
ax.set_ylim(1e-6, 1.5)
ax.legend()
fig.tight_layout()
fig.savefig(out)
print("plot written to", out)
