// PyLattice: the simulation lattice for Python.
#pragma once

#include <pybind11/pybind11.h>

#include "PyModel.h"

/// Adds Model.set_lattice and Model.lattice, and makes the mesher the process's lattice builder.
void bindLattice(pybind11::class_<PyModel>& model);
