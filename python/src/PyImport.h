// PyImport: meshes of other formats and mesh arrays into models, for Python.
#pragma once

#include <pybind11/pybind11.h>

#include "PyModel.h"

/// Adds velmora.import_mesh to the module and Model.from_arrays to the model class.
void bindImport(pybind11::module_& module, pybind11::class_<PyModel>& model);
