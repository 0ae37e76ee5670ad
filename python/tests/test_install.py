"""`cmake --install --component python` puts the module where a fresh
interpreter finds it, with no PYTHONPATH."""
import os
import subprocess
import sys

import pytest

BUILD = os.environ.get("ZOLVANE_BUILD_DIR")
HERE = os.path.dirname(os.path.abspath(__file__))
pytestmark = pytest.mark.skipif(BUILD is None, reason="needs the build tree (ZOLVANE_BUILD_DIR)")


def clean_env(**extra):
    # What a new shell would have: no PYTHONPATH, nothing of the test's own
    # environment that could point at the build tree.
    env = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
    env.update(extra)
    return env


def install(prefix, env=None):
    subprocess.run(["cmake", "--install", BUILD, "--component", "python", "--prefix", str(prefix)],
                   check=True, capture_output=True, env=env)


def fresh_import(python, env, cwd):
    out = subprocess.run([python, "-c", "import zolvane; print(zolvane.__file__)"],
                         check=True, capture_output=True, text=True, env=env, cwd=cwd)
    return out.stdout.strip()


def test_user_prefix_is_imported_from_the_user_site(tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    env = clean_env(HOME=str(home))
    install(home / ".local", env={**os.environ, "HOME": str(home)})
    where = fresh_import(sys.executable, env, tmp_path)
    assert where.startswith(str(home / ".local" / "lib")), where


def test_usr_local_goes_into_the_searched_dist_packages(tmp_path):
    # DESTDIR stages what `--prefix /usr/local` writes; the folder must be one
    # the interpreter searches.
    install("/usr/local", env={**os.environ, "DESTDIR": str(tmp_path)})
    found = [os.path.join(root, f) for root, _, files in os.walk(tmp_path) for f in files
             if f.startswith("zolvane") and f.endswith(".so")]
    assert len(found) == 1, found
    folder = os.path.dirname(found[0])[len(str(tmp_path)):]
    searched = subprocess.run([sys.executable, "-c", "import sys; print('\\n'.join(sys.path))"],
                              check=True, capture_output=True, text=True,
                              env=clean_env()).stdout.split()
    assert folder in searched, (folder, searched)
    assert folder.startswith("/usr/local/lib/python3")


def test_virtual_environment_prefix(tmp_path):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", "--system-site-packages",
                    str(venv)], check=True)
    install(venv)
    where = fresh_import(str(venv / "bin" / "python"), clean_env(), tmp_path)
    assert where.startswith(str(venv)), where
