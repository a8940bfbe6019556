// Conversions between NumPy arrays and the core's arrays, and their checks.
#include "ArrayConversion.h"

#include <cmath>
#include <sstream>

namespace py = pybind11;

namespace pyconvert {

std::string basePathOf(const std::string& path) {
    for (const std::string ext : {".node", ".ele", ".vm"})
        if (path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
            return path.substr(0, path.size() - ext.size());
    return path;
}

std::string shapeText(const py::array& a) {
    std::ostringstream s;
    s << "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d) s << (d ? ", " : "") << a.shape(d);
    s << (a.ndim() == 1 ? ",)" : ")");
    return s.str();
}

/// A float array of exactly the given shape (-1: any length), every value finite, as C-ordered doubles.
py::array_t<double, py::array::c_style> floatArray(const py::handle& value, const std::string& what,
                                                   std::vector<py::ssize_t> shape) {
    py::array raw = py::array::ensure(value);
    if (!raw) throw py::value_error(what + ": expected an array of numbers");
    const char kind = raw.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u')
        throw py::value_error(what + ": expected numbers, got an array of dtype " + std::string(py::str(raw.dtype())));
    bool fits = raw.ndim() == static_cast<py::ssize_t>(shape.size());
    for (size_t d = 0; fits && d < shape.size(); ++d) fits = shape[d] < 0 || raw.shape(d) == shape[d];
    if (!fits) {
        std::ostringstream want;
        want << "(";
        for (size_t d = 0; d < shape.size(); ++d) {
            want << (d ? ", " : "");
            if (shape[d] < 0)
                want << "k";
            else
                want << shape[d];
        }
        want << (shape.size() == 1 ? ",)" : ")");
        throw py::value_error(what + ": expected shape " + want.str() + ", got " + shapeText(raw));
    }
    auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(raw);
    const double* p = a.data();
    for (py::ssize_t i = 0; i < a.size(); ++i)
        if (!std::isfinite(p[i]))
            throw py::value_error(what + ": value " + std::to_string(i) + " is not a finite number");
    return a;
}

/// Integer vertex indices (any integer array or sequence), each within [0, vertexCount).
std::vector<int> vertexList(const py::handle& value, int vertexCount, const std::string& what) {
    py::array raw = py::array::ensure(value);
    if (!raw || raw.ndim() > 1) throw py::value_error(what + ": expected a sequence of vertex indices");
    if (raw.size() > 0 && raw.dtype().kind() != 'i' && raw.dtype().kind() != 'u')
        throw py::value_error(what + ": vertex indices must be integers, got dtype " +
                              std::string(py::str(raw.dtype())));
    auto a = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(raw);
    std::vector<int> out;
    out.reserve(static_cast<size_t>(a.size()));
    for (py::ssize_t i = 0; i < a.size(); ++i) {
        const long long v = a.data()[i];
        if (v < 0 || v >= vertexCount)
            throw py::value_error(what + ": vertex " + std::to_string(v) + " is outside 0.." +
                                  std::to_string(vertexCount - 1));
        out.push_back(static_cast<int>(v));
    }
    return out;
}

void checkRange(double value, double low, double high, const std::string& what) {
    if (!std::isfinite(value)) throw py::value_error(what + ": not a finite number");
    if (value < low || value > high) {
        std::ostringstream s;
        s << what << ": " << value << " is outside [" << low << ", " << high << "]";
        throw py::value_error(s.str());
    }
}

py::array_t<double> vec3Array(const std::vector<vec3>& points) {
    py::array_t<double> out({static_cast<py::ssize_t>(points.size()), py::ssize_t(3)});
    double* p = out.mutable_data();
    for (const vec3& v : points) {
        *p++ = v.x;
        *p++ = v.y;
        *p++ = v.z;
    }
    return out;
}

py::array_t<double> doubleArray(const std::vector<double>& values) {
    py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), out.mutable_data());
    return out;
}

py::array_t<double> chartArray(const TChart& chart) {
    py::array_t<double> out({static_cast<py::ssize_t>(chart.size()), py::ssize_t(2)});
    double* p = out.mutable_data();
    for (const auto& point : chart) {
        *p++ = point.first;
        *p++ = point.second;
    }
    return out;
}

TChart chartFrom(const py::handle& value, const std::string& what) {
    auto a = floatArray(value, what, {-1, 2});
    if (a.shape(0) < 1) throw py::value_error(what + ": a chart needs at least one point");
    TChart chart;
    for (py::ssize_t i = 0; i < a.shape(0); ++i) {
        const double x = a.at(i, 0), y = a.at(i, 1);
        checkRange(x, 0.0, 1.0, what + " point " + std::to_string(i) + " x");
        checkRange(y, 0.0, 1.0, what + " point " + std::to_string(i) + " y");
        if (i == 0 && x != 0.0) throw py::value_error(what + ": the first point must lie at x = 0");
        if (i > 0 && !(x > chart.back().first))
            throw py::value_error(what + ": x must increase from point to point (point " + std::to_string(i) + ")");
        chart.emplace_back(x, y);
    }
    return chart;
}

}  // namespace pyconvert
