"""Velmora from Python: load a tetrahedral heart model, author its control fields, beat it and
measure its chambers.

    >>> import velmora
    >>> model = velmora.Model.load("models/ModelB")
    >>> result = model.simulate(300)
    >>> result.ejection_fraction          # left-ventricular, percent
    >>> result.volumes                    # (300, 4): RV, LV, RA, LA per tick

Authoring (as the window's paint tools do): Model.add_constraints / clear_constraints for the
phase, amplitude and depth fields, Model.paint_amplitude (the infarct brush), Model.set_labels and
the labels, phase, amplitude, depth and fibre_frames arrays; the charts, contraction, cycle length,
waves and iterations are properties. Model.update_fields() solves what changed (simulate() does so
by itself). Model.save() writes the project file.

Measures and pictures: Model.deformation_indices() (strains, twist, the 17 segments),
SimulationResult.indices and end_systole; Model.render() returns an (H, W, 3) uint8 picture and
Model.movie() writes MP4, WebM or GIF, both without any window or X server.

Studies over many runs: velmora.study.sweep (Dask). The core's console lines are off by default;
set_diagnostics(True) shows them.
"""
from __future__ import annotations

import os as _os

from . import _core
from ._core import LoadError, Model, diagnostics_enabled, import_mesh, set_diagnostics
from .results import CHAMBERS, INDEX_NAMES, SimulationResult

__all__ = ["Model", "LoadError", "SimulationResult", "CHAMBERS", "INDEX_NAMES", "set_diagnostics",
           "diagnostics_enabled", "import_mesh"]

# A library should not talk on standard error unless asked; VELMORA_DIAGNOSTICS=1 turns it on.
set_diagnostics(_os.environ.get("VELMORA_DIAGNOSTICS", "") not in ("", "0"))

# The sparse solver wrapper lies beside the compiled part (the interpreter's directory is not ours);
# without it the built-in solver is used and the fields may differ in the last digits.
if not _core._use_solver_library(_os.path.dirname(_os.path.abspath(__file__)) + "/"):
    import warnings as _warnings

    _warnings.warn("velmora: libvelmora_umfpack.so not found beside the package; using the built-in solver",
                   RuntimeWarning, stacklevel=2)
