// PyPictures: Model.render and Model.movie, drawn without any window (EGL, no X server).
#pragma once

#include <pybind11/pybind11.h>

#include "PyModel.h"

/// Adds Model.render and Model.movie.
void bindPictures(pybind11::class_<PyModel>& model);
