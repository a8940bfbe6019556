// PyIndices: the deformation indices for Python: the dictionaries shaped as velmora-cli's JSON and
// Model.deformation_indices.
#pragma once

#include <pybind11/pybind11.h>

#include "PyModel.h"

/// The indices as `velmora-cli indices --json` gives them: longitudinal, circumferential, radial
/// (percent), apical_rotation, basal_rotation, twist (degrees) and segments (17 dicts with segment,
/// name, longitudinal, circumferential, radial (None for a segment without tetrahedra) and
/// tetrahedra; an empty list without a right-ventricular wall).
pybind11::dict deformationIndicesDict(const DeformationIndexValues& values);

/// Adds Model.deformation_indices.
void bindDeformationIndices(pybind11::class_<PyModel>& model);
