"""The result of one simulation run (returned by velmora.Model.simulate)."""
from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Dict, Optional

import numpy as np

#: Column order of SimulationResult.volumes and of the volume ranges.
CHAMBERS = ("right_ventricle", "left_ventricle", "right_atrium", "left_atrium")

#: Column order of SimulationResult.indices: the global strains in percent, the rotations and the
#: twist in degrees (the keys of ``velmora-cli indices --json``).
INDEX_NAMES = ("longitudinal", "circumferential", "radial", "apical_rotation", "basal_rotation", "twist")


@dataclass(frozen=True)
class SimulationResult:
    """Figures of one run, measured after every tick as ``velmora-cli simulate`` measures them.

    Attributes:
        ticks: number of ticks run (steps of 0.01 s).
        volumes: (ticks, 4) chamber volumes after each tick, columns as CHAMBERS (model units cubed).
        times: (ticks,) simulated time within the cycle after each tick (s).
        ejection_fraction: left-ventricular ejection fraction over the run, percent (0 without a
            left-ventricular wall).
        volumes_min, volumes_max: smallest and largest volume of each chamber over the run.
        max_displacement: largest distance of any vertex from its rest position (model units).
        finite: False when a position or a volume stopped being a finite number.
        rest_volume: the simulator's rest volume of the whole mesh.
        final_total_volume: signed volume of the whole mesh after the last tick.
        positions: (k, N, 3) positions after every record_positions_every-th tick, or None.
        position_ticks: (k,) the tick numbers of those positions.
        indices: (ticks, 6) float64, the left ventricle's deformation indices after each tick,
            columns as INDEX_NAMES (``velmora-cli simulate --indices``); an empty (0, 6) array when
            the model cannot be measured (no left-ventricular wall painted, or no base or myocardium
            found; Model.deformation_indices() says why).
        end_systole: the indices at end-systole, the tick of the smallest left-ventricular volume
            (the earliest on ties), as ``velmora-cli simulate --json`` gives them: a dict with
            ``tick`` (1-based), the six INDEX_NAMES and ``segments`` (17 dicts: segment, name,
            longitudinal, circumferential, radial, tetrahedra; empty without a right-ventricular
            wall). None when the model cannot be measured.
    """

    ticks: int
    volumes: np.ndarray
    times: np.ndarray
    ejection_fraction: float
    volumes_min: tuple
    volumes_max: tuple
    max_displacement: float
    finite: bool
    rest_volume: float
    final_total_volume: float
    positions: Optional[np.ndarray]
    position_ticks: np.ndarray
    indices: np.ndarray = field(default_factory=lambda: np.zeros((0, len(INDEX_NAMES))))
    end_systole: Optional[Dict[str, Any]] = None

    @property
    def index_names(self) -> tuple:
        """The names of the columns of indices (INDEX_NAMES)."""
        return INDEX_NAMES

    def __repr__(self) -> str:
        return (f"SimulationResult(ticks={self.ticks}, ejection_fraction={self.ejection_fraction:.4f}, "
                f"max_displacement={self.max_displacement:.4f}, finite={self.finite})")
