"""The Python module against closed forms and against the program's table."""
import math
import os
import pathlib
import subprocess

import numpy as np
import pytest

import zolvane

SOURCE = os.environ.get("ZOLVANE_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
BIN = os.environ.get("ZOLVANE_BIN")


def two_states(a=2.0, b=0.5):
    # a: rate 1 -> 2, b: rate 2 -> 1.
    return zolvane.Landscape.from_rates(np.array([[0.0, a], [b, 0.0]]))


def test_two_states_closed_forms():
    a, b = 2.0, 0.5
    land = two_states(a, b)
    times = np.array([0.0, 0.1, 1.0, 3.0, 10.0])
    t, p = land.populations(times=times)
    assert np.array_equal(t, times)
    exact1 = b / (a + b) + a / (a + b) * np.exp(-(a + b) * times)
    np.testing.assert_allclose(p[:, 0], exact1, rtol=0, atol=1e-14)
    np.testing.assert_allclose(p[:, 1], 1 - exact1, rtol=0, atol=1e-14)
    np.testing.assert_allclose(land.equilibrium(), [b / (a + b), a / (a + b)], atol=1e-15)
    np.testing.assert_allclose(land.mfpt(1), [1 / a, 0.0], rtol=1e-14)
    np.testing.assert_allclose(land.mfpt(), [[0.0, 1 / a], [1 / b, 0.0]], rtol=1e-14)
    evals, _, sqrt_p8, states = land.spectrum()
    np.testing.assert_allclose(evals, [0.0, -(a + b)], atol=1e-14)
    np.testing.assert_allclose(sqrt_p8 ** 2, [b / (a + b), a / (a + b)], atol=1e-15)
    assert states == [0, 1]
    # A start in state 2 mirrors the closed form.
    _, q = land.populations([0.0, 1.0], times=[1.0])
    assert q[0, 1] == pytest.approx(a / (a + b) + b / (a + b) * math.exp(-(a + b)), abs=1e-14)


def run_table(args):
    out = subprocess.run([BIN, "-q"] + args, check=True, capture_output=True, text=True).stdout
    rows = [list(map(float, l.split())) for l in out.splitlines()
            if l and not l.startswith("#")]
    table = np.array(rows)
    return table[:, 0], table[:, 1:]


@pytest.mark.skipif(BIN is None, reason="needs the zolvane binary (ZOLVANE_BIN)")
@pytest.mark.parametrize("args, load, kwargs", [
    (["--ratesfile", "examples/landscape.rates"],
     lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.rates")), {}),
    (["-m", "A", "--qorp", "examples/landscape.qorp", "--t0", "0", "--tinc", "1.5"],
     lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.qorp"),
                                         method="A"), {"t0": 0.0, "tinc": 1.5}),
    (["-b", "--ratesfile", "examples/landscape.bin", "--p0", "5=1"],
     lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.bin"),
                                         binary=True), {"p0": np.eye(20)[4]}),
    (["-m", "A", "--qorp", "tests/stiff/fixtures/funnel_1e12.qorp", "--p0", "16=1",
      "--t8", "1e16", "--tinc", "2"],
     lambda: zolvane.Landscape.from_file(
         os.path.join(SOURCE, "tests/stiff/fixtures/funnel_1e12.qorp"), method="A"),
     {"p0": np.eye(16)[15], "t8": 1e16, "tinc": 2.0}),
])
def test_agrees_with_the_program_table(args, load, kwargs):
    args = [a if not a.startswith(("examples/", "tests/")) else os.path.join(SOURCE, a)
            for a in args]
    t_bin, p_bin = run_table(args)
    t, p = load().populations(**kwargs)
    assert len(t) == len(t_bin)
    np.testing.assert_allclose(t, t_bin, rtol=1e-15)
    # The table prints 7 significant digits.
    np.testing.assert_allclose(p, p_bin, rtol=5e-7, atol=5e-8)


def mfpt_by_solve(k, target):
    # Mean first passage times to `target` from the linear system of the
    # generator without the target: an independent dense solve.
    n = len(k)
    q = k - np.diag(k.sum(axis=1))
    rest = [i for i in range(n) if i != target]
    t = np.zeros(n)
    t[rest] = np.linalg.solve(-q[np.ix_(rest, rest)], np.ones(n - 1))
    return t


