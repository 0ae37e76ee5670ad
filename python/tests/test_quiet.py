"""A call prints nothing on file descriptors 1 and 2 and writes no file; the
program's warnings arrive as Python warnings, its diagnostics with verbose."""
import contextlib
import io
import os
import pickle
import signal
import subprocess
import threading
import time
import warnings

import numpy as np
import pytest

import zolvane

SOURCE = os.environ.get("ZOLVANE_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
BIN = os.environ.get("ZOLVANE_BIN")


def source(name):
    return os.path.join(SOURCE, name)


def readme_example():
    # The two-state chain of the README: the program prints the unnormalised
    # balance weights and the symmetry correction here.
    land = zolvane.Landscape.from_rates(np.array([[0, 2.0], [0.5, 0]]))
    land.populations(times=np.logspace(-2, 1, 50))
    land.equilibrium()
    land.timescales()


def stiff_with_lapack():
    land = zolvane.Landscape.from_file(source("tests/stiff/fixtures/cascade_1e24.qorp"), method="A")
    land.populations(t8=1e16, eigensolver="lapack")


def absorbing():
    land = zolvane.Landscape.from_file(source("examples/landscape.qorp"), method="A", absorb=4)
    land.populations(t8=1e6)
    land.absorbing_times()
    land.committor(0, 4)


def reduced_binary():
    zolvane.Landscape.from_file(source("examples/landscape.bin"), binary=True,
                                nstates=8).mfpt()


@pytest.mark.parametrize("call", [readme_example, stiff_with_lapack, absorbing, reduced_binary])
def test_nothing_on_the_descriptors_and_no_files(call, capfd, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        call()
    out, err = capfd.readouterr()
    assert (out, err) == ("", "")
    assert os.listdir(tmp_path) == []


def test_stiffness_warning_names_the_keyword_that_is_right(capfd):
    with pytest.warns(zolvane.StiffnessWarning) as caught:
        stiff_with_lapack()
    text = str(caught[0].message)
    assert 'rerun with eigensolver="accurate"' in text and "WARNING" not in text
    assert issubclass(zolvane.StiffnessWarning, zolvane.ZolvaneWarning)
    assert issubclass(zolvane.ZolvaneWarning, UserWarning)
    # The default solver is right there: no warning at all.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        zolvane.Landscape.from_file(source("tests/stiff/fixtures/cascade_1e24.qorp"),
                                    method="A").populations(t8=1e16)
    assert capfd.readouterr() == ("", "")


def test_a_warning_filter_turns_the_warning_into_an_error():
    with warnings.catch_warnings():
        warnings.simplefilter("error", zolvane.StiffnessWarning)
        with pytest.raises(zolvane.StiffnessWarning):
            stiff_with_lapack()


def test_verbose_sends_the_diagnostics_through_sys_stderr(capfd, monkeypatch):
    land = zolvane.Landscape.from_rates(np.array([[0, 2.0], [0.5, 0]]))
    text = io.StringIO()
    with contextlib.redirect_stderr(text):
        land.populations(times=[1.0], verbose=True)
        quiet_length = len(text.getvalue())
        land.populations(times=[1.0])
    assert quiet_length > 0 and len(text.getvalue()) == quiet_length
    # The module setting does the same for every call.
    monkeypatch.setattr(zolvane, "verbose", True)
    text = io.StringIO()
    with contextlib.redirect_stderr(text):
        zolvane.Landscape.from_rates(np.array([[0, 2.0], [0.5, 0]])).populations(times=[1.0])
    assert text.getvalue()
    assert capfd.readouterr() == ("", "")


def test_output_of_python_around_a_call_is_kept(capfd):
    print("before", flush=False)
    readme_example()
    print("after")
    assert capfd.readouterr().out == "before\nafter\n"


def big_landscape(n=700, seed=5):
    # A rugged random landscape: Jacobi sweeps of a few seconds.
    rng = np.random.default_rng(seed)
    energies = rng.normal(0.0, 2.0, n)
    saddles = np.maximum.outer(energies, energies) + rng.uniform(1.0, 6.0, (n, n))
    saddles = np.minimum(saddles, saddles.T)
    return zolvane.Landscape.from_energies(energies, saddles)


def test_progress_reports_stages_a_few_times_a_second():
    reports = []
    start = time.perf_counter()
    big_landscape(300).populations(tinc=1.0002, t8=1e8,
                                   progress=lambda stage, f: reports.append((stage, f)))
    elapsed = time.perf_counter() - start
    stages = [s for s, _ in reports]
    assert set(stages) == {"factorising", "diagonalising", "time points"}, reports
    # Each stage once at its start, then at most five times a second.
    assert len(reports) <= 3 + 5 * elapsed, (len(reports), elapsed)
    fractions = [f for s, f in reports if s == "time points"]
    assert all(0.0 <= f <= 1.0 for f in fractions) and fractions == sorted(fractions)
    assert all(f is None for s, f in reports if s == "diagonalising")


def test_an_exception_of_the_progress_callable_ends_the_call():
    class Stop(Exception):
        pass

    def progress(stage, fraction):
        raise Stop(stage)

    with pytest.raises(Stop):
        big_landscape(200).populations(progress=progress)


@pytest.mark.skipif(threading.current_thread() is not threading.main_thread(),
                    reason="signals reach the main thread only")
def test_ctrl_c_interrupts_the_diagonalisation():
    land = big_landscape()
    stages = []

    def progress(stage, fraction):
        if not stages:
            # From another thread, as a terminal's Ctrl-C arrives.
            threading.Thread(target=os.kill, args=(os.getpid(), signal.SIGINT)).start()
        stages.append(stage)

    with pytest.raises(KeyboardInterrupt):
        land.populations(progress=progress)
    # Stopped inside the diagonalisation: the table was never reached.
    assert "time points" not in stages
    # The landscape stays usable after the interrupt.
    assert land.equilibrium().sum() == pytest.approx(1.0)


def test_pickle_repr_and_version():
    land = zolvane.Landscape.from_file(source("examples/landscape.qorp"), method="A", absorb=4,
                                       temperature=25.0)
    text = repr(land)
    for part in ("n=21", "landscape.qorp", "method='A'", "temperature=25.0", "absorb=4",
                 "absorbing state 20"):
        assert part in text, text
    again = pickle.loads(pickle.dumps(land))
    assert repr(again) == text
    t, p = land.populations(t8=1e6)
    t2, p2 = again.populations(t8=1e6)
    np.testing.assert_array_equal(t, t2)
    np.testing.assert_array_equal(p, p2)
    np.testing.assert_array_equal(land.absorbing_times(), again.absorbing_times())
    rates = zolvane.Landscape.from_file(source("examples/landscape.rates"), rate_scale=2.0)
    np.testing.assert_array_equal(pickle.loads(pickle.dumps(rates)).mfpt(), rates.mfpt())
    assert isinstance(zolvane.__version__, str)
    if BIN:
        printed = subprocess.run([BIN, "--version"], capture_output=True, text=True).stdout
        assert zolvane.__version__ in printed


def test_calls_from_threads_at_once(capfd):
    # Overlapping calls share the capture and the landscape's cached
    # decomposition; each gets its own result, nothing reaches the terminal.
    land = big_landscape(150)
    times = np.logspace(-1, 3, 40)
    alone = {s: land.populations(times=times, eigensolver=s)[1] for s in ("accurate", "lapack")}
    results, errors = [], []

    def work(solver):
        try:
            for _ in range(3):
                results.append((solver, land.populations(times=times, eigensolver=solver)[1]))
        except Exception as e:  # noqa: BLE001 - reported below
            errors.append(e)

    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        threads = [threading.Thread(target=work, args=(s,)) for s in ("accurate", "lapack") * 2]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    assert not errors and len(results) == 12
    for solver, p in results:
        np.testing.assert_array_equal(p, alone[solver])
    assert capfd.readouterr() == ("", "")
