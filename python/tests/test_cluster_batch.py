"""The Dask example writes what `vornalix batch` writes, on a local two-worker cluster."""

import os
import subprocess
import sys

import numpy as np
import pytest

from conftest import synthetic_rgb, write_png

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "examples", "cluster_batch.py")
CLI = os.environ.get("VORNALIX_CLI")

pytest.importorskip("distributed")


@pytest.mark.skipif(not CLI, reason="VORNALIX_CLI names the command-line program")
def test_cluster_batch_matches_the_local_batch(tmp_path):
    # Three good photos (two sharing a stem, one PNG named .tif) and one corrupt file.
    src = tmp_path / "in"
    src.mkdir()
    write_png(src / "a.png", synthetic_rgb(40, 30, seed=1))
    write_png(src / "a.tif", synthetic_rgb(30, 40, seed=2))
    write_png(src / "b.png", np.flipud(synthetic_rgb(48, 32, seed=3)))
    (src / "bad.jpg").write_bytes(b"\xff\xd8 not really a JPEG")
    folder = sorted(str(p) for p in src.iterdir())
    look = tmp_path / "look.json"
    look.write_text('{"version": 1, "exposure": 0.3, "contrast": 15, "tint": 5}')
    env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
    outputs = {}
    for name, command in [("local", [CLI, "batch", *folder, "--jobs", "2"]),
                          ("cluster", [sys.executable, EXAMPLE, *folder, "--workers", "2"])]:
        out = tmp_path / name
        result = subprocess.run([*command, "-o", str(out), "--settings", str(look)], capture_output=True, text=True,
                                env=env, timeout=300)
        assert result.returncode == 1, result.stdout + result.stderr
        summary = result.stdout + result.stderr  # the program's summary is on stderr
        assert "developed 3 of 4 files" in summary and "bad.jpg" in summary.split("failed (1):")[1]
        outputs[name] = {p.name: p.read_bytes() for p in out.iterdir()}
    assert sorted(outputs["local"]) == ["a.png.jpg", "a.tif.jpg", "b.jpg"]
    assert outputs["cluster"] == outputs["local"]


def test_output_names_never_meet_and_never_hit_an_input(tmp_path):
    sys.path.insert(0, os.path.dirname(EXAMPLE))
    from cluster_batch import plan_outputs

    inputs = [str(tmp_path / "x" / "IMG_1.CR2"), str(tmp_path / "x" / "IMG_1.jpg"), str(tmp_path / "y" / "IMG_1.jpg"),
              str(tmp_path / "x" / "img_2.jpg"), str(tmp_path / "x" / "IMG_3.tif")]
    outputs = [os.path.basename(p) for p in plan_outputs(inputs, str(tmp_path / "x"), "jpg")]
    assert outputs == ["IMG_1.CR2.jpg", "IMG_1.jpg.jpg", "IMG_1.jpg-2.jpg", "img_2.jpg.jpg", "IMG_3.jpg"]