def test_first_passage_times_against_linear_solves():
    rng = np.random.default_rng(3)
    k = rng.random((6, 6)) * np.logspace(-2, 2, 6)
    np.fill_diagonal(k, 0.0)
    land = zolvane.Landscape.from_rates(k)
    np.testing.assert_array_equal(land.rates, k)
    exact = np.column_stack([mfpt_by_solve(k, j) for j in range(6)])
    np.testing.assert_allclose(land.mfpt(), exact, rtol=1e-12)
    for j in range(6):
        np.testing.assert_allclose(land.mfpt(j), exact[:, j], rtol=1e-12)
    # State 2 has no way out: only the times to it are finite; every other
    # state may fall into it on the way to any other target.
    k[2, :] = 0.0
    trap = zolvane.Landscape.from_rates(k)
    np.testing.assert_allclose(trap.mfpt(2), mfpt_by_solve(k, 2), rtol=1e-12)
    np.testing.assert_allclose(trap.mfpt()[:, 2], mfpt_by_solve(k, 2), rtol=1e-12)
    for j in (0, 1, 3, 4, 5):
        times = trap.mfpt(j)
        assert times[j] == 0.0 and np.isinf(np.delete(times, j)).all()


@pytest.fixture
def three_minima(tmp_path):
    # The first three minima of the example: the qorp data an absorbing state
    # of method I needs.
    with open(os.path.join(SOURCE, "examples/landscape.qorp")) as f:
        head = f.readlines()[:4]
    path = tmp_path / "three.qorp"
    path.write_text("".join(head))
    return str(path)


@pytest.mark.parametrize("rates, absorb, times", [
    # 0 <-> 1 -> 2: T0 = 1 + T1, T1 = (1 + T0) / 2.
    ([[0, 1, 0], [1, 0, 1], [5, 7, 0]], 2, [3.0, 2.0, 0.0]),
    # Into 0 from 1 at rate 4, from 2 only through 1 (rate 0.5); the rates out
    # of the absorbed minimum (and the last row above) do not matter.
    ([[0, 9, 9], [4, 0, 0], [0, 0.5, 0]], 0, [0.0, 0.25, 2.25]),
    # Stiff: a fast return from 1 to 0 against a slow step on to 2;
    # T1 = (1 + 1e6 T0) / (1e6 + 1e-6), T0 = 1 + T1.
    ([[0, 1, 0], [1e6, 0, 1e-6], [0, 0, 0]], 2, [1e12 + 1e6 + 1, 1e12 + 1e6, 0.0]),
])
def test_absorbing_times_closed_forms(three_minima, rates, absorb, times):
    land = zolvane.Landscape.from_rates(np.array(rates, dtype=float), absorb=absorb,
                                        qorp=three_minima)
    assert land.n == 4
    np.testing.assert_allclose(land.absorbing_times(), times, rtol=1e-14)


@pytest.mark.parametrize("k", [
    [[0, 1, 2], [3, 0, 4], [5, 6, 0]],
    # Rates eighteen orders apart.
    [[0, 1e-12, 1e-3], [2e-11, 0, 4e-6], [5e6, 6e2, 0]],
])
def test_reduce_closed_form(k):
    k = np.array(k, dtype=float)
    reduced = zolvane.Landscape.from_rates(k).reduce(2)
    out3 = k[2, 0] + k[2, 1]
    exact = np.array([[0.0, k[0, 1] + k[0, 2] * k[2, 1] / out3],
                      [k[1, 0] + k[1, 2] * k[2, 0] / out3, 0.0]])
    assert reduced.n == 2
    np.testing.assert_allclose(reduced.rates, exact, rtol=1e-14)
    np.testing.assert_array_equal(zolvane.Landscape.from_rates(k).reduce(3).rates, k)


def run_quiet(args, cwd):
    subprocess.run([BIN, "-q", "--just-shorten"] + args, check=True, capture_output=True,
                   cwd=cwd)


def read_numbers(path):
    with open(path) as f:
        return np.array([list(map(float, l.split())) for l in f if l.strip()])


