"""The result of one simulation run (returned by velmora.Model.simulate)."""
from __future__ import annotations

from dataclasses import dataclass
from typing import Optional

import numpy as np

#: Column order of SimulationResult.volumes and of the volume ranges.
CHAMBERS = ("right_ventricle", "left_ventricle", "right_atrium", "left_atrium")


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

    def __repr__(self) -> str:
        return (f"SimulationResult(ticks={self.ticks}, ejection_fraction={self.ejection_fraction:.4f}, "
                f"max_displacement={self.max_displacement:.4f}, finite={self.finite})")
