"""velmora.study on a two-worker local Dask cluster, and the infarct sweep example."""
import os
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import psutil
import pytest

from velmora import study
from conftest import MODELS, REPO

TUBE = str(MODELS / "Tube")
# Bounds every wait on the cluster, so a stuck worker fails the test instead of hanging it.
SWEEP_TIMEOUT = 600
LOOPBACK = {"127.0.0.1", "::1"}


class ListeningSockets(threading.Thread):
    """Collects (pid, address) of every TCP socket this process and its children listen on, as
    /proc/net/tcp and tcp6 list them, until stopped."""

    def __init__(self):
        super().__init__(daemon=True)
        self.seen = set()
        self._stop_sampling = threading.Event()

    def run(self):
        me = psutil.Process()
        while not self._stop_sampling.wait(0.05):
            try:
                processes = [me] + me.children(recursive=True)
            except psutil.Error:
                continue
            for process in processes:
                try:
                    for connection in process.connections(kind="inet"):
                        if connection.status == psutil.CONN_LISTEN:
                            self.seen.add((process.pid, connection.laddr.ip))
                except psutil.Error:  # ended meanwhile
                    pass

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self._stop_sampling.set()
        self.join()


def test_sweep_on_a_local_cluster_equals_the_serial_loop():
    points = [{"infarct_size": size, "infarct_centre": 615, "infarct_strength": 0.0} for size in (0.0, 2.0, 4.0)]
    points.append({"contraction": 0.2})
    bad = [{"contraction": 3.0}, {"pressure": 1.0}]

    with ListeningSockets() as sockets:
        rows = study.sweep(TUBE, points + bad, ticks=40, timeout=SWEEP_TIMEOUT, picture=True)
    serial = [study.run(TUBE, p, ticks=40) for p in points]

    # Scheduler, nannies, workers and their HTTP endpoints: all on the loopback interface.
    assert {address for _, address in sockets.seen} <= LOOPBACK, sockets.seen
    assert len({pid for pid, _ in sockets.seen} - {os.getpid()}) >= 2, "the workers' sockets were never seen"

    assert len(rows) == 6
    for row, expected, parameters in zip(rows, serial, points):
        assert row["error"] is None, row["error"]
        for key, value in parameters.items():
            assert row[key] == value
        for column in ("ejection_fraction", "max_displacement", "volumes_min", "volumes_max", "ticks"):
            assert row[column] == expected[column], column
    efs = [row["ejection_fraction"] for row in rows[:4]]
    assert efs[0] > efs[1] > efs[2], "a larger infarct weakens the beat"
    assert efs[3] < efs[0]
    # Failed runs are reported in their rows, the rest of the study stands.
    assert "contraction" in rows[4]["error"] and rows[4]["ejection_fraction"] is None
    assert "unknown parameter" in rows[5]["error"] and "'pressure'" in rows[5]["error"]
    # A picture per row, drawn in the workers without any X server: the heart at end-systole, so a
    # weaker beat looks different; none for a failed run. The tube's left ventricle cannot be
    # measured: no strains.
    for row in rows[:4]:
        assert row["picture"].shape == (240, 320, 3) and row["picture"].dtype == np.uint8
        assert row["longitudinal_strain"] is None and row["twist"] is None
    assert not np.array_equal(rows[0]["picture"], rows[3]["picture"])
    assert rows[4]["picture"] is None and rows[5]["picture"] is None
    # The cluster started for the sweep is gone with it (multiprocessing's resource tracker stays
    # with this process and ends with it).
    left = [p.cmdline() for p in psutil.Process().children(recursive=True)]
    assert [c for c in left if not any("resource_tracker" in part for part in c)] == []


def test_rows_carry_the_end_systolic_strains():
    from velmora import Model

    row = study.run(str(MODELS / "ModelB"), {}, ticks=40)
    expected = Model.load(str(MODELS / "ModelB")).simulate(40).end_systole
    assert row["error"] is None
    assert (row["longitudinal_strain"], row["circumferential_strain"], row["radial_strain"], row["twist"]) == (
        expected["longitudinal"], expected["circumferential"], expected["radial"], expected["twist"])
    assert row["circumferential_strain"] < 0 < row["radial_strain"]


def test_infarct_vertices_checks_its_arguments():
    from velmora import Model

    model = Model.load(TUBE)
    inside = study.infarct_vertices(model, 615, 2.0)
    distances = np.linalg.norm(model.rest_positions - model.rest_positions[615], axis=1)
    np.testing.assert_array_equal(inside, np.flatnonzero(distances < 2.0))
    assert study.infarct_vertices(model, 615, 0.0).size == 0
    with pytest.raises(ValueError, match="vertex 5000"):
        study.infarct_vertices(model, 5000, 1.0)
    with pytest.raises(ValueError, match="infarct_size"):
        study.infarct_vertices(model, 0, float("nan"))


def test_the_infarct_sweep_example_runs(tmp_path):
    output = tmp_path / "sweep.png"
    env = dict(os.environ)
    done = subprocess.run([sys.executable, str(REPO / "examples" / "infarct_sweep.py"), "--sizes", "0", "8",
                           "--ticks", "45", "--output", str(output)], capture_output=True, text=True, env=env,
                          timeout=SWEEP_TIMEOUT)
    assert done.returncode == 0, done.stdout + done.stderr
    lines = done.stdout.splitlines()
    ef = [float(line.split()[2]) for line in lines[1:3]]
    assert ef[1] < ef[0]
    assert output.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


@pytest.mark.parametrize("source", ["file", "stdin"])
def test_a_study_script_without_the_main_guard_fails_within_a_minute(tmp_path, source):
    script = ("from velmora import study\n"
              f"rows = study.sweep({TUBE!r}, [{{}}], ticks=2)\n"
              "print('finished', rows)\n")
    (tmp_path / "unguarded.py").write_text(script)
    argv = ["/usr/bin/python3", "unguarded.py"] if source == "file" else ["/usr/bin/python3", "-"]
    started = time.monotonic()
    child = subprocess.Popen(argv, cwd=tmp_path, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        out, err = child.communicate(script if source == "stdin" else "", timeout=120)
    finally:
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGKILL)
            child.communicate()
    assert time.monotonic() - started < 60
    assert child.returncode == 1 and "finished" not in out
    last = err.strip().splitlines()[-1]
    assert last.startswith("RuntimeError: velmora.study.sweep") and 'if __name__ == "__main__":' in last, err[-3000:]
    if source == "stdin":
        assert "standard input" in last
    # Nothing the study started outlives it.
    deadline = time.monotonic() + 20
    while True:
        left = [p for p in psutil.process_iter(["pid"]) if _session_of(p.info["pid"]) == child.pid]
        if not left or time.monotonic() > deadline:
            break
        time.sleep(0.2)
    assert left == []


def _session_of(pid):
    try:
        return os.getsid(pid)
    except OSError:
        return None
