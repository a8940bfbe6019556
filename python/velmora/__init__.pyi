"""Type hints of the velmora package (the compiled Model and its companions)."""
import os
from typing import Any, Callable, Dict, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import study as study
from .results import CHAMBERS as CHAMBERS
from .results import INDEX_NAMES as INDEX_NAMES
from .results import SimulationResult as SimulationResult

_Vertices = Union[Sequence[int], npt.NDArray[np.integer]]
_Floats = npt.ArrayLike

class LoadError(RuntimeError):
    """A model's mesh files cannot be read, or its project file does not match the mesh."""

def set_diagnostics(enabled: bool) -> None: ...
def diagnostics_enabled() -> bool: ...
def import_mesh(path: Union[str, "os.PathLike[str]"], base: Union[str, "os.PathLike[str]"],
                size: Optional[float] = None) -> Model:
    """Imports a mesh file (.msh, .vtk, .mesh, openCARP .pts/.elem/.lon, or a closed .stl/.ply2
    surface filled at element size `size`) in the guarded mesher process, writes BASE.node/.ele
    (and the file's fibres as frames in BASE.vm) and loads the model. LoadError when the file is
    refused, OSError when BASE cannot be written."""

class Model:
    """A tetrahedral heart model with its control fields, charts and simulator.

    While simulate() runs in one thread, every call on the same model from another thread (but
    path and simulating) raises RuntimeError instead of waiting for the run or reading a
    half-computed tick."""

    @staticmethod
    def load(path: str) -> Model:
        """Loads a TetGen base path or its .node/.ele/.vm file; raises LoadError."""
    @staticmethod
    def from_arrays(points: _Floats, tetrahedra: npt.ArrayLike, base: Union[str, "os.PathLike[str]"],
                    fibres: Optional[_Floats] = None) -> Model:
        """Writes (N, 3) points and (M, 4) 0-based tetrahedra as BASE.node/.ele and loads the model;
        fibres, (N, 3) directions or (N, 3, 3) frames (fibre, sheet, normal rows), become its fibre
        frames, kept in BASE.vm. ValueError for bad arrays, OSError when BASE cannot be written."""
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
    def set_chamber_wall(self, chamber: int, triangles: npt.ArrayLike) -> None:
        """Sets the closed wall of chamber 0..3 to (K, 3) vertex-index triangles (empty clears it)."""
    @property
    def surface_triangles(self) -> npt.NDArray[np.int32]:
        """The mesh's boundary triangles, (M, 3) vertex indices, facing outward."""
    @property
    def transmural(self) -> npt.NDArray[np.float64]:
        """(N,) transmural coordinate: 0 on the chamber walls, 1 on the outer surface."""
    def rule_based_fibres(self, endo: float = 60.0, epi: float = -60.0) -> Dict[str, Any]:
        """The ventricles' frames by the helix rule on the transmural coordinate; ValueError without a VL wall."""
    @property
    def rule_based_fibres_in_force(self) -> Optional[Tuple[float, float]]: ...
    cross_fibre_exponent: float
    def set_lattice(self, vertices: Optional[int]) -> None:
        """Simulates through a lattice of about `vertices` vertices (100 up to fewer than the model's),
        filled in the mesher and cached beside the model as NAME.lattice.node/.ele/.key; None goes back
        to full resolution. ValueError for a count out of range, RuntimeError when the mesher fails."""
    lattice: Optional[int]
    """The lattice's vertex count asked for (set_lattice or the project file), or None; assigning is set_lattice."""
    @property
    def lattice_info(self) -> Optional[Dict[str, Any]]:
        """vertices, tetrahedra, outside_vertices and reused_cache of the lattice in use, or None."""
    def deformation_indices(self, positions: Optional[_Floats] = None) -> Dict[str, Any]:
        """Strains (percent), rotations and twist (degrees), segments and myocardium_tetrahedra of the
        (N, 3) positions (None: rest, all zeros), keys as velmora-cli indices --json; ValueError with
        the reason when the model cannot be measured (no left-ventricular wall painted)."""
    def render(self, size: Tuple[int, int] = (640, 480), tick: Optional[int] = None,
               show: Union[str, Sequence[str]] = (), camera: str = "home") -> npt.NDArray[np.uint8]:
        """(H, W, 3) uint8 picture as the window draws it, without any X server; tick: from rest,
        simulate that many ticks first; show: () the window's start switches, else the names to show."""
    def movie(self, path: Union[str, "os.PathLike[str]"], ticks: Optional[int] = None, every: int = 1, fps: int = 30,
              size: Tuple[int, int] = (640, 480), show: Union[str, Sequence[str]] = (), plot: bool = False,
              camera: str = "home", progress: Optional[Callable[[int, int], None]] = None) -> str:
        """Writes ticks // every frames from rest (ticks None: one cycle) as .mp4, .webm or .gif,
        atomically; plot adds the volume and strain plots. Returns path."""
