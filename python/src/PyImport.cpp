// PyImport: velmora.import_mesh (the guarded import of the programs) and Model.from_arrays (a mesh
// from NumPy arrays, as meshio or PyVista hold it), each written as a TetGen base and loaded.
#include "PyImport.h"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "ArrayConversion.h"
#include "ModelScope.h"
#include "meshimport/CarpFile.h"
#include "meshimport/ImportedFibres.h"
#include "meshimport/MesherProcess.h"

namespace py = pybind11;
using pyconvert::basePathOf;
using pyconvert::floatArray;
using pyscope::CoreScope;

namespace {

std::string fsPath(const py::handle& pathLike, const char* what) {
    const std::string path = py::module_::import("os").attr("fspath")(pathLike).cast<std::string>();
    if (path.empty()) throw py::value_error(std::string(what) + ": empty");
    return path;
}

/// The mesher program: beside the compiled module (where the build and the installation put
/// it), else beside the velmora-cli named by VELMORA_CLI.
std::string mesherBesideModule() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string module = py::module_::import("velmora._core").attr("__file__").cast<std::string>();
    const fs::path beside = fs::path(module).parent_path() / "velmora-mesher";
    if (fs::exists(beside, ec)) return beside.string();
    if (const char* cli = std::getenv("VELMORA_CLI"); cli && *cli) {
        const fs::path other = fs::path(cli).parent_path() / "velmora-mesher";
        if (fs::exists(other, ec)) return other.string();
    }
    throw std::runtime_error("velmora-mesher was not found beside the velmora package (" + beside.string() + ")");
}

[[noreturn]] void raiseOSError(const std::string& message) {
    PyErr_SetString(PyExc_OSError, message.c_str());
    throw py::error_already_set();
}

/// Writes the mesh as base.node/.ele (and its frames into base.vm), warns when a project file of
/// another mesh was moved aside, and loads the model.
std::unique_ptr<PyModel> placeAndLoad(const ImportedTetMesh& mesh, const std::string& base) {
    std::string error, backup, warning;
    bool placed = false;
    std::unique_ptr<PyModel> model;
    {
        CoreScope core;
        placed = placeImportedMesh(base, mesh, backup, error);
        if (placed) model = std::make_unique<PyModel>(base, warning);
    }
    if (!placed) raiseOSError(error);
    if (!backup.empty()) {
        const std::string text = base + ".vm belonged to another mesh; it was renamed " + backup;
        PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1);
    }
    if (!warning.empty()) PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1);
    return model;
}

}  // namespace

