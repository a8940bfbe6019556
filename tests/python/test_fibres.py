"""Rule-based fibres, the transmural coordinate, chamber walls from triangles and the cross-fibre
exponent from Python: what they set, what the project file keeps, and the refusals."""
import numpy as np
import pytest

import velmora
from conftest import MODELS


@pytest.fixture
def heart():
    return velmora.Model.load(str(MODELS / "ModelB"))


def test_transmural_is_zero_on_the_walls_and_one_on_the_outer_surface(heart):
    t = heart.transmural
    walls = np.unique(np.concatenate([heart.chamber_wall_vertices(c) for c in range(4)]))
    outer = np.setdiff1d(np.unique(heart.surface_triangles), walls)
    assert t.shape == (heart.vertex_count,)
    assert np.all(t[walls] == 0.0) and np.all(t[outer] == 1.0)
    inside = np.setdiff1d(np.arange(heart.vertex_count), np.union1d(walls, outer))
    assert 0.0 < t[inside].min() and t[inside].max() < 1.0


def test_rule_based_fibres_set_the_ventricles_and_are_saved(heart, tmp_path):
    before = heart.fibre_frames
    report = heart.rule_based_fibres(endo=45.0, epi=-45.0)
    after = heart.fibre_frames
    atrium = heart.labels == 2
    assert np.array_equal(after[atrium], before[atrium])
    assert not np.allclose(after[~atrium], before[~atrium])
    assert np.abs(np.einsum("ij,ij->i", after[:, 0], after[:, 1])).max() < 1e-12  # fibre across the depth
    assert heart.rule_based_fibres_in_force == (45.0, -45.0)
    means = [band["helix"] for band in report["free_wall_helix"] if band["vertices"]]
    assert means == sorted(means, reverse=True) and means[0] > 30.0 and means[-1] < -30.0

    heart.cross_fibre_exponent = 0.25
    heart.save(str(tmp_path / "h.vm"))
    for ext in (".node", ".ele"):
        (tmp_path / ("h" + ext)).write_bytes((MODELS / ("ModelB" + ext)).read_bytes())
    again = velmora.Model.load(str(tmp_path / "h"))
    assert again.rule_based_fibres_in_force == (45.0, -45.0)
    assert again.cross_fibre_exponent == 0.25
    assert np.allclose(again.fibre_frames, after, atol=1e-12)

    # Frames a script sets end the rule, so that a save no longer claims them to be rule-based.
    again.fibre_frames = before
    assert again.rule_based_fibres_in_force is None


def test_chamber_walls_from_triangles_and_the_refusals(heart):
    triangles = heart.surface_triangles
    with pytest.raises(ValueError, match="vertex"):
        heart.set_chamber_wall(1, [[0, 1, heart.vertex_count]])
    with pytest.raises(ValueError, match="repeats"):
        heart.set_chamber_wall(1, [[0, 0, 1]])
    with pytest.raises(ValueError):
        heart.cross_fibre_exponent = -0.6
    with pytest.raises(ValueError, match="within -90 to 90"):
        heart.rule_based_fibres(endo=91.0)
    heart.set_chamber_wall(1, np.zeros((0, 3), dtype=int))
    assert len(heart.chamber_wall_vertices(1)) == 0
    with pytest.raises(ValueError, match="no left-ventricular wall painted"):
        heart.rule_based_fibres()
    heart.set_chamber_wall(3, triangles[:10])
    assert set(heart.chamber_wall_vertices(3)) == set(np.unique(triangles[:10]))
