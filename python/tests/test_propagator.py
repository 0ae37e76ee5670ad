"""populations(propagator=...): the exact propagator for rates without
detailed balance (their own dynamics, not the symmetrised ones) and on
request for any rates, against an 80-digit matrix exponential."""
import numpy as np
import pytest

import zolvane

mpmath = pytest.importorskip("mpmath")
mpmath.mp.dps = 80


def reference(rates, times, start=0):
    """Row vectors p(t) = e_start expm(Q t) at 80 digits."""
    n = len(rates)
    q = mpmath.matrix(n, n)
    for i in range(n):
        for j in range(n):
            if i != j:
                q[i, j] = mpmath.mpf(float(rates[i][j]))
        q[i, i] = -mpmath.fsum(q[i, j] for j in range(n) if j != i)
    rows = []
    for t in times:
        e = mpmath.expm(q * mpmath.mpf(float(t)))
        rows.append([e[start, j] for j in range(n)])
    return rows


def assert_relative(p, ref, tol):
    for row, ref_row in zip(p, ref):
        for x, r in zip(row, ref_row):
            assert abs(mpmath.mpf(float(x)) - r) <= tol * abs(r), (x, r)


# A driven cycle 0 -> 1 -> 2 -> 0 whose backward rates are 1e-6 of the
# forward ones, over a spread of 1e8: no detailed balance, small populations.
DRIVEN = [[0, 1e4, 1e-10], [1e-2, 0, 1.0], [1.0, 1e-6, 0]]


def test_rates_without_balance_get_their_own_dynamics():
    times = [1e-6, 1e-3, 0.5, 3.0, 50.0]
    ref = reference(DRIVEN, times)
    for propagator in ("auto", "exact"):
        t, p = zolvane.Landscape.from_rates(np.array(DRIVEN)).populations(
            times=times, propagator=propagator)
        assert_relative(p, ref, 1e-12)


def test_three_state_example_reaches_its_own_equilibrium():
    rates = np.array([[0, 1, 1], [1, 0, 2], [1, 1, 0.0]])
    land = zolvane.Landscape.from_rates(rates)
    t, p = land.populations(t8=10, tinc=3)
    assert t[2] == pytest.approx(1.3)
    assert p[2] == pytest.approx([0.3468279, 0.2486209, 0.4045512], abs=5e-8)
    t, p = land.populations(t8=1e3)
    assert p[-1] == pytest.approx([1 / 3, 1 / 4, 5 / 12], abs=1e-6)
    with pytest.raises(ValueError, match="detailed balance"):
        land.populations(propagator="spectral")
    with pytest.raises(ValueError, match="propagator"):
        land.populations(propagator="padé")


def test_exact_propagator_on_reversible_rates_keeps_small_populations():
    # Balanced rates over a spread of 1e24: the spectral table is exact in
    # absolute terms; the propagator also keeps the relative digits of the
    # populations far below the largest.
    p8 = np.array([1.0, 1e-8, 1e-16, 1e-24])
    s = np.array([[0, 1, 1e-3, 1e-6], [1, 0, 1, 1e-3], [1e-3, 1, 0, 1], [1e-6, 1e-3, 1, 0]])
    rates = s / p8[:, None]  # p_i k_ij = s_ij
    np.fill_diagonal(rates, 0.0)
    times = [1e-20, 1e-12, 1e-4, 1.0]
    ref = reference(rates, times, start=3)
    p0 = np.array([0, 0, 0, 1.0])
    t, p = zolvane.Landscape.from_rates(rates).populations(p0, times=times, propagator="exact")
    assert_relative(p, ref, 1e-12)