void bindImport(py::module_& module, py::class_<PyModel>& model) {
    module.def(
        "import_mesh",
        [](const py::object& pathLike, const py::object& baseLike, const py::object& size) {
            const std::string path = fsPath(pathLike, "path");
            const std::string base = basePathOf(fsPath(baseLike, "base"));
            MeshImportOptions options;
            if (!size.is_none()) {
                options.elementSize = size.cast<double>();
                if (!std::isfinite(options.elementSize) || options.elementSize <= 0.0)
                    throw py::value_error("size: must be a positive number");
            }
            const std::string program = mesherBesideModule();
            ImportedTetMesh mesh;
            MeshImportReport report;
            std::string error;
            bool ok = false;
            {
                // The child works without the core's lock: other models go on meanwhile.
                MeshImportJob job;
                bool started = false;
                {
                    py::gil_scoped_release release;
                    started = job.start(path, options, error, defaultMesherLimits(), program);
                    if (started) job.waitUntilOver();
                }
                if (started) {
                    CoreScope core;
                    ok = job.finish(mesh, report, error);
                }
            }
            if (!ok) throw ModelLoadError(error);
            return placeAndLoad(mesh, base);
        },
        py::arg("path"), py::arg("base"), py::arg("size") = py::none(),
        R"doc(Imports a mesh file as the programs do and returns its model, written as BASE.node/.ele.

Formats: gmsh .msh, VTK .vtk, Medit .mesh, openCARP .pts/.elem (with .lon), or a closed surface
(.stl, .ply2) filled with tetrahedra of the given size (default: about 5,000-10,000 vertices).
The file is read by velmora-mesher in a child process with memory and time limits. Fibres the
file gives become the model's fibre frames, kept in BASE.vm. A BASE.vm made for another mesh is
renamed BASE.vm.bak (with a RuntimeWarning). Raises LoadError with the importer's message for a
file it refuses, OSError when BASE cannot be written, ValueError for a bad size.)doc");

    model.def_static(
        "from_arrays",
        [](const py::object& pointsIn, const py::object& tetsIn, const py::object& baseLike,
           const py::object& fibresIn) {
            const std::string base = basePathOf(fsPath(baseLike, "base"));
            const auto points = floatArray(pointsIn, "points", {-1, 3});
            const py::ssize_t n = points.shape(0);
            py::array_t<long long, py::array::c_style | py::array::forcecast> tets;
            {
                const py::array raw = py::array::ensure(tetsIn);
                if (!raw || raw.ndim() != 2 || raw.shape(1) != 4)
                    throw py::value_error("tetrahedra: expected shape (M, 4), got " +
                                          (raw ? pyconvert::shapeText(raw) : std::string("no array")));
                if (raw.dtype().kind() != 'i' && raw.dtype().kind() != 'u')
                    throw py::value_error("tetrahedra: expected integer vertex indices");
                tets = raw.cast<py::array_t<long long, py::array::c_style | py::array::forcecast>>();
            }
            std::vector<vec3> pointList(static_cast<size_t>(n));
            for (py::ssize_t i = 0; i < n; ++i)
                pointList[static_cast<size_t>(i)] = vec3(points.at(i, 0), points.at(i, 1), points.at(i, 2));
            std::vector<std::array<int, 4>> tetList(static_cast<size_t>(tets.shape(0)));
            for (py::ssize_t j = 0; j < tets.shape(0); ++j)
                for (int k = 0; k < 4; ++k) {
                    const long long v = tets.at(j, k);
                    if (v < 0 || v >= n)
                        throw py::value_error("tetrahedra: row " + std::to_string(j) + " names vertex " +
                                              std::to_string(v) + " of " + std::to_string(n));
                    tetList[static_cast<size_t>(j)][k] = static_cast<int>(v);
                }
            std::vector<vec3> fibres, sheets;
            if (!fibresIn.is_none()) {
                const py::array raw = py::array::ensure(fibresIn);
                const bool frames = raw && raw.ndim() == 3;
                const auto values =
                    frames ? floatArray(fibresIn, "fibres", {n, 3, 3}) : floatArray(fibresIn, "fibres", {n, 3});
                const double* d = values.data();
                fibres.resize(static_cast<size_t>(n));
                if (frames) sheets.resize(static_cast<size_t>(n));
                for (py::ssize_t i = 0; i < n; ++i) {
                    const double* row = d + i * (frames ? 9 : 3);
                    fibres[static_cast<size_t>(i)] = vec3(row[0], row[1], row[2]);
                    if (frames) sheets[static_cast<size_t>(i)] = vec3(row[3], row[4], row[5]);
                }
            }
            ImportedTetMesh mesh;
            MeshImportReport report;
            std::vector<int> newIndexOfOld;
            std::string error;
            if (!assembleTetMesh("the arrays", std::move(pointList), std::move(tetList), mesh, report, newIndexOfOld,
                                 error))
                throw py::value_error(error);
            // Directions follow their vertices through the renumbering of the unused ones away.
            auto keep = [&](const std::vector<vec3>& given) {
                std::vector<vec3> kept(mesh.points.size());
                for (size_t i = 0; i < given.size(); ++i)
                    if (newIndexOfOld[i] >= 0) kept[static_cast<size_t>(newIndexOfOld[i])] = given[i];
                return normalisedDirections(kept);
            };
            if (!fibres.empty()) mesh.fibres = keep(fibres);
            if (!sheets.empty()) mesh.sheets = keep(sheets);
            if (report.droppedNodes > 0) {
                const std::string text =
                    std::to_string(report.droppedNodes) + " vertices used by no tetrahedron dropped";
                PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1);
            }
            return placeAndLoad(mesh, base);
        },
        py::arg("points"), py::arg("tetrahedra"), py::arg("base"), py::arg("fibres") = py::none(),
        R"doc(Writes a tetrahedral mesh given as arrays as BASE.node/.ele and returns its model.

points: (N, 3) floats; tetrahedra: (M, 4) 0-based vertex indices (inverted ones are reoriented,
vertices no tetrahedron uses dropped with a RuntimeWarning); fibres: None, (N, 3) fibre
directions per vertex, or (N, 3, 3) frames whose first two rows are the fibre and the sheet
(across the wall). Given fibres become the model's fibre frames (zero rows keep the default),
kept in BASE.vm. A BASE.vm made for another mesh is renamed BASE.vm.bak. ValueError for arrays
of the wrong shape, non-finite numbers or indices out of range; OSError when BASE cannot be
written.)doc");
}
