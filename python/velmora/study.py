"""Studies over many simulations: one run per parameter set, spread over a Dask cluster.

    >>> from velmora import study
    >>> rows = study.sweep("models/ModelB", [{"contraction": a} for a in (0.3, 0.4, 0.5)], ticks=300)
    >>> [(r["contraction"], r["ejection_fraction"], r["error"]) for r in rows]

Without a client, sweep starts a local cluster of two worker processes (one thread each) and shuts
it down afterwards; pass ``dask.distributed.Client("tcp://scheduler:8786")`` to run the same study on
a cluster whose workers can import velmora and read the model path.

The local cluster listens on the loopback interface only (scheduler, nannies, workers and their
HTTP endpoints). Its worker processes start by importing the main script again, so a script that
calls sweep must do so under ``if __name__ == "__main__":``, and cannot be read from standard
input; sweep checks this before it starts the cluster and raises RuntimeError naming the cause,
and a cluster whose workers do not come up within WORKER_START_SECONDS raises too.

Parameters a row may set (anything else fails that row):

* model properties: ``contraction``, ``cycle_length``, ``waves``, ``waves_atria``, ``propagation``,
  ``propagation_atria``, ``iterations``;
* an infarct: ``infarct_size`` (radius in model units; 0 paints nothing) around ``infarct_centre``
  (a vertex index or an (x, y, z) rest position) with contraction strength ``infarct_strength``
  (default 0.0), painted as the window's infarct brush paints;
* ``ticks``: the run's length for this row (else the sweep's ``ticks``, else one cycle).
"""
from __future__ import annotations

import multiprocessing
import os
import sys
import time
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Tuple

import numpy as np

from . import _core

#: Model properties a parameter set may assign directly.
MODEL_PARAMETERS = ("contraction", "cycle_length", "waves", "waves_atria", "propagation", "propagation_atria",
                    "iterations")
#: Parameters of the infarct a parameter set may paint.
INFARCT_PARAMETERS = ("infarct_size", "infarct_centre", "infarct_strength")

#: Result columns every row of a sweep carries (None where the run failed). The strains (percent)
#: and the twist (degrees) are those at end-systole (SimulationResult.end_systole), None when the
#: model cannot be measured (no left-ventricular wall painted).
RESULT_COLUMNS = ("ejection_fraction", "max_displacement", "volumes_min", "volumes_max", "finite", "ticks",
                  "longitudinal_strain", "circumferential_strain", "radial_strain", "twist", "seconds", "error")

#: The end-systole indices behind the strain columns.
_END_SYSTOLE_COLUMNS = (("longitudinal_strain", "longitudinal"), ("circumferential_strain", "circumferential"),
                        ("radial_strain", "radial"), ("twist", "twist"))

#: (width, height) of the pictures of sweep(picture=True): small enough to keep a few hundred rows
#: in memory (230 kB each), large enough to tell the beats apart.
PICTURE_SIZE = (320, 240)

#: Seconds a local cluster's worker processes get to start (the check of the main script included)
#: before sweep gives up with a RuntimeError.
WORKER_START_SECONDS = 30.0

#: The loopback address every socket of a local cluster is bound to (port 0: any free port).
LOOPBACK = "127.0.0.1"

_MAIN_GUARD = 'if __name__ == "__main__":'
_MAIN_GUARD_CAUSE = (f"The usual cause is a script without `{_MAIN_GUARD}` around the study: worker processes start "
                     "by importing the main script again, and there it must not start the study once more.")


def infarct_vertices(model: "_core.Model", centre: Any, size: float) -> np.ndarray:
    """Vertices whose rest position lies closer than size to centre (a vertex index or a point)."""
    rest = model.rest_positions
    if isinstance(centre, (int, np.integer)):
        if not 0 <= int(centre) < len(rest):
            raise ValueError(f"infarct_centre: vertex {int(centre)} is outside 0..{len(rest) - 1}")
        point = rest[int(centre)]
    else:
        point = np.asarray(centre, dtype=float)
        if point.shape != (3,) or not np.all(np.isfinite(point)):
            raise ValueError("infarct_centre: expected a vertex index or a finite (x, y, z) point")
    size = float(size)
    if not np.isfinite(size) or size < 0:
        raise ValueError(f"infarct_size: {size} is not a finite radius >= 0")
    return np.flatnonzero(np.linalg.norm(rest - point, axis=1) < size)


