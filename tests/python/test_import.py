"""velmora.import_mesh and Model.from_arrays: meshes and fibres from other tools become models."""
import math
import pathlib

import numpy as np
import pytest

import velmora


def cylinder_shell(ring=16, height=4, layers=2):
    """Points, tetrahedra (six per cell, half of them inverted) and the ring tangent per point of
    a thick open cylinder around z."""
    index = lambda i, j, k: ((i % ring) * (height + 1) + j) * (layers + 1) + k
    points = []
    for i in range(ring):
        for j in range(height + 1):
            for k in range(layers + 1):
                angle, radius = 2 * math.pi * i / ring, 1.0 + 0.25 * k
                points.append((radius * math.cos(angle), radius * math.sin(angle), 0.3 * j))
    tets = []
    for i in range(ring):
        for j in range(height):
            for k in range(layers):
                for n, order in enumerate([(0, 1, 2), (0, 2, 1), (1, 0, 2), (1, 2, 0), (2, 0, 1), (2, 1, 0)]):
                    step, corners = [0, 0, 0], [index(i, j, k)]
                    for axis in order:
                        step[axis] += 1
                        corners.append(index(i + step[0], j + step[1], k + step[2]))
                    tets.append(corners)
    points = np.array(points)
    tangent = np.stack([-points[:, 1], points[:, 0], np.zeros(len(points))], axis=1)
    tangent /= np.linalg.norm(tangent, axis=1)[:, None]
    return points, np.array(tets), tangent


def test_from_arrays_keeps_the_fibres_as_frames_through_save_and_load(tmp_path):
    points, tets, tangent = cylinder_shell()
    # One vertex no tetrahedron uses, and fibres given as lines (every other one flipped).
    points = np.vstack([points, [[9.0, 9.0, 9.0]]])
    fibres = np.vstack([tangent * np.where(np.arange(len(tangent)) % 2, -1.0, 1.0)[:, None], [[1.0, 0.0, 0.0]]])
    base = tmp_path / "shell"
    with pytest.warns(RuntimeWarning, match="1 vertices used by no tetrahedron dropped"):
        model = velmora.Model.from_arrays(points, tets, base, fibres=fibres)
    assert model.vertex_count == len(points) - 1
    assert model.tet_count == len(tets)
    frames = model.fibre_frames
    assert np.all(np.abs(np.einsum("ij,ij->i", frames[:, 0], fibres[:-1])) > 1 - 1e-9)
    assert np.allclose(np.einsum("nij,nkj->nik", frames, frames), np.eye(3), atol=1e-5)
    assert "#VtxFrames" in (tmp_path / "shell.vm").read_text()

    model.save()
    again = velmora.Model.load(base)
    assert np.allclose(again.fibre_frames, frames, atol=1e-6)

    with pytest.raises(ValueError, match="names vertex 999"):
        velmora.Model.from_arrays(points, np.vstack([tets, [[0, 1, 2, 999]]]), tmp_path / "bad")
    bad = points.copy()
    bad[3, 1] = np.nan
    with pytest.raises(ValueError):
        velmora.Model.from_arrays(bad, tets, tmp_path / "bad")
    assert not (tmp_path / "bad.node").exists()


def test_import_mesh_reads_an_opencarp_mesh_with_its_fibres(tmp_path):
    points, tets, tangent = cylinder_shell()
    centres = points[tets].mean(axis=1)
    element_fibres = np.stack([-centres[:, 1], centres[:, 0], np.zeros(len(centres))], axis=1)
    np.savetxt(tmp_path / "shell.pts", points, header=str(len(points)), comments="")
    with open(tmp_path / "shell.elem", "w") as f:
        f.write(f"{len(tets)}\n")
        for t in tets:
            f.write("Tt %d %d %d %d 2\n" % tuple(t))
    np.savetxt(tmp_path / "shell.lon", element_fibres, header="1", comments="")

    model = velmora.import_mesh(tmp_path / "shell.pts", tmp_path / "imported")
    assert (model.vertex_count, model.tet_count) == (len(points), len(tets))
    along = np.abs(np.einsum("ij,ij->i", model.fibre_frames[:, 0], tangent))
    assert np.mean(along >= math.cos(math.radians(8))) >= 0.95

    (tmp_path / "shell.lon").write_text("1\n1 0 0\n")
    with pytest.raises(velmora.LoadError, match="shell.lon holds directions for 1 elements"):
        velmora.import_mesh(tmp_path / "shell.elem", tmp_path / "refused")
    with pytest.raises(ValueError, match="size"):
        velmora.import_mesh(tmp_path / "shell.pts", tmp_path / "refused", size=-1.0)
