"""The Python module against closed forms and against the program's table."""
import math
import os
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
    np.testing.assert_allclose(land.mfpt(2), [1 / a, 0.0], rtol=1e-14)
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
                                         bin=True), {"p0": np.eye(20)[4]}),
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


@pytest.mark.parametrize("call, error, text", [
    (lambda: zolvane.Landscape.from_file("/nonexistent/rates"), ValueError, "Cannot open"),
    (lambda: zolvane.Landscape.from_rates(np.array([[0.0, -1.0], [1.0, 0.0]])), ValueError,
     "rates must be"),
    (lambda: zolvane.Landscape.from_rates(np.ones((2, 3))), ValueError, "square"),
    (lambda: two_states().populations(t8=-1.0), ValueError, "--t8 must be > 0"),
    (lambda: two_states().populations(tinc=0.0), ValueError, "--tinc must be > 0"),
    (lambda: zolvane.Landscape.from_rates(np.eye(2), Temp=-300.0), ValueError, "--Temp"),
    (lambda: two_states().populations(p0=[0.5, 0.2]), ValueError, "sum up to 1"),
    (lambda: two_states().mfpt(3), ValueError, "target"),
    (lambda: zolvane.Landscape.from_file(os.path.join(SOURCE, "examples/landscape.rates"),
                                         method="X"), ValueError, "method"),
])
def test_errors_are_exceptions(call, error, text):
    with pytest.raises(error, match=text):
        call()