def apply_parameters(model: "_core.Model", parameters: Mapping[str, Any]) -> None:
    """Applies one parameter set to a freshly loaded model (see the module's list of names)."""
    unknown = [k for k in parameters if k not in MODEL_PARAMETERS and k not in INFARCT_PARAMETERS and k != "ticks"]
    if unknown:
        raise ValueError(f"unknown parameter(s) {', '.join(map(repr, unknown))}; known: "
                         f"{', '.join(MODEL_PARAMETERS + INFARCT_PARAMETERS + ('ticks',))}")
    for name in MODEL_PARAMETERS:
        if name in parameters:
            setattr(model, name, parameters[name])
    if "infarct_size" in parameters:
        if "infarct_centre" not in parameters:
            raise ValueError("infarct_size needs infarct_centre (a vertex index or a point)")
        vertices = infarct_vertices(model, parameters["infarct_centre"], parameters["infarct_size"])
        if len(vertices):
            model.paint_amplitude(vertices, float(parameters.get("infarct_strength", 0.0)), neighbourhood=False)


def _picture_size(picture: Any) -> Optional[Tuple[int, int]]:
    """None for no picture, PICTURE_SIZE for True, else the (width, height) given."""
    if picture is False or picture is None:
        return None
    if picture is True:
        return PICTURE_SIZE
    width, height = picture
    return int(width), int(height)


def run(base: str, parameters: Mapping[str, Any], ticks: Optional[int] = None,
        setup: Optional[Callable[["_core.Model", Mapping[str, Any]], None]] = None,
        keep_volumes: bool = False, picture: Any = False) -> Dict[str, Any]:
    """One row of a study, in this process: load base, apply the parameters (or call
    setup(model, parameters)), simulate, and return the parameters with the result columns
    (and "picture" when asked, see sweep). A failure is reported in the row's "error" column,
    never raised."""
    row: Dict[str, Any] = dict(parameters)
    row.update({column: None for column in RESULT_COLUMNS})
    size = _picture_size(picture)
    if size is not None:
        row["picture"] = None
    started = time.perf_counter()
    try:
        model = _core.Model.load(base)
        (setup or apply_parameters)(model, parameters)
        length = parameters.get("ticks", ticks)
        # One thread per run: the workers themselves share out the cores.
        result = model.simulate(length, threads=1)
        row.update(ejection_fraction=result.ejection_fraction, max_displacement=result.max_displacement,
                   volumes_min=tuple(result.volumes_min), volumes_max=tuple(result.volumes_max),
                   finite=result.finite, ticks=result.ticks)
        if result.end_systole is not None:
            row.update({column: result.end_systole[key] for column, key in _END_SYSTOLE_COLUMNS})
        if keep_volumes:
            row["volumes"] = result.volumes
        if size is not None and result.ticks > 0:
            # The heart at its smallest left-ventricular volume (the end-systole tick), from the
            # window's start camera so that the rows compare; the run is repeated up to that tick.
            tick = int(np.argmin(result.volumes[:, 1])) + 1
            row["picture"] = model.render(size=size, tick=tick)
        if not result.finite:
            row["error"] = "the simulation produced a value that is not a finite number"
    except Exception as error:  # one failed run must not end the study
        row["error"] = f"{type(error).__name__}: {error}"
    row["seconds"] = time.perf_counter() - started
    return row


def _package_parent() -> str:
    return os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _describe(error: BaseException) -> str:
    return f"{type(error).__name__}: {error}" if str(error) else type(error).__name__


