// PyFibres: rule-based fibres, the transmural coordinate, chamber walls from triangles and the
// cross-fibre exponent for Python.
#pragma once

#include <pybind11/pybind11.h>

#include "PyModel.h"

/// Adds Model.rule_based_fibres, Model.transmural, Model.set_chamber_wall,
/// Model.surface_triangles and Model.cross_fibre_exponent.
void bindFibres(pybind11::class_<PyModel>& model);
