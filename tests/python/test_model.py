"""velmora.Model: figures equal to velmora-cli's, authoring as the window's tools, input checks."""
import csv
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import velmora
from conftest import MODELS, REPO

# velmora-cli writes the per-tick volumes with nine significant digits.
CSV_RELATIVE = 1e-8


@pytest.mark.parametrize("name,ticks", [("ModelB", 40), ("Tube", 100)])
def test_simulation_matches_the_command_line(cli, tmp_path, name, ticks):
    volumes_csv = tmp_path / "volumes.csv"
    indices_csv = tmp_path / "indices.csv"
    measured = name == "ModelB"  # the tube's left ventricle has no base to measure from
    out = subprocess.run([cli, "simulate", str(MODELS / name), "--ticks", str(ticks), "--json", "--quiet",
                          "--volumes", str(volumes_csv)] + (["--indices", str(indices_csv)] if measured else []),
                         capture_output=True, text=True, timeout=600, check=True)
    expected = json.loads(out.stdout)
    with open(volumes_csv) as f:
        rows = list(csv.DictReader(f))

    result = velmora.Model.load(str(MODELS / name)).simulate(ticks)
    assert result.ticks == ticks == len(rows)
    assert result.ejection_fraction == expected["lv_ef"]
    assert result.ejection_fraction > 1.0
    assert list(result.volumes_min) == expected["volumes_min"]
    assert list(result.volumes_max) == expected["volumes_max"]
    assert result.max_displacement == expected["max_displacement"]
    assert result.final_total_volume == expected["final_total_volume"]
    assert result.finite and expected["finite"]
    table = np.array([[float(r[c]) for c in ("VR", "VL", "AR", "AL")] for r in rows])
    np.testing.assert_allclose(result.volumes, table, rtol=CSV_RELATIVE)
    np.testing.assert_allclose(result.times, [float(r["time"]) for r in rows], rtol=CSV_RELATIVE)

    # The deformation indices per tick and at end-systole, as the command line gives them.
    assert result.index_names == velmora.INDEX_NAMES
    if not measured:
        assert result.indices.shape == (0, 6) and result.end_systole is None and "end_systole" not in expected
        return
    with open(indices_csv) as f:
        table = np.array([[float(r[c]) for c in velmora.INDEX_NAMES] for r in csv.DictReader(f)])
    assert result.indices.shape == (ticks, 6) and result.indices.dtype == np.float64
    np.testing.assert_allclose(result.indices, table, rtol=CSV_RELATIVE, atol=1e-12)
    assert result.end_systole == expected["end_systole"]
    assert result.end_systole["tick"] == np.argmin(result.volumes[:, 1]) + 1
    assert len(result.end_systole["segments"]) == 17
    np.testing.assert_array_equal(result.indices[result.end_systole["tick"] - 1],
                                  [result.end_systole[k] for k in velmora.INDEX_NAMES])


def test_runs_start_from_rest_and_do_not_depend_on_threads(tube):
    first = tube.simulate(30, threads=1, record_positions_every=10)
    again = tube.simulate(30, threads=2, record_positions_every=10)
    np.testing.assert_array_equal(first.volumes, again.volumes)
    np.testing.assert_array_equal(first.positions, again.positions)
    assert first.positions.shape == (3, tube.vertex_count, 3)
    assert list(first.position_ticks) == [10, 20, 30]
    np.testing.assert_array_equal(first.positions[-1], tube.positions)

    # Continuing a run is the same as running the whole length at once.
    whole = tube.simulate(60)
    tube.simulate(30)
    rest = tube.simulate(30, reset=False)
    np.testing.assert_array_equal(rest.volumes, whole.volumes[30:])
    assert first.max_displacement > 0.1


def test_load_errors_name_the_problem(tmp_path):
    with pytest.raises(velmora.LoadError, match="nothing-here"):
        velmora.Model.load(str(tmp_path / "nothing-here"))

    base = tmp_path / "broken"
    (base.with_suffix(".node")).write_text("3 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n")
    (base.with_suffix(".ele")).write_text("1 4 0\n0 0 1 2 7\n")
    with pytest.raises(velmora.LoadError) as error:
        velmora.Model.load(str(base) + ".ele")
    assert "broken" in str(error.value) and "7" in str(error.value)

    # A project file that belongs to another mesh is refused, not half applied.
    tube = tmp_path / "Tube"
    for ext in (".node", ".ele"):
        (tube.with_suffix(ext)).write_bytes((MODELS / ("Tube" + ext)).read_bytes())
    (tube.with_suffix(".vm")).write_bytes((MODELS / "ModelB.vm").read_bytes())
    with pytest.raises(velmora.LoadError, match="does not match"):
        velmora.Model.load(str(tube))