def _starting_worker_process() -> bool:
    """True while this process is a spawned child still importing the parent's main script (the
    state in which multiprocessing itself refuses to start processes)."""
    return bool(getattr(multiprocessing.current_process(), "_inheriting", False))


def _main_script_path() -> Optional[str]:
    """The file a spawned process runs to recreate this program's main module, or None when it
    imports none (an interactive session, ``python -c``, a package's ``__main__``)."""
    main = sys.modules.get("__main__")
    # A script run by path is loaded under the name "__main__"; a module run with -m under its own.
    name = getattr(getattr(main, "__loader__", None), "name", None)
    if isinstance(name, str) and name != "__main__":
        return None if name.endswith(".__main__") else getattr(main, "__file__", name)
    path = getattr(main, "__file__", None)
    if path is None:
        return None
    return os.path.join(multiprocessing.process.ORIGINAL_DIR or os.getcwd(), path)


def _worker_start_probe() -> None:
    """Target of the check process: reaching it means the main script was imported."""


def _check_workers_can_start(context: Any, deadline: float) -> None:
    """Starts one process the way the cluster starts its workers and raises RuntimeError, naming the
    cause, when it cannot import the main script: the workers would fail the same way, over and
    over, while the cluster waited for them."""
    if context.get_start_method() == "fork":
        return
    script = _main_script_path()
    if script is None:
        return
    failed = "velmora.study.sweep: the worker processes of a local Dask cluster cannot start"
    if sys.modules["__main__"].__spec__ is None and not os.path.isfile(script):
        raise RuntimeError(f"{failed}: they start by importing the main script, and this one was read from standard "
                           f"input ({os.path.basename(script)!r} is no file). Save the script to a file and put the "
                           f"study under `{_MAIN_GUARD}`.")
    probe = context.Process(target=_worker_start_probe, name="velmora worker start check", daemon=True)
    probe.start()
    probe.join(max(1.0, deadline - time.monotonic()))
    if probe.exitcode is None:
        probe.kill()
        probe.join()
        raise RuntimeError(f"{failed}: a new process importing the main script {script!r} did not finish within "
                           f"{WORKER_START_SECONDS:g} s. {_MAIN_GUARD_CAUSE}")
    if probe.exitcode != 0:
        raise RuntimeError(f"{failed}: a new process importing the main script {script!r} failed (exit status "
                           f"{probe.exitcode}; its error is printed above). {_MAIN_GUARD_CAUSE}")


def _start_local_cluster(n_workers: int) -> Tuple[Any, Any]:
    """A local cluster of n_workers processes (one thread each), every socket on the loopback
    interface, with its workers registered; RuntimeError naming the usual cause when they do not
    come up within WORKER_START_SECONDS."""
    from dask.distributed import Client, LocalCluster
    from distributed.utils import get_mp_context

    deadline = time.monotonic() + WORKER_START_SECONDS
    _check_workers_can_start(get_mp_context(), deadline)
    failed = "velmora.study.sweep: the worker processes of the local Dask cluster did not start"
    # The HTTP endpoints (the scheduler's and each worker's) listen on all interfaces unless given an
    # address; the dashboards stay off, the endpoints are bound like the rest. death_timeout bounds
    # each worker's start, which otherwise repeats without end when the worker process dies.
    try:
        cluster = LocalCluster(n_workers=n_workers, threads_per_worker=1, processes=True, host=LOOPBACK,
                               dashboard_address=None, worker_dashboard_address=f"{LOOPBACK}:0",
                               scheduler_kwargs={"dashboard": False, "dashboard_address": f"{LOOPBACK}:0"},
                               death_timeout=max(5.0, deadline - time.monotonic()), silence_logs=40)
    except Exception as error:
        raise RuntimeError(f"{failed} ({_describe(error)}). {_MAIN_GUARD_CAUSE}") from error
    client = None
    try:
        client = Client(cluster)
        client.wait_for_workers(n_workers, timeout=max(1.0, deadline - time.monotonic()))
    except Exception as error:
        if client is not None:
            client.close(timeout=10)
        cluster.close(timeout=10)
        raise RuntimeError(f"{failed} ({_describe(error)}). {_MAIN_GUARD_CAUSE}") from error
    return cluster, client


