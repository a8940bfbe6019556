// Conversions between NumPy arrays and the core's arrays, with the checks every setter shares:
// shapes, finite numbers, ranges and vertex indices, each fault a ValueError naming it.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "model/TGlobalExcitation.h"

namespace pyconvert {

/// Strips a ".node", ".ele" or ".vm" extension so a file name works as a base path.
std::string basePathOf(const std::string& path);

/// The array's shape as Python prints it: "(3,)", "(4, 2)".
std::string shapeText(const pybind11::array& a);

/// A C-ordered float64 copy of value, which must hold numbers in exactly this shape (-1: any
/// length) and be finite everywhere; what names the argument in the ValueError.
pybind11::array_t<double, pybind11::array::c_style> floatArray(const pybind11::handle& value, const std::string& what,
                                                                std::vector<pybind11::ssize_t> shape);

/// Integer vertex indices (a sequence or an integer array), each within [0, vertexCount).
std::vector<int> vertexList(const pybind11::handle& value, int vertexCount, const std::string& what);

/// ValueError unless value is finite and within [low, high].
void checkRange(double value, double low, double high, const std::string& what);

/// (N, 3) float64 array of points.
pybind11::array_t<double> vec3Array(const std::vector<vec3>& points);
/// (N,) float64 array.
pybind11::array_t<double> doubleArray(const std::vector<double>& values);
/// (K, 2) array of chart points.
pybind11::array_t<double> chartArray(const TChart& chart);
/// A chart from (K, 2) points: at least one, x from 0 strictly increasing, x and y within [0, 1].
TChart chartFrom(const pybind11::handle& value, const std::string& what);

}  // namespace pyconvert