def test_empty_meshes_are_refused_with_a_load_error(tmp_path):
    header_only = tmp_path / "header_only"
    (header_only.with_suffix(".node")).write_text("0 3 0 0\n")
    (header_only.with_suffix(".ele")).write_text("0 4 0\n")
    no_tets = tmp_path / "no_tets"
    (no_tets.with_suffix(".node")).write_text("4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n")
    (no_tets.with_suffix(".ele")).write_text("0 4 0\n")
    # In a child process: a crash in the loader must fail this test, not end the whole run.
    script = ("import sys, velmora\n"
              "for base in sys.argv[1:]:\n"
              "    try:\n"
              "        velmora.Model.load(base)\n"
              "    except velmora.LoadError as error:\n"
              "        print('refused', str(error).replace('\\n', ' '))\n"
              "    else:\n"
              "        print('loaded', base)\n")
    done = subprocess.run([sys.executable, "-c", script, str(header_only), str(no_tets)], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, f"exit status {done.returncode}: {done.stderr[-2000:]}"
    lines = done.stdout.splitlines()
    assert len(lines) == 2, done.stdout
    for line, base in zip(lines, (header_only, no_tets)):
        assert line.startswith("refused") and base.name in line, line
        assert "empty" in line or "no vertices" in line or "no tetrahedra" in line, line


def test_save_keeps_a_damaged_project_file_unless_forced(tmp_path):
    for ext in (".node", ".ele", ".vm"):
        (tmp_path / ("Tube" + ext)).write_bytes((MODELS / ("Tube" + ext)).read_bytes())
    project = tmp_path / "Tube.vm"
    whole = project.read_bytes()
    project.write_bytes(whole[:len(whole) // 2])
    with pytest.warns(RuntimeWarning, match="damaged"):
        model = velmora.Model.load(str(tmp_path / "Tube"))
    model.waves = 0.25

    # The default target, and the same file named another way, are refused; the file is untouched.
    for target in (None, str(tmp_path / "." / "Tube.vm")):
        with pytest.raises(ValueError, match=r"Tube\.vm' was not read completely \(.*line \d+.*\).*force=True"):
            model.save(target)
        assert project.read_bytes() == whole[:len(whole) // 2]
    # Another file clobbers nothing.
    (tmp_path / "copy").mkdir()
    for ext in (".node", ".ele"):
        (tmp_path / "copy" / ("Tube" + ext)).write_bytes((MODELS / ("Tube" + ext)).read_bytes())
    assert model.save(tmp_path / "copy" / "Tube.vm") == str(tmp_path / "copy" / "Tube.vm")
    assert velmora.Model.load(str(tmp_path / "copy" / "Tube")).waves == 0.25

    assert model.save(force=True) == str(project)
    assert velmora.Model.load(str(project)).waves == 0.25
    # The file now holds the whole model: the next save needs no force.
    model.waves = 0.5
    model.save()
    assert velmora.Model.load(str(project)).waves == 0.5


def test_calls_from_another_thread_are_refused_while_a_run_holds_the_model(tube, tmp_path):
    n = tube.vertex_count
    tube.simulate(3)  # the first run sets up; time the next
    started = time.perf_counter()
    tube.simulate(10)
    ticks = max(20, int(4.0 / ((time.perf_counter() - started) / 10)))  # a run of about 4 s
    before = (tube.contraction, tube.amplitude, tube.labels, tube.constraints("phase")[1].size)
    outcome = {}

    def beat():
        try:
            outcome["result"] = tube.simulate(ticks, record_positions_every=ticks)
        except BaseException as error:  # reported by the main thread
            outcome["error"] = error

    runner = threading.Thread(target=beat)

    class StartsTheRunWhileConverted:
        """A value whose conversion lets the run begin after the setter's first look at the model."""

        def __array__(self, dtype=None):
            runner.start()
            deadline = time.monotonic() + 120
            while not tube.simulating:
                assert time.monotonic() < deadline and runner.is_alive(), outcome
                time.sleep(0.005)
            return np.full(n, 0.5)

    busy = "simulating in another thread"
    try:
        # The setter neither waits for the run to end nor writes into it.
        with pytest.raises(RuntimeError, match=busy):
            tube.amplitude = StartsTheRunWhileConverted()
        calls = {
            "positions": lambda: tube.positions, "rest_positions": lambda: tube.rest_positions,
            "tetrahedra": lambda: tube.tetrahedra, "labels": lambda: tube.labels, "phase": lambda: tube.phase,
            "depth": lambda: tube.depth, "fibre_frames": lambda: tube.fibre_frames,
            "vertex_count": lambda: tube.vertex_count, "fields_pending": lambda: tube.fields_pending,
            "chart_atria": lambda: tube.chart_atria, "iterations": lambda: tube.iterations,
            "constraints": lambda: tube.constraints("phase"), "walls": lambda: tube.chamber_wall_vertices(1),
            "repr": lambda: repr(tube),
            "set contraction": lambda: setattr(tube, "contraction", 0.3),
            "set labels": lambda: setattr(tube, "labels", np.ones(n, dtype=int)),
            "add_constraints": lambda: tube.add_constraints("phase", [1, 2], 1.0),
            "paint_amplitude": lambda: tube.paint_amplitude([5], 0.0),
            "update_fields": lambda: tube.update_fields(True),
            "save": lambda: tube.save(tmp_path / "during.vm"),
            "simulate": lambda: tube.simulate(1),
        }
        for name, call in calls.items():
            with pytest.raises(RuntimeError, match=busy):
                call()
            assert tube.simulating, f"the run ended before {name} was tried: make it longer"
    finally:
        if runner.ident is not None:
            runner.join(timeout=900)
    assert not runner.is_alive() and not tube.simulating
    assert "error" not in outcome, outcome.get("error")
    result = outcome["result"]
    assert result.ticks == ticks and result.finite

    # Nothing the refused calls carried reached the model, and every call works again.
    np.testing.assert_array_equal(tube.positions, result.positions[-1])
    assert tube.contraction == before[0]
    np.testing.assert_array_equal(tube.amplitude, before[1])
    np.testing.assert_array_equal(tube.labels, before[2])
    assert tube.constraints("phase")[1].size == before[3]
    assert not (tmp_path / "during.vm").exists()
    tube.contraction = 0.3
    assert tube.save(tmp_path / "after.vm") == str(tmp_path / "after.vm")
    assert tube.simulate(2).ticks == 2


def test_phase_and_amplitude_constraints_are_solved_like_the_paint_tools(tube):
    n = tube.vertex_count
    ring = list(range(0, 30))  # the first level's inner layer of the tube
    top = list(range(n - 30, n))
    assert tube.add_constraints("phase", ring, 1.0) == 30
    # The tools skip a vertex that already carries a constraint.
    assert tube.add_constraints("phase", ring[:5], 1.0) == 0
    assert tube.add_constraints("phase", top, 0.0) == 30
    assert tube.fields_pending
    assert tube.update_fields()
    assert not tube.fields_pending
    phase = tube.phase
    assert np.all(phase[ring] > 0.9) and np.all(phase[top] < 0.1)
    middle = phase[(n // 2 - 60):(n // 2 + 60)]
    assert np.all((middle > 0.1) & (middle < 0.9)), "a harmonic field lies between its constraints"
    where, targets = tube.constraints("phase")
    assert where.shape == (60, 3) and sorted(set(targets)) == [0.0, 1.0]
    np.testing.assert_allclose(where[:30], tube.rest_positions[ring])

    tube.clear_constraints("phase")
    assert tube.constraints("phase")[1].size == 0
    np.testing.assert_array_equal(tube.phase, np.zeros(n))

    before = tube.amplitude
    painted = tube.paint_amplitude([600], 0.0)
    after = tube.amplitude
    assert painted == np.count_nonzero(after != before) > 1
    assert after[600] == 0.0
    assert tube.paint_amplitude([600], -1.0, neighbourhood=False) == 1

    # Constraints placed before a brush stroke are solved first: the stroke survives the run.
    tube.add_constraints("amplitude", top, -1.0)
    tube.paint_amplitude([600], 0.5, neighbourhood=False)
    tube.simulate(1)
    assert tube.amplitude[600] == 0.5 and np.all(tube.amplitude[top] < -0.9)


def test_a_painted_infarct_weakens_the_beat_and_labels_round_trip(tmp_path):
    for ext in (".node", ".ele", ".vm"):
        (tmp_path / ("Tube" + ext)).write_bytes((MODELS / ("Tube" + ext)).read_bytes())
    model = velmora.Model.load(str(tmp_path / "Tube"))
    healthy = model.simulate(50).ejection_fraction
    model.paint_amplitude(np.arange(0, 1200, 2), 0.0)
    assert model.simulate(50).ejection_fraction < healthy - 1.0

    model.set_labels(range(0, 300), 2)
    model.waves = 0.25
    model.chart_ventricles = [[0.0, 0.0], [0.5, 1.0]]
    model.add_constraints("phase", [5, 6], 1.0)
    saved = model.save()
    assert saved == str(tmp_path / "Tube") + ".vm"
    again = velmora.Model.load(saved)
    np.testing.assert_array_equal(again.labels, model.labels)
    assert again.waves == 0.25
    np.testing.assert_array_equal(again.chart_ventricles, [[0.0, 0.0], [0.5, 1.0]])
    assert again.constraints("phase")[1].tolist() == [1.0, 1.0]


@pytest.mark.parametrize("action,message", [
    (lambda m: setattr(m, "phase", np.zeros(7)), r"phase: expected shape \(1200,\)"),
    (lambda m: setattr(m, "phase", np.full(1200, np.nan)), "phase: value 0 is not a finite number"),
    (lambda m: setattr(m, "amplitude", np.full(1200, 1.5)), r"amplitude: value 1.5 at vertex 0 is outside"),
    (lambda m: setattr(m, "depth", np.zeros((1200, 2))), r"depth: expected shape"),
    (lambda m: setattr(m, "labels", np.full(1200, 3)), "labels: 3 at vertex 0"),
    (lambda m: setattr(m, "labels", np.ones(1200)), "labels: expected integers"),
    (lambda m: setattr(m, "fibre_frames", np.ones((1200, 3, 3))), "fibre_frames: row 0 of vertex 0"),
    (lambda m: setattr(m, "chart_ventricles", [[0.1, 0.0]]), "first point must lie at x = 0"),
    (lambda m: setattr(m, "chart_atria", [[0.0, 0.0], [0.5, 0.2], [0.5, 0.3]]), "x must increase"),
    (lambda m: setattr(m, "chart_atria", [[0.0, 0.0], [0.5, 2.0]]), "y: 2 is outside"),
    (lambda m: setattr(m, "contraction", 0.0), "contraction"),
    (lambda m: setattr(m, "cycle_length", float("nan")), "cycle_length: not a finite number"),
    (lambda m: setattr(m, "iterations", 31), "iterations: 31 is outside 1..30"),
    (lambda m: m.add_constraints("phase", [1200], 0.5), "vertex 1200 is outside 0..1199"),
    (lambda m: m.add_constraints("phase", [0.5], 0.5), "vertex indices must be integers"),
    (lambda m: m.add_constraints("phase", [1], 2.0), "phase constraint value: 2 is outside"),
    (lambda m: m.add_constraints("speed", [1], 0.5), "'speed' is not one of"),
    (lambda m: m.paint_amplitude([-1], 0.0), "vertex -1 is outside"),
    (lambda m: m.set_labels([0], 5), "label: 5"),
    (lambda m: m.simulate(0), "ticks: 0"),
    (lambda m: m.simulate(5, threads=0), "threads: 0"),
])
def test_bad_input_raises_value_error_and_changes_nothing(tube, action, message):
    before = (tube.phase, tube.amplitude, tube.labels, tube.fibre_frames, tube.chart_atria, tube.contraction)
    with pytest.raises(ValueError, match=message):
        action(tube)
    after = (tube.phase, tube.amplitude, tube.labels, tube.fibre_frames, tube.chart_atria, tube.contraction)
    for a, b in zip(before, after):
        np.testing.assert_array_equal(a, b)


def test_ctrl_c_stops_a_run_between_ticks():
    script = (
        "import sys, velmora\n"
        f"m = velmora.Model.load({str(MODELS / 'Tube')!r})\n"
        "print('ready', flush=True)\n"
        "try:\n"
        "    m.simulate(10000000)\n"
        "except KeyboardInterrupt:\n"
        "    print('interrupted', flush=True)\n"
        "print(m.simulate(20).ejection_fraction == velmora.Model.load(m.path).simulate(20).ejection_fraction)\n")
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(1.0)
        child.send_signal(signal.SIGINT)
        out, _ = child.communicate(timeout=120)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert out.split() == ["interrupted", "True"]
    assert child.returncode == 0


def test_the_installed_package_gives_the_same_figures(tmp_path):
    build = pathlib.Path(velmora.__file__).resolve().parents[2]
    if not (build / "CMakeCache.txt").exists():
        pytest.skip("velmora is not imported from a build tree")
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(prefix)], check=True, capture_output=True,
                   timeout=600)
    package = prefix / "lib" / "python3" / "dist-packages" / "velmora"
    assert (package / "__init__.pyi").exists() and (package / "libvelmora_umfpack.so").exists()
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env["PYTHONPATH"] = str(package.parent)
    code = ("import velmora; print(velmora.__file__); "
            f"print(repr(velmora.Model.load({str(MODELS / 'Tube')!r}).simulate(60).ejection_fraction)); "
            # The heart shader is installed beside the module: without it render() refuses.
            f"print(velmora.Model.load({str(MODELS / 'Tube')!r}).render(size=(32, 24)).shape)")
    done = subprocess.run(["/usr/bin/python3", "-W", "error::RuntimeWarning", "-c", code], cwd=tmp_path, env=env,
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    where, figure, shape = done.stdout.splitlines()
    assert where.startswith(str(package))
    assert shape == "(24, 32, 3)"
    assert float(figure) == velmora.Model.load(str(MODELS / "Tube")).simulate(60).ejection_fraction


def _left_ventricular_axis(model):
    """The long axis ez of the deformation indices for a closed left-ventricular wall, from their
    definition: base B = the mean of the ventricle vertices sharing a tetrahedron with an atrium vertex
    that are no farther from the left wall than from the right one; apex = the left-wall vertex
    farthest from B."""
    rest, labels, tets = model.rest_positions, model.labels, model.tetrahedra
    left, right = rest[model.chamber_wall_vertices(1)], rest[model.chamber_wall_vertices(0)]
    beside_atrium = np.unique(tets[(labels[tets] == 2).any(axis=1)])
    candidates = beside_atrium[labels[beside_atrium] == 1]

    def nearest(points, wall):
        return np.array([np.min(np.linalg.norm(wall - p, axis=1)) for p in points])

    base = rest[candidates][nearest(rest[candidates], left) <= nearest(rest[candidates], right)].mean(axis=0)
    apex = left[np.argmax(np.linalg.norm(left - base, axis=1))]
    return (base - apex) / np.linalg.norm(base - apex)


def _rotation(axis, degrees):
    """Right-handed rotation matrix about the unit axis (Rodrigues)."""
    k = np.array([[0, -axis[2], axis[1]], [axis[2], 0, -axis[0]], [-axis[1], axis[0], 0]])
    a = np.radians(degrees)
    return np.eye(3) + np.sin(a) * k + (1 - np.cos(a)) * k @ k


def test_deformation_indices_of_analytic_deformations(tmp_path):
    heart = velmora.Model.load(str(MODELS / "ModelB"))
    rest = heart.rest_positions
    centre = rest.mean(axis=0)
    at_rest = heart.deformation_indices()
    assert set(at_rest) == {*velmora.INDEX_NAMES, "segments", "myocardium_tetrahedra"}
    assert at_rest["myocardium_tetrahedra"] > 1000
    assert [s["segment"] for s in at_rest["segments"]] == list(range(1, 18))
    for key in velmora.INDEX_NAMES:
        assert abs(at_rest[key]) < 1e-9, key

    # Growing by 10 % about any point: every strain +10 %, globally and per segment, nothing turns.
    grown = heart.deformation_indices(centre + 1.1 * (rest - centre))
    for key in ("longitudinal", "circumferential", "radial"):
        assert grown[key] == pytest.approx(10.0, abs=1e-9)
        assert all(s[key] == pytest.approx(10.0, abs=1e-9) for s in grown["segments"] if s["tetrahedra"])
    assert max(abs(grown[k]) for k in ("apical_rotation", "basal_rotation", "twist")) < 1e-9

    # Turning the whole heart 15 degrees right-handed about its long axis: no strain, apex and base
    # both turn clockwise seen from the apex (-15 degrees), no twist.
    ez = _left_ventricular_axis(heart)
    turned = heart.deformation_indices(centre + (rest - centre) @ _rotation(ez, 15.0).T)
    assert turned["apical_rotation"] == pytest.approx(-15.0, abs=1e-6)
    assert turned["basal_rotation"] == pytest.approx(-15.0, abs=1e-6)
    assert abs(turned["twist"]) < 1e-6
    assert max(abs(turned[k]) for k in ("longitudinal", "circumferential", "radial")) < 1e-9

    # Positions of the wrong shape, and a model without a left-ventricular wall, are refused.
    with pytest.raises(ValueError, match=r"positions: expected shape"):
        heart.deformation_indices(rest[:-1])
    for ext in (".node", ".ele"):
        (tmp_path / ("ModelB" + ext)).write_bytes((MODELS / ("ModelB" + ext)).read_bytes())
    unpainted = velmora.Model.load(str(tmp_path / "ModelB"))
    with pytest.raises(ValueError, match=r"no left-ventricular wall painted \(VL\)"):
        unpainted.deformation_indices()
    result = unpainted.simulate(2)
    assert result.indices.shape == (0, 6) and result.end_systole is None


def _read_png(path):
    from PIL import Image

    return np.asarray(Image.open(path).convert("RGB"))


def test_render_draws_the_heart_as_the_command_line_does(cli, tmp_path):
    heart = velmora.Model.load(str(MODELS / "ModelB"))
    picture = heart.render(size=(160, 120), tick=5, show=("walls",), camera="fit")
    assert picture.shape == (120, 160, 3) and picture.dtype == np.uint8
    # The background has no red; the heart's wall is red and fills the middle.
    assert (picture[40:80, 53:107, 0] > 60).mean() > 0.5
    assert picture[:10, 0, 0].max() == 0
    np.testing.assert_array_equal(heart.render(size=(160, 120), show="walls", camera="fit"), picture)

    # The same picture from velmora-cli, and from another interpreter without any X server.
    subprocess.run([cli, "render", str(MODELS / "ModelB"), str(tmp_path / "cli.png"), "--tick", "5", "--size",
                    "160x120", "--show", "walls", "--camera", "fit", "--quiet"], env=_without_display(), check=True,
                   capture_output=True, timeout=600)
    np.testing.assert_array_equal(_read_png(tmp_path / "cli.png"), picture)
    code = ("import sys, numpy, velmora\n"
            f"m = velmora.Model.load({str(MODELS / 'ModelB')!r})\n"
            "numpy.save(sys.argv[1], m.render(size=(160, 120), tick=5, show=['walls'], camera='fit'))\n")
    subprocess.run([sys.executable, "-c", code, str(tmp_path / "child.npy")], env=_without_display(), check=True,
                   capture_output=True, timeout=600)
    np.testing.assert_array_equal(np.load(tmp_path / "child.npy"), picture)

    for kwargs, message in (({"size": (0, 10)}, "from 1 to 8192"), ({"show": ["fibers"]}, "'fibers'"),
                            ({"camera": "above"}, "'above'"), ({"tick": -1}, "tick: -1")):
        with pytest.raises(ValueError, match=message):
            heart.render(**kwargs)


def _without_display():
    return {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}


def _probe(path):
    done = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                           "stream=codec_name,width,height,nb_read_frames", "-of", "csv=p=0", str(path)],
                          capture_output=True, text=True, timeout=120)
    return done.stdout.strip().rstrip(",")


def test_movie_writes_its_frames_and_leaves_nothing_on_failure(tube, tmp_path):
    if shutil.which("ffprobe") is None:
        pytest.skip("ffprobe (package ffmpeg) is not installed")
    done = []
    path = tube.movie(tmp_path / "beat.mp4", ticks=20, every=4, size=(160, 120), plot=True,
                      progress=lambda frame, frames: done.append((frame, frames)))
    assert path == str(tmp_path / "beat.mp4")
    assert _probe(path) == "h264,160,120,5"
    assert done == [(f, 5) for f in range(1, 6)]
    # The model holds the movie's last tick.
    assert not np.array_equal(tube.positions, tube.rest_positions)

    def stop(frame, frames):
        if frame == 2:
            raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        tube.movie(tmp_path / "stopped.gif", ticks=10, progress=stop)
    for kwargs, message in (({"size": (161, 120)}, "even"), ({"show": "mesh,vertex"}, "'vertex'"),
                            ({"fps": 0}, "fps: 0"), ({"ticks": 3, "every": 4}, "no frame")):
        with pytest.raises(ValueError, match=message):
            tube.movie(tmp_path / "bad.mp4", **kwargs)
    with pytest.raises(ValueError, match=r"\.mp4, \.webm or \.gif"):
        tube.movie(tmp_path / "beat.mov")
    with pytest.raises(ValueError, match="missing"):
        tube.movie(tmp_path / "missing" / "beat.gif")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["beat.mp4"]