def sweep(base: str, parameters: Iterable[Mapping[str, Any]], client: Any = None, *, ticks: Optional[int] = None,
          setup: Optional[Callable[["_core.Model", Mapping[str, Any]], None]] = None, keep_volumes: bool = False,
          timeout: Optional[float] = None, n_workers: int = 2, picture: Any = False) -> List[Dict[str, Any]]:
    """Runs one simulation per parameter set on a Dask cluster and returns the table of rows, in the
    order of the parameter sets: each row holds its parameters and the RESULT_COLUMNS.

    base: model path as for Model.load; every task loads it itself, so it must be readable where
        the workers run.
    client: a dask.distributed.Client; None starts a local cluster of n_workers processes with one
        thread each, listening on the loopback interface only, for this call and shuts it down
        afterwards. Its workers import the main script: call sweep under
        ``if __name__ == "__main__":`` (RuntimeError names this when the workers cannot start).
    ticks: run length when a row gives none (None: one cycle).
    setup: setup(model, parameters) replaces the built-in parameter handling (it must be picklable).
    keep_volumes: add the (ticks, 4) per-tick volumes to each row as "volumes".
    picture: True adds to each row, as "picture", an (H, W, 3) uint8 picture (Model.render) of the
        heart at end-systole (the tick of the smallest left-ventricular volume) from the window's
        start camera, PICTURE_SIZE (320 x 240) large; a (width, height) pair chooses another size.
        None in a row whose run failed. Drawn without any X server.
    timeout: seconds to wait for the whole study; rows still running then are cancelled and report
        "timed out".
    A run that raises, produces non-finite values or loses its worker reports it in its row's
    "error" column; the other rows are unaffected.
    """
    from dask.distributed import wait

    if _starting_worker_process():
        raise RuntimeError(f"velmora.study.sweep was called while a new process imported the main script: put the "
                           f"study under `{_MAIN_GUARD}`")
    sets = [dict(p) for p in parameters]
    # A bad size fails here, once, rather than in every row.
    size = _picture_size(picture)
    if size is not None and not all(1 <= side <= 8192 for side in size):
        raise ValueError(f"picture: width and height must be from 1 to 8192 pixels, got {size}")
    if client is not None:
        return _run_on(client, base, sets, ticks, setup, keep_volumes, timeout, wait, size)

    # Worker processes are started afresh: they must import this very package.
    previous = os.environ.get("PYTHONPATH")
    os.environ["PYTHONPATH"] = _package_parent() + (os.pathsep + previous if previous else "")
    try:
        cluster, local = _start_local_cluster(n_workers)
        with cluster, local:
            return _run_on(local, base, sets, ticks, setup, keep_volumes, timeout, wait, size)
    finally:
        if previous is None:
            os.environ.pop("PYTHONPATH", None)
        else:
            os.environ["PYTHONPATH"] = previous


def _run_on(client, base, sets, ticks, setup, keep_volumes, timeout, wait, size=None) -> List[Dict[str, Any]]:
    futures = [client.submit(run, base, p, ticks, setup, keep_volumes, size or False, pure=False) for p in sets]
    try:
        wait(futures, timeout=timeout)
    except Exception:  # dask's TimeoutError: the rows left unfinished say so below
        pass
    rows = []
    for parameters, future in zip(sets, futures):
        if future.status == "finished":
            rows.append(future.result())
            continue
        row = dict(parameters)
        row.update({column: None for column in RESULT_COLUMNS})
        if size is not None:
            row["picture"] = None
        if future.status == "error":
            error = future.exception()
            row["error"] = f"{type(error).__name__}: {error}"
        else:
            future.cancel()
            row["error"] = f"timed out after {timeout} s"
        rows.append(row)
    return rows
