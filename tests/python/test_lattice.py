"""Model.set_lattice: the bundled heart beats through a 2,000-vertex lattice like the full one, the
lattice is cached and recorded in the project file, a changed mesh gets a new one, bad counts are
refused."""
import json
import shutil
import subprocess

import pytest

import velmora
from conftest import MODELS

# The bound on the lattice's ejection fraction, in percentage points.
EF_POINTS = 3.0


def copy_heart(folder, project=True):
    for suffix in (".node", ".ele") + ((".vm",) if project else ()):
        shutil.copy(MODELS / ("ModelB" + suffix), folder / ("ModelB" + suffix))
    return str(folder / "ModelB")


def test_bundled_heart_through_a_lattice(cli, tmp_path):
    base = copy_heart(tmp_path)
    model = velmora.Model.load(base)
    assert model.lattice is None and model.lattice_info is None
    full = model.simulate()

    model.set_lattice(2000)
    assert model.lattice == 2000
    info = model.lattice_info
    assert not info["reused_cache"]
    assert 1500 <= info["vertices"] <= 2500 and info["tetrahedra"] > info["vertices"]
    for suffix in (".lattice.node", ".lattice.ele", ".lattice.key"):
        assert (tmp_path / ("ModelB" + suffix)).is_file()
    coarse = model.simulate()
    assert coarse.finite
    assert abs(coarse.ejection_fraction - full.ejection_fraction) <= EF_POINTS
    assert coarse.max_displacement > 0.0

    # Saved, the project names the lattice; a new load and the command line reuse the cache and
    # give the very same beat.
    model.save()
    assert "#SimulationLattice" in (tmp_path / "ModelB.vm").read_text()
    again = velmora.Model.load(base)
    assert again.lattice == 2000 and again.lattice_info["reused_cache"]
    assert again.simulate().ejection_fraction == coarse.ejection_fraction
    out = subprocess.run([cli, "simulate", base, "--json", "--quiet"], capture_output=True, text=True,
                         timeout=600, check=True)
    summary = json.loads(out.stdout)
    assert summary["lattice"]["reused_cache"] and summary["lattice"]["vertices"] == info["vertices"]
    assert summary["lv_ef"] == coarse.ejection_fraction

    # Out of range: refused, the lattice kept; None: the record is gone from the next save.
    with pytest.raises(ValueError, match="at least 100"):
        again.set_lattice(99)
    with pytest.raises(ValueError):
        again.set_lattice(again.vertex_count)
    assert again.lattice == 2000
    again.lattice = None  # the property assigns as set_lattice does
    assert again.lattice is None and again.lattice_info is None
    again.save()
    assert "#SimulationLattice" not in (tmp_path / "ModelB.vm").read_text()


def test_a_changed_mesh_gets_a_new_lattice(tmp_path):
    base = copy_heart(tmp_path, project=False)
    velmora.Model.load(base).set_lattice(600)
    same = velmora.Model.load(base)
    same.set_lattice(600)
    assert same.lattice_info["reused_cache"]
    # Another count is another lattice.
    same.set_lattice(700)
    assert not same.lattice_info["reused_cache"]

    # One vertex moved: the cache no longer belongs to the mesh.
    lines = (tmp_path / "ModelB.node").read_text().splitlines()
    index, x, y, z = lines[1].split()[:4]
    lines[1] = f"{index} {float(x) + 0.01!r} {y} {z}"
    (tmp_path / "ModelB.node").write_text("\n".join(lines) + "\n")
    moved = velmora.Model.load(base)
    moved.set_lattice(700)
    assert not moved.lattice_info["reused_cache"]
