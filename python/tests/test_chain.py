"""What comes after the populations (generator, equilibrium, timescales,
first passage times between sets, committors, landscapes from energies)
against independent references: numpy/scipy on mild chains, mpmath at 80
digits on small stiff ones."""
import os

import numpy as np
import pytest

import zolvane

mpmath = pytest.importorskip("mpmath")
scipy_linalg = pytest.importorskip("scipy.linalg")

SOURCE = os.environ.get("ZOLVANE_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
STIFF = os.path.join(SOURCE, "tests/stiff/fixtures")
mpmath.mp.dps = 80


def mild(n=7, seed=11, reversible=True):
    rng = np.random.default_rng(seed)
    if reversible:
        p = rng.uniform(0.1, 1.0, n)
        s = rng.uniform(0.1, 2.0, (n, n))
        s = s + s.T
        k = s / p[:, None]  # p_i k_ij = s_ij, symmetric
    else:
        k = rng.uniform(0.05, 3.0, (n, n))
    np.fill_diagonal(k, 0.0)
    return k


def stiff(name):
    # Rates of a stiff fixture (row i: out of state i), spread 1e12 to 1e24.
    return np.loadtxt(os.path.join(STIFF, name))


def generator(k):
    return k - np.diag(k.sum(axis=1))


# --- references in 80 digits ---------------------------------------------

def mp_matrix(k):
    n = len(k)
    q = mpmath.matrix(n, n)
    for i in range(n):
        for j in range(n):
            if i != j:
                q[i, j] = mpmath.mpf(float(k[i, j]))
        q[i, i] = -mpmath.fsum(q[i, j] for j in range(n) if j != i)
    return q


def mp_solve_rows(q, rows, rhs):
    a = mpmath.matrix([[q[i, j] for j in rows] for i in rows])
    return mpmath.lu_solve(a, mpmath.matrix(rhs))


def mp_equilibrium(k):
    n = len(k)
    q = mp_matrix(k).T
    for j in range(n):
        q[n - 1, j] = 1
    b = mpmath.matrix([0] * (n - 1) + [1])
    return [float(x) for x in mpmath.lu_solve(q, b)]


def mp_mfpt_into(k, target):
    n = len(k)
    q = mp_matrix(k)
    rest = [i for i in range(n) if i not in target]
    x = mp_solve_rows(-q, rest, [1] * len(rest))
    t = np.zeros(n)
    for a, i in enumerate(rest):
        t[i] = float(x[a])
    return t


def mp_committor(k, a_set, b_set):
    n = len(k)
    q = mp_matrix(k)
    rest = [i for i in range(n) if i not in a_set and i not in b_set]
    rhs = [mpmath.fsum(q[i, j] for j in b_set) for i in rest]
    x = mp_solve_rows(-q, rest, rhs)
    c = np.zeros(n)
    c[list(b_set)] = 1.0
    for a, i in enumerate(rest):
        c[i] = float(x[a])
    return c


def mp_timescales(k, p):
    # The symmetrised generator of a reversible chain, its eigenvalues in 80
    # digits.
    n = len(k)
    q = mp_matrix(k)
    sp = [mpmath.sqrt(mpmath.mpf(x)) for x in p]
    s = mpmath.matrix(n, n)
    for i in range(n):
        for j in range(n):
            s[i, j] = sp[i] * q[i, j] / sp[j]
    for i in range(n):
        for j in range(i):
            s[i, j] = s[j, i] = (s[i, j] + s[j, i]) / 2
    evals = mpmath.eigsy(s, eigvals_only=True)
    return sorted((float(-1 / e) for e in evals if e < -mpmath.mpf(10) ** -60), reverse=True)


# --- tests -------------------------------------------------------------------

def test_generator_as_the_program_builds_it(tmp_path):
    k = mild()
    np.testing.assert_array_equal(zolvane.Landscape.from_rates(k).generator, generator(k))
    # An absorbing state: the last one, entered from minimum 1 only, left never.
    qorp = tmp_path / "three.qorp"
    with open(os.path.join(SOURCE, "examples/landscape.qorp")) as f:
        qorp.write_text("".join(f.readlines()[:4]))
    k3 = np.array([[0, 1.0, 2.0], [3.0, 0, 4.0], [5.0, 6.0, 0]])
    land = zolvane.Landscape.from_rates(k3, absorb=1, qorp=qorp)
    q = land.generator
    assert q.shape == (4, 4) and land.absorbing_state == 3
    np.testing.assert_array_equal(q[3], 0.0)
    assert q[1, 3] > 0 and q[0, 3] == q[2, 3] == 0
    np.testing.assert_allclose(q.sum(axis=1), 0.0, atol=1e-14)


@pytest.mark.parametrize("k", [mild(), mild(reversible=False), mild(9, 4, False)])
def test_equilibrium_of_mild_chains_against_the_null_space(k):
    pi = scipy_linalg.null_space(generator(k).T)[:, 0]
    pi /= pi.sum()
    np.testing.assert_allclose(zolvane.Landscape.from_rates(k).equilibrium(), pi, rtol=1e-12)


def stiff_irreversible():
    # A cycle 0 -> 1 -> 2 -> 3 -> 0 with slow backward steps: no detailed
    # balance, equilibrium spread over about 1e15.
    k = np.zeros((4, 4))
    for i, (f, b) in enumerate([(1e6, 1e-6), (1.0, 1e-3), (1e-5, 2.0), (3e2, 1e-8)]):
        k[i, (i + 1) % 4] = f
        k[(i + 1) % 4, i] = b
    return k


@pytest.mark.parametrize("k", [stiff("cascade_1e24.rates"), stiff_irreversible()])
def test_equilibrium_of_stiff_chains_against_80_digits(k):
    np.testing.assert_allclose(zolvane.Landscape.from_rates(k).equilibrium(), mp_equilibrium(k),
                               rtol=1e-12)


def test_timescales_mild_against_numpy():
    k = mild()
    evals = np.sort(np.linalg.eigvals(generator(k)).real)
    expected = np.sort(-1 / evals[evals < -1e-12])[::-1]
    np.testing.assert_allclose(zolvane.Landscape.from_rates(k).timescales(), expected,
                               rtol=1e-12)


@pytest.mark.parametrize("name", ["funnel_1e12.rates", "cascade_1e24.rates"])
def test_timescales_stiff_against_80_digits(name):
    k = stiff(name)
    land = zolvane.Landscape.from_rates(k)
    expected = mp_timescales(k, mp_equilibrium(k))
    np.testing.assert_allclose(land.timescales(), expected, rtol=1e-10)


@pytest.mark.parametrize("k, target", [
    (mild(), [2]),
    (mild(reversible=False), [0, 4, 5]),
    (stiff("funnel_1e12.rates"), [0]),
    (stiff("cascade_1e24.rates"), [6, 7]),
    (stiff_irreversible(), [0, 2]),
])
def test_mfpt_into_a_set_against_80_digits(k, target):
    land = zolvane.Landscape.from_rates(k)
    np.testing.assert_allclose(land.mfpt(target), mp_mfpt_into(k, target), rtol=1e-12)
    if len(target) == 1:
        np.testing.assert_allclose(land.mfpt(target[0]), mp_mfpt_into(k, target), rtol=1e-12)


def test_mfpt_between_sets_weights_the_start_by_equilibrium():
    k = mild(8, 2)
    land = zolvane.Landscape.from_rates(k)
    pi = scipy_linalg.null_space(generator(k).T)[:, 0]
    pi /= pi.sum()
    source, target = [0, 1, 2], {5, 7}
    q = generator(k)
    rest = [i for i in range(8) if i not in target]
    t = np.zeros(8)
    t[rest] = np.linalg.solve(-q[np.ix_(rest, rest)], np.ones(len(rest)))
    expected = pi[source] @ t[source] / pi[source].sum()
    assert land.mfpt(source, target) == pytest.approx(expected, rel=1e-12)
    assert land.mfpt(np.array([5, 7]), target) == 0.0


@pytest.mark.parametrize("k, a_set, b_set", [
    (mild(), [0], [6]),
    (mild(reversible=False), [0, 1], [5, 6]),
    (stiff("funnel_1e12.rates"), [0], [15]),
    (stiff("cascade_1e24.rates"), [0], [7]),
    (stiff("deep_1e24.rates"), [0, 1], [30, 35]),
    (stiff_irreversible(), [0], [2]),
])
def test_committor_against_80_digits(k, a_set, b_set):
    q = zolvane.Landscape.from_rates(k).committor(a_set, b_set)
    np.testing.assert_allclose(q, mp_committor(k, a_set, b_set), rtol=1e-12, atol=0)


def test_backward_committor():
    # Reversible: the backward committor is 1 - forward, computed directly.
    k = mild()
    land = zolvane.Landscape.from_rates(k)
    np.testing.assert_allclose(land.committor(0, 6, backward=True),
                               1 - land.committor(0, 6), rtol=1e-12)
    # Not reversible: the forward committor into A of the reversed chain.
    k = mild(reversible=False)
    pi = scipy_linalg.null_space(generator(k).T)[:, 0]
    pi /= pi.sum()
    reversed_k = (k.T * pi[None, :]) / pi[:, None]
    np.fill_diagonal(reversed_k, 0.0)
    np.testing.assert_allclose(
        zolvane.Landscape.from_rates(k).committor([0, 1], [5], backward=True),
        mp_committor(reversed_k, [5], [0, 1]), rtol=1e-11)


def test_committor_of_states_that_reach_neither_set():
    # 3 is a trap reached from 2: the committor of 2 counts the trap as a loss;
    # the trap itself has none.
    k = np.array([[0, 1.0, 0, 0], [1.0, 0, 1.0, 0], [0, 2.0, 0, 1.0], [0, 0, 0, 0]])
    land = zolvane.Landscape.from_rates(k)
    q = land.committor(0, [1])
    assert q[0] == 0.0 and q[1] == 1.0 and np.isnan(q[3])
    assert q[2] == pytest.approx(2 / 3, rel=1e-15)


def test_from_energies_is_the_arrhenius_rule():
    e = np.array([0.0, -2.0, 1.5, -30.0])
    s = np.full((4, 4), np.inf)
    for i, j, h in [(0, 1, 3.0), (1, 2, 4.0), (0, 3, 5.0), (2, 3, 2.0)]:
        s[i, j] = s[j, i] = h
    kt = (37.0 + 273.15) * 0.00198717
    land = zolvane.Landscape.from_energies(e, s)
    expected = np.where(np.isfinite(s), np.exp(-(s - e[:, None]) / kt), 0.0)
    np.fill_diagonal(expected, 0.0)
    np.testing.assert_allclose(land.rates, expected, rtol=1e-14)
    boltzmann = np.exp(-(e - e.min()) / kt)
    np.testing.assert_allclose(land.equilibrium(), boltzmann / boltzmann.sum(), rtol=1e-12)
    # Another temperature changes every rate by its own barrier.
    hot = zolvane.Landscape.from_energies(e, s, temperature=80.0)
    assert hot.rates[0, 1] == pytest.approx(np.exp(-3.0 / ((80.0 + 273.15) * 0.00198717)))


@pytest.mark.filterwarnings("ignore::zolvane.NumericalWarning")  # dsyevd: 2e-14 off 0
def test_the_eigensolver_choice():
    k = mild()
    land = zolvane.Landscape.from_rates(k)
    times = np.logspace(-2, 2, 9)
    _, accurate = land.populations(times=times, eigensolver="accurate")
    _, lapack = land.populations(times=times, eigensolver="lapack")
    _, default = land.populations(times=times)
    np.testing.assert_allclose(lapack, accurate, atol=1e-13)
    np.testing.assert_array_equal(default, accurate)
    np.testing.assert_allclose(land.timescales(eigensolver="lapack"), land.timescales(),
                               rtol=1e-10)
