"""The example of examples/ runs and prints what it promises."""
import os
import subprocess
import sys

SOURCE = os.environ.get("ZOLVANE_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))


def test_python_tour(tmp_path):
    png = tmp_path / "populations.png"
    out = subprocess.run([sys.executable, os.path.join(SOURCE, "examples", "python_tour.py"),
                          str(png)], check=True, capture_output=True, text=True, cwd=tmp_path)
    assert out.stderr == ""
    for line in ("Landscape(n=20", "slowest timescales:", "mean first passage times",
                 "committor into 0 before 19", 'StiffnessWarning:', 'eigensolver="accurate"'):
        assert line in out.stdout, out.stdout
    if "no plot" not in out.stdout:
        assert png.stat().st_size > 0
    assert sorted(os.listdir(tmp_path)) == (["populations.png"] if png.exists() else [])