@pytest.mark.skipif(BIN is None, reason="needs the zolvane binary (ZOLVANE_BIN)")
@pytest.mark.parametrize("args, load", [
    (["-m", "A", "--qorp", "examples/landscape.qorp", "-a", "5"],
     lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.qorp"),
                                         method="A", absorb=4)),
    (["--ratesfile", "examples/landscape.rates", "--qorp", "examples/landscape.qorp",
      "-a", "17"],
     lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.rates"),
                                         absorb=16,
                                         qorp=os.path.join(SOURCE, "examples/landscape.qorp"))),
])
def test_absorbing_times_agree_with_the_program(tmp_path, args, load):
    args = [os.path.join(SOURCE, a) if a.startswith("examples/") else a for a in args]
    run_quiet(args + ["--fpt", "all", "--fptfile", "fpt.txt"], tmp_path)
    printed = read_numbers(tmp_path / "fpt.txt")[0]
    np.testing.assert_allclose(load().absorbing_times(), printed, rtol=5e-7)


@pytest.mark.skipif(BIN is None, reason="needs the zolvane binary (ZOLVANE_BIN)")
@pytest.mark.parametrize("k, max_decrease", [(8, 1000000), (5, 1), (13, 3)])
def test_reduce_agrees_with_the_program(tmp_path, k, max_decrease):
    path = os.path.join(SOURCE, "examples/landscape.bin")
    run_quiet(["-b", "--ratesfile", path, "-n", str(k), "--max-decrease", str(max_decrease),
               "--dumpU", "--fpt", "all", "--fptfile", "fpt.txt"], tmp_path)
    rates = read_numbers(tmp_path / "U.txt")  # row i: the rates out of state i, 10 digits
    np.fill_diagonal(rates, 0.0)
    reduced = zolvane.Landscape.from_file(path, binary=True, max_decrease=max_decrease).reduce(k)
    np.testing.assert_allclose(reduced.rates, rates, rtol=1e-9)
    np.testing.assert_allclose(reduced.mfpt(), read_numbers(tmp_path / "fpt.txt"), rtol=5e-7)


@pytest.mark.parametrize("call, error, text", [
    (lambda: zolvane.Landscape.from_file("/nonexistent/rates"), FileNotFoundError,
     "No such file"),
    (lambda: zolvane.Landscape.from_file(pathlib.Path("/nonexistent/rates")),
     FileNotFoundError, "/nonexistent/rates"),
    (lambda: zolvane.Landscape.from_file(3.5), TypeError, ""),
    (lambda: zolvane.Landscape.from_rates(np.array([[0.0, -1.0], [1.0, 0.0]])), ValueError,
     "rates must be"),
    (lambda: zolvane.Landscape.from_rates(np.ones((2, 3))), ValueError, "square"),
    (lambda: two_states().populations(t8=-1.0), ValueError, "^t8 must be > 0$"),
    (lambda: two_states().populations(tinc=0.0), ValueError, "^tinc must be > 0$"),
    (lambda: zolvane.Landscape.from_rates(np.eye(2), temperature=-300.0), ValueError, "^temperature must be > -273.15$"),
    (lambda: two_states().populations(p0=[0.5, 0.2]), ValueError, "sum up to 1"),
    (lambda: two_states().mfpt(2), IndexError, "target: state 2 is out of range 0..1"),
    (lambda: two_states().mfpt([]), ValueError, "target holds no state"),
    (lambda: two_states().mfpt(0.5), TypeError, "target must be"),
    (lambda: two_states().committor(0, [0, 1]), ValueError, "share state 0"),
    (lambda: two_states().populations(eigensolver="fast"), ValueError, "eigensolver must be"),
    (lambda: two_states().populations(progress=3), TypeError, "progress must be"),
    (lambda: zolvane.Landscape.from_energies([0.0, 1.0], [[0, 0.5], [0.5, 0]]), ValueError,
     "below a minimum"),
    (lambda: zolvane.Landscape.from_energies([0.0, 1.0], [[0, 3], [2, 0]]), ValueError,
     "symmetric"),
    (lambda: two_states().absorbing_times(), ValueError, "absorb="),
    (lambda: two_states().reduce(0), ValueError, "between 1 and 2"),
    (lambda: two_states().reduce(3), ValueError, "between 1 and 2"),
    (lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.qorp"),
                                         method="A", absorb=1).mfpt(), ValueError,
     "absorbing_times"),
    (lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.qorp"),
                                         method="A", absorb=1).reduce(3), ValueError,
     "absorbing state"),
    (lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.rates"),
                                         method="X"), ValueError, "method"),
])
def test_errors_are_exceptions(call, error, text):
    with pytest.raises(error, match=text) as raised:
        call()
    assert not str(raised.value).startswith("ERROR")

