"""Type hints of the velmora package (the compiled Model and its companions)."""
import os
from typing import Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import study as study
from .results import CHAMBERS as CHAMBERS
from .results import SimulationResult as SimulationResult

_Vertices = Union[Sequence[int], npt.NDArray[np.integer]]
_Floats = npt.ArrayLike

class LoadError(RuntimeError):
    """A model's mesh files cannot be read, or its project file does not match the mesh."""

def set_diagnostics(enabled: bool) -> None: ...
def diagnostics_enabled() -> bool: ...

class Model:
    """A tetrahedral heart model with its control fields, charts and simulator.

    While simulate() runs in one thread, every call on the same model from another thread (but
    path and simulating) raises RuntimeError instead of waiting for the run or reading a
    half-computed tick."""

    @staticmethod
    def load(path: str) -> Model:
        """Loads a TetGen base path or its .node/.ele/.vm file; raises LoadError."""
    def save(self, path: Optional[Union[str, "os.PathLike[str]"]] = None, force: bool = False) -> str:
        """Writes the project file (default BASE.vm); returns the path. ValueError when it cannot be
        written, or when it would replace the model's own project file that its load refused or read
        only in part (naming the file and the reason), unless force=True."""
    @property
    def path(self) -> str: ...
    @property
    def simulating(self) -> bool:
        """True while a run of ticks holds the model (every other call on it raises RuntimeError)."""
    @property
    def vertex_count(self) -> int: ...
    @property
    def tet_count(self) -> int: ...
    @property
    def positions(self) -> npt.NDArray[np.float64]:
        """(N, 3) current positions (a copy)."""
    @property
    def rest_positions(self) -> npt.NDArray[np.float64]:
        """(N, 3) rest positions (a copy)."""
    @property
    def tetrahedra(self) -> npt.NDArray[np.int32]:
        """(M, 4) corner indices, 0-based."""
    labels: npt.NDArray[np.int32]
    """(N,) 0 neither, 1 ventricle, 2 atrium; settable with N integers in 0..2."""
    phase: npt.NDArray[np.float64]
    """(N,) in [0, 1]; settable."""
    amplitude: npt.NDArray[np.float64]
    """(N,) in [-1, 1]; settable."""
    depth: npt.NDArray[np.float64]
    """(N,) in [0, 1]; settable."""
    fibre_frames: npt.NDArray[np.float64]
    """(N, 3, 3) orthonormal rows: fibre, depth, third direction; settable."""
    chart_ventricles: npt.NDArray[np.float64]
    """(K, 2) (cycle fraction, contraction) points, x from 0 increasing, all in [0, 1]."""
    chart_atria: npt.NDArray[np.float64]
    contraction: float
    """Global contraction strength in (0, 1]."""
    cycle_length: float
    """Seconds per beat (a tick is 0.01 s)."""
    waves: float
    waves_atria: float
    propagation: bool
    propagation_atria: bool
    iterations: int
    """Shape-matching iterations per tick, 1..30."""
    @property
    def fields_pending(self) -> bool: ...
    def constraints(self, field: str) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
        """(rest positions (K, 3), targets (K,)) of 'phase', 'amplitude' or 'depth'."""
    def add_constraints(self, field: str, vertices: _Vertices, value: float) -> int:
        """Constraint at each vertex (skipping those within 0.01 of one); returns the number added."""
    def clear_constraints(self, field: str) -> None:
        """'phase', 'amplitude', 'depth' back to default without constraints; 'strokes' removes the fibre strokes."""
    def paint_amplitude(self, vertices: _Vertices, value: float, neighbourhood: bool = True) -> int:
        """Sets the contraction strength of the vertices (and their neighbourhoods); returns the count painted."""
    def set_labels(self, vertices: _Vertices, label: int) -> None: ...
    def update_fields(self, all: bool = False) -> bool:
        """Solves the fields whose constraints changed and sets the simulator up again."""
    def simulate(self, ticks: Optional[int] = None, threads: Optional[int] = None, record_positions_every: int = 0,
                 reset: bool = True) -> SimulationResult:
        """Runs ticks steps of 0.01 s (None: one cycle) and measures them as velmora-cli simulate does."""
    def chamber_wall_vertices(self, chamber: int) -> npt.NDArray[np.int32]:
        """Vertices of the closed wall of chamber 0..3 (RV, LV, RA, LA), ascending."""
