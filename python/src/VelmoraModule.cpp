// velmora._core: the heart model, its authoring calls and its simulation for Python (pybind11).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <set>
#include <sstream>

#include "ArrayConversion.h"
#include "ModelScope.h"
#include "PyFibres.h"
#include "PyImport.h"
#include "PyIndices.h"
#include "PyLattice.h"
#include "PyModel.h"
#ifdef VELMORA_PY_PICTURES
#include "PyPictures.h"
#endif
#include "fields/Constraints.h"
#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "linalg/TSparseMatrix.h"
#include "model/ProjectFile.h"
#include "model/TGlobalExcitation.h"

namespace py = pybind11;
using namespace pyconvert;
using namespace pyscope;

namespace {

/// Whether two paths name the same file (both spelt alike once resolved, or one file twice).
bool sameFile(const std::string& a, const std::string& b) {
    py::object path = py::module_::import("os").attr("path");
    if (path.attr("realpath")(a).cast<std::string>() == path.attr("realpath")(b).cast<std::string>()) return true;
    if (!path.attr("exists")(a).cast<bool>() || !path.attr("exists")(b).cast<bool>()) return false;
    return path.attr("samefile")(a, b).cast<bool>();
}

constexpr int kMaxTicks = 100000000;
constexpr int kMaxIterations = 30;  // the stiffness dialog's and the project reader's limit
constexpr double kFrameTolerance = 1e-3;

AuthoredField fieldNamed(const std::string& name) {
    if (name == "phase") return AuthoredField::Phase;
    if (name == "amplitude") return AuthoredField::Amplitude;
    if (name == "depth") return AuthoredField::Depth;
    throw py::value_error("field: '" + name + "' is not one of 'phase', 'amplitude', 'depth'");
}

TSmoothField& smoothField(TLSMModel& m, AuthoredField field) {
    switch (field) {
        case AuthoredField::Phase:
            return m.m_phaseField;
        case AuthoredField::Amplitude:
            return m.m_ampliField;
        default:
            return m.m_orienField.m_depthField;
    }
}

const char* fieldName(AuthoredField field) {
    switch (field) {
        case AuthoredField::Phase:
            return "phase";
        case AuthoredField::Amplitude:
            return "amplitude";
        default:
            return "depth";
    }
}

/// Per-field value range as the window's tools and the solver clamp it.
void setFieldValues(PyModel& self, AuthoredField field, const py::handle& value) {
    const int n = self.vertexCount();
    const std::string what = fieldName(field);
    auto a = floatArray(value, what, {n});
    TSmoothField& target = smoothField(self.model(), field);
    const double* p = a.data();
    for (int i = 0; i < n; ++i)
        if (p[i] < target.m_minValue || p[i] > target.m_maxValue) {
            std::ostringstream s;
            s << what << ": value " << p[i] << " at vertex " << i << " is outside [" << target.m_minValue << ", "
              << target.m_maxValue << "]";
            throw py::value_error(s.str());
        }
    std::vector<double> values(p, p + n);
    ModelScope scope(self);
    target.m_value = std::move(values);
    // A later solve of this field starts again from its constraints; the values stand until then.
    self.clearPending(field);
    // The window fits the fibres to the depth values; they follow at the next solve.
    if (field == AuthoredField::Depth) self.markOrientationPending();
}

py::object simulate(PyModel& self, py::object ticksArg, py::object threadsArg, int recordEvery, bool reset) {
    checkIdle(self);
    const bool wholeCycle = ticksArg.is_none();
    int ticks = 0;
    if (!wholeCycle) {
        if (!py::isinstance<py::int_>(ticksArg)) throw py::type_error("ticks: expected an integer or None");
        const long long t = ticksArg.cast<long long>();
        if (t < 1 || t > kMaxTicks)
            throw py::value_error("ticks: " + std::to_string(t) + " is not within 1..100000000");
        ticks = static_cast<int>(t);
    }
    int threads = 0;
    if (!threadsArg.is_none()) {
        if (!py::isinstance<py::int_>(threadsArg)) throw py::type_error("threads: expected an integer or None");
        const long long t = threadsArg.cast<long long>();
        if (t < 1 || t > 1024) throw py::value_error("threads: " + std::to_string(t) + " is not within 1..1024");
        threads = static_cast<int>(t);
    }
    if (recordEvery < 0) throw py::value_error("record_positions_every: must be 0 (none) or a positive tick count");

    py::module_ threading = py::module_::import("threading");
    const bool mainThread = threading.attr("current_thread")().is(threading.attr("main_thread")());
    BeatRun run;
    {
        ModelScope scope(self, ModelScope::Core::Take, PyModel::Use::Run);
        if (wholeCycle) {
            const double cycle = self.model().m_excitation->m_cycleLength;
            ticks = static_cast<int>(std::ceil(cycle / self.controller().m_dt - 1e-9));
        }
        self.run(ticks, threads, recordEvery, reset, run, [mainThread] {
            if (!mainThread) return true;
            // Ctrl+C reaches Python's handler only while it holds the lock: look between ticks.
            py::gil_scoped_acquire gil;
            return PyErr_CheckSignals() == 0;
        });
    }
    if (run.interrupted) throw py::error_already_set();

    py::array_t<double> volumes({static_cast<py::ssize_t>(run.volumes.size()), py::ssize_t(4)});
    double* v = volumes.mutable_data();
    for (const auto& row : run.volumes)
        for (double x : row) *v++ = x;
    py::object positions = py::none();
    if (recordEvery > 0) {
        const py::ssize_t n = self.vertexCount();
        py::array_t<double> all({static_cast<py::ssize_t>(run.positions.size()), n, py::ssize_t(3)});
        double* p = all.mutable_data();
        for (const auto& frame : run.positions)
            for (const vec3& q : frame) {
                *p++ = q.x;
                *p++ = q.y;
                *p++ = q.z;
            }
        positions = all;
    }
    py::array_t<double> indices({static_cast<py::ssize_t>(run.indices.size()), py::ssize_t(6)});
    double* x = indices.mutable_data();
    for (const auto& row : run.indices)
        for (double value : row) *x++ = value;
    py::object endSystole = py::none();
    if (run.endSystoleTick > 0) {
        py::dict d = deformationIndicesDict(run.endSystole);
        d["tick"] = run.endSystoleTick;
        endSystole = d;
    }
    py::object resultType = py::module_::import("velmora.results").attr("SimulationResult");
    return resultType(run.ticks, volumes, doubleArray(run.times), run.ejectionFraction,
                      py::make_tuple(run.volumesMin[0], run.volumesMin[1], run.volumesMin[2], run.volumesMin[3]),
                      py::make_tuple(run.volumesMax[0], run.volumesMax[1], run.volumesMax[2], run.volumesMax[3]),
                      run.maxDisplacement, run.finite, run.restVolume, run.finalTotalVolume, positions,
                      py::array(py::cast(run.positionTicks)), indices, endSystole);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "Compiled core of the velmora package: heart models, authoring and the beat simulation.";

    py::register_exception<ModelLoadError>(m, "LoadError", PyExc_RuntimeError);
    m.attr("LoadError").attr("__doc__") =
        "A model's mesh files cannot be read, or its project file does not match the mesh.";

    m.def(
        "set_diagnostics", [](bool enabled) { setDiagnosticsEnabled(enabled); }, py::arg("enabled"),
        "Turns the core's console lines (on standard error) on or off for the whole process.");
    m.def("diagnostics_enabled", &diagnosticsEnabled, "Whether the core's console lines are printed.");
    m.def(
        "_use_solver_library",
        [](const std::string& dir) {
            CoreScope core;
            // The same start-up choice as the programs (VELMORA_SOLVER honoured), so the figures
            // agree with velmora-cli's.
            if (!solverBackendChosen()) chooseSolverBackend(dir, "");
            return activeSolverBackend() != SolverBackend::InHouse;
        },
        py::arg("dir"),
        "Loads the sparse solver wrapper from dir (ending in '/') and chooses the back end as the programs do; "
        "False when only the built-in LU is left.");

    py::class_<PyModel>(m, "Model", R"doc(A tetrahedral heart model with its control fields, charts and simulator.

Load one with Model.load(path); every array property returns a copy. While simulate() runs in one
thread, every call on the same model from another thread (but path and simulating) raises
RuntimeError instead of waiting for the run or reading a half-computed tick.)doc")
        .def_static(
            "load",
            [](const py::object& pathLike) {
                const std::string path = py::module_::import("os").attr("fspath")(pathLike).cast<std::string>();
                if (path.empty()) throw py::value_error("path: empty");
                std::string warning;
                std::unique_ptr<PyModel> model;
                {
                    CoreScope core;
                    model = std::make_unique<PyModel>(basePathOf(path), warning);
                }
                if (!warning.empty()) PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1);
                return model;
            },
            py::arg("path"),
            R"doc(Loads a model from a TetGen base path ("models/ModelB") or its .node, .ele or .vm file.

The project file BASE.vm is read when present, as the application does. Raises LoadError with the
reader's message when the mesh cannot be read (an empty mesh among the causes) or the project
file does not match it; a damaged project file gives a RuntimeWarning and the records before the
damage, and save() leaves that file as it is unless given force=True.)doc")
        .def(
            "save",
            [](PyModel& self, py::object path, bool force) {
                checkIdle(self);
                const std::string projectFile = self.basePath() + ".vm";
                const std::string target =
                    path.is_none() ? projectFile : py::module_::import("os").attr("fspath")(path).cast<std::string>();
                const bool overProjectFile = path.is_none() || sameFile(target, projectFile);
                std::string error, refusal;
                bool ok = false;
                {
                    ModelScope scope(self);
                    ProjectLoadResult& project = self.model().m_projectLoad;
                    const bool incomplete = project.status == ProjectLoadResult::Status::Refused ||
                                            project.status == ProjectLoadResult::Status::Damaged;
                    // Writing the model over a file it could not read whole would replace the
                    // records it did not take in by defaults.
                    if (incomplete && overProjectFile && !force) {
                        std::string reason = project.message;
                        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
                        refusal = "save: '" + projectFile + "' " +
                                  (project.status == ProjectLoadResult::Status::Refused ? "does not match the mesh"
                                                                                        : "was not read completely") +
                                  " (" + reason + "); it is left as it is (save(force=True) overwrites it)";
                    } else {
                        ok = saveProjectTo(self.model(), target, error);
                        // The file now holds the whole model: later saves need no force.
                        if (ok && incomplete && overProjectFile)
                            project = ProjectLoadResult{ProjectLoadResult::Status::Loaded, ""};
                    }
                }
                if (!refusal.empty()) throw py::value_error(refusal);
                if (!ok) throw py::value_error("save: " + error);
                return target;
            },
            py::arg("path") = py::none(), py::arg("force") = false,
            R"doc(Writes the project file (fields, labels, charts, strokes) to path, by default BASE.vm;
returns the path. Raises ValueError, naming the file and the reason, when the write would replace
the model's own project file that its load refused or read only in part (the records it could not
read would be lost), unless force=True; a forced save makes the file whole, so later saves need no
force. Raises ValueError when the file cannot be written (the previous file is then intact).)doc")
        .def_property_readonly(
            "simulating", &PyModel::simulating,
            "True while a run of ticks holds the model; every other call on it is refused meanwhile.")
        .def_property_readonly("path", &PyModel::basePath, "The base path the model was loaded from.")
        .def_property_readonly(
            "vertex_count", [](PyModel& self) { return readModel(self, [&] { return self.model().vertexCount(); }); })
        .def_property_readonly(
            "tet_count",
            [](PyModel& self) { return readModel(self, [&] { return static_cast<int>(self.model().m_tets.size()); }); })
        .def_property_readonly(
            "positions", [](PyModel& self) { return vec3Array(readModel(self, [&] { return self.model().m_verts; })); },
            "Current vertex positions, (N, 3) float64.")
        .def_property_readonly(
            "rest_positions",
            [](PyModel& self) { return vec3Array(readModel(self, [&] { return self.model().m_vtxOrigPos; })); },
            "Rest vertex positions, (N, 3) float64.")
        .def_property_readonly(
            "tetrahedra",
            [](PyModel& self) {
                const auto tets = readModel(self, [&] { return self.model().m_tets; });
                py::array_t<int> out({static_cast<py::ssize_t>(tets.size()), py::ssize_t(4)});
                int* p = out.mutable_data();
                for (const Tetra& t : tets)
                    for (int k = 0; k < 4; ++k) *p++ = t.vIdx[k];
                return out;
            },
            "Corner vertex indices of every tetrahedron (0-based), (M, 4) int32.")
        .def_property(
            "labels",
            [](PyModel& self) {
                const auto labels = readModel(self, [&] { return self.model().m_vtxIsVentriOrAtrium; });
                py::array_t<int> out(static_cast<py::ssize_t>(labels.size()));
                std::copy(labels.begin(), labels.end(), out.mutable_data());
                return out;
            },
            [](PyModel& self, const py::handle& value) {
                checkIdle(self);
                const int n = self.vertexCount();
                py::array raw = py::array::ensure(value);
                if (!raw || (raw.dtype().kind() != 'i' && raw.dtype().kind() != 'u'))
                    throw py::value_error("labels: expected integers 0 (neither), 1 (ventricle) or 2 (atrium)");
                if (raw.ndim() != 1 || raw.shape(0) != n)
                    throw py::value_error("labels: expected shape (" + std::to_string(n) + ",), got " + shapeText(raw));
                auto a = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(raw);
                std::vector<int16_t> labels(static_cast<size_t>(n));
                for (int i = 0; i < n; ++i) {
                    const long long l = a.data()[i];
                    if (l < 0 || l > 2)
                        throw py::value_error("labels: " + std::to_string(l) + " at vertex " + std::to_string(i) +
                                              " is not 0 (neither), 1 (ventricle) or 2 (atrium)");
                    labels[static_cast<size_t>(i)] = static_cast<int16_t>(l);
                }
                ModelScope scope(self);
                self.model().m_vtxIsVentriOrAtrium = std::move(labels);
            },
            "Per-vertex label, (N,): 0 neither, 1 ventricle, 2 atrium. Settable.")
        .def_property(
            "phase",
            [](PyModel& self) {
                return doubleArray(readModel(self, [&] { return self.model().m_phaseField.m_value; }));
            },
            [](PyModel& self, const py::handle& v) {
                checkIdle(self);
                setFieldValues(self, AuthoredField::Phase, v);
            },
            "Contraction phase per vertex, (N,) in [0, 1]. Settable; a later solve of the phase constraints replaces "
            "it.")
        .def_property(
            "amplitude",
            [](PyModel& self) {
                return doubleArray(readModel(self, [&] { return self.model().m_ampliField.m_value; }));
            },
            [](PyModel& self, const py::handle& v) {
                checkIdle(self);
                setFieldValues(self, AuthoredField::Amplitude, v);
            },
            "Contraction strength per vertex, (N,) in [-1, 1]. Settable; a later solve of the amplitude constraints "
            "replaces it.")
        .def_property(
            "depth",
            [](PyModel& self) {
                return doubleArray(readModel(self, [&] { return self.model().m_orienField.m_depthField.m_value; }));
            },
            [](PyModel& self, const py::handle& v) {
                checkIdle(self);
                setFieldValues(self, AuthoredField::Depth, v);
            },
            "Wall depth per vertex, (N,) in [0, 1]. Settable; the fibre frames are fitted to new values at the next "
            "update_fields() or simulate().")
        .def_property(
            "fibre_frames",
            [](PyModel& self) {
                const auto frames = readModel(self, [&] { return self.model().m_orienField.m_frames; });
                py::array_t<double> out({static_cast<py::ssize_t>(frames.size()), py::ssize_t(3), py::ssize_t(3)});
                double* p = out.mutable_data();
                for (const TVertexFrame& f : frames)
                    for (const vec3* d : {&f.m_primaryDir, &f.m_depthDir, &f.m_thirdDir}) {
                        *p++ = d->x;
                        *p++ = d->y;
                        *p++ = d->z;
                    }
                return out;
            },
            [](PyModel& self, const py::handle& value) {
                checkIdle(self);
                const int n = self.vertexCount();
                auto a = floatArray(value, "fibre_frames", {n, 3, 3});
                std::vector<TVertexFrame> frames(static_cast<size_t>(n));
                for (int i = 0; i < n; ++i) {
                    vec3 d[3];
                    for (int r = 0; r < 3; ++r) d[r] = vec3(a.at(i, r, 0), a.at(i, r, 1), a.at(i, r, 2));
                    for (int r = 0; r < 3; ++r) {
                        if (std::abs(d[r].norm() - 1.0) > kFrameTolerance)
                            throw py::value_error("fibre_frames: row " + std::to_string(r) + " of vertex " +
                                                  std::to_string(i) + " is not a unit vector");
                        if (std::abs(dot(d[r], d[(r + 1) % 3])) > kFrameTolerance)
                            throw py::value_error("fibre_frames: the rows of vertex " + std::to_string(i) +
                                                  " are not orthogonal");
                    }
                    frames[static_cast<size_t>(i)] = TVertexFrame{d[0], d[1], d[2]};
                }
                ModelScope scope(self);
                self.model().m_orienField.m_frames = std::move(frames);
                // Frames given by the script replace rule-based ones, as a preset does.
                self.model().m_orienField.m_ruleBased.inForce = false;
                self.markSimulatorPending();
            },
            "Fibre frame per vertex, (N, 3, 3): rows are the fibre, depth and third directions (orthonormal). "
            "Settable (frames set here end rule-based fibres); the simulator takes new frames at the next "
            "update_fields() or simulate().")
        .def(
            "chamber_wall_vertices",
            [](PyModel& self, int chamber) {
                checkIdle(self);
                if (chamber < 0 || chamber > 3)
                    throw py::value_error("chamber: " + std::to_string(chamber) +
                                          " is not 0 (right ventricle), 1 (left ventricle), 2 (right atrium) or "
                                          "3 (left atrium)");
                const std::set<int> vertices = readModel(self, [&] {
                    const TLSMModel& m = self.model();
                    const std::vector<TTriIndices>* walls[4] = {&m.m_trisVR, &m.m_trisVL, &m.m_trisAR, &m.m_trisAL};
                    std::set<int> onWall;
                    for (const TTriIndices& t : *walls[chamber])
                        for (int v : t)
                            if (v >= 0 && v < m.vertexCount()) onWall.insert(v);
                    return onWall;
                });
                py::array_t<int> out(static_cast<py::ssize_t>(vertices.size()));
                std::copy(vertices.begin(), vertices.end(), out.mutable_data());
                return out;
            },
            py::arg("chamber"),
            "Vertices on the closed wall of chamber 0..3 (columns of SimulationResult.volumes), ascending; "
            "empty when the chamber has no wall.")
        .def(
            "constraints",
            [](PyModel& self, const std::string& name) {
                const AuthoredField which = fieldNamed(name);
                std::vector<vec3> where;
                std::vector<double> targets;
                readModel(self, [&] {
                    const TSmoothField& field = smoothField(self.model(), which);
                    for (const TConstraint& c : field.m_constraints) {
                        where.push_back(c.position(self.model().m_vtxOrigPos));
                        targets.push_back(c.m_target);
                    }
                    return true;
                });
                return py::make_tuple(vec3Array(where), doubleArray(targets));
            },
            py::arg("field"),
            "The constraints of field 'phase', 'amplitude' or 'depth': (rest positions (K, 3), target values (K,)).")
        .def(
            "add_constraints",
            [](PyModel& self, const std::string& name, const py::handle& vertices, double value) {
                checkIdle(self);
                const AuthoredField field = fieldNamed(name);
                TSmoothField& target = smoothField(self.model(), field);
                checkRange(value, target.m_minValue, target.m_maxValue, name + " constraint value");
                const std::vector<int> list = vertexList(vertices, self.vertexCount(), "vertices");
                ModelScope scope(self);
                const size_t before = target.m_constraints.size();
                for (int v : list) addConstraintAtVertex(target.m_constraints, self.model().m_verts, v, value);
                self.markPending(field);
                return static_cast<int>(target.m_constraints.size() - before);
            },
            py::arg("field"), py::arg("vertices"), py::arg("value"),
            R"doc(Adds a constraint with value at each vertex, as the window's vertex tools do: a vertex
within 0.01 of an existing constraint of the field is skipped. Returns the number added. The field
is solved again by update_fields() (or the next simulate()).)doc")
        .def(
            "clear_constraints",
            [](PyModel& self, const std::string& name) {
                checkIdle(self);
                if (name == "strokes") {
                    ModelScope scope(self);
                    TLSMModel& m = self.model();
                    m.m_orienField.resetStrokes(m.m_tets, m.m_vtxOrigPos, m.m_smNeighbors, m.m_vtxIsVentriOrAtrium);
                    self.markSimulatorPending();
                    return;
                }
                const AuthoredField field = fieldNamed(name);
                ModelScope scope(self);
                TLSMModel& m = self.model();
                if (field == AuthoredField::Depth) {
                    m.m_orienField.resetDepthField(m.m_tets, m.m_vtxOrigPos, m.m_smNeighbors, m.m_vtxIsVentriOrAtrium);
                    self.markSimulatorPending();
                } else {
                    resetField(smoothField(m, field));
                }
                self.clearPending(field);
            },
            py::arg("field"),
            R"doc(Removes every constraint of 'phase', 'amplitude' or 'depth' and puts the field back at its
default, as the paint dialog's initialise buttons do ('depth' also refits the fibre frames);
'strokes' removes the fibre strokes and refits the frames.)doc")
        .def(
            "paint_amplitude",
            [](PyModel& self, const py::handle& vertices, double value, bool neighbourhood) {
                checkIdle(self);
                checkRange(value, -1.0, 1.0, "amplitude value");
                const std::vector<int> list = vertexList(vertices, self.vertexCount(), "vertices");
                ModelScope scope(self);
                TLSMModel& m = self.model();
                // The window solves amplitude constraints when the tool is released, before any
                // brush stroke; solving them after the painting would wipe it out.
                self.solveIfPending(AuthoredField::Amplitude);
                std::vector<double>& amplitude = m.m_ampliField.m_value;
                std::set<int> painted;
                for (int v : list) {
                    if (!neighbourhood) {
                        painted.insert(v);
                        continue;
                    }
                    for (int nb : m.m_smNeighbors[static_cast<size_t>(v)])
                        if (nb >= 0 && nb < static_cast<int>(amplitude.size())) painted.insert(nb);
                }
                for (int v : painted) amplitude[static_cast<size_t>(v)] = value;
                return static_cast<int>(painted.size());
            },
            py::arg("vertices"), py::arg("value"), py::arg("neighbourhood") = true,
            R"doc(Sets the contraction strength (in [-1, 1]) directly, as the window's infarct brush does:
at each vertex's shape-matching neighbourhood (or only the vertices with neighbourhood=False).
Amplitude constraints added since the last solve are solved first, as the window solves them when
the tool is released; a later solve of new amplitude constraints replaces the painting.
Returns the number of vertices painted.)doc")
        .def(
            "set_labels",
            [](PyModel& self, const py::handle& vertices, int label) {
                checkIdle(self);
                if (label < 0 || label > 2)
                    throw py::value_error("label: " + std::to_string(label) +
                                          " is not 0 (neither), 1 (ventricle) or 2 (atrium)");
                const std::vector<int> list = vertexList(vertices, self.vertexCount(), "vertices");
                ModelScope scope(self);
                auto& labels = self.model().m_vtxIsVentriOrAtrium;
                labels.resize(static_cast<size_t>(self.vertexCount()), 0);
                for (int v : list) labels[static_cast<size_t>(v)] = static_cast<int16_t>(label);
            },
            py::arg("vertices"), py::arg("label"),
            "Gives the vertices label 0 (neither), 1 (ventricle) or 2 (atrium), as the window's region tools do.")
        .def(
            "update_fields",
            [](PyModel& self, bool everything) {
                checkIdle(self);
                ModelScope scope(self);
                return self.updateFields(everything);
            },
            py::arg("all") = false,
            R"doc(Solves the fields whose constraints changed (phase and amplitude harmonically, depth by
radial basis functions followed by the fibre frames), then sets the simulator up again, as releasing
a paint tool does. all=True solves every field. Returns True when anything was recomputed.)doc")
        .def_property_readonly(
            "fields_pending", [](PyModel& self) { return readModel(self, [&] { return self.pending(); }); },
            "True while authoring changes wait for update_fields().")
        .def_property(
            "chart_ventricles",
            [](PyModel& self) {
                return chartArray(readModel(self, [&] { return self.model().m_excitation->m_chartVent; }));
            },
            [](PyModel& self, const py::handle& v) {
                checkIdle(self);
                TChart chart = chartFrom(v, "chart_ventricles");
                ModelScope scope(self);
                self.model().m_excitation->m_chartVent = std::move(chart);
                buildTables(*self.model().m_excitation);
            },
            "Ventricular contraction chart, (K, 2) points (cycle fraction, contraction) in [0, 1]; x starts at 0 "
            "and increases.")
        .def_property(
            "chart_atria",
            [](PyModel& self) {
                return chartArray(readModel(self, [&] { return self.model().m_excitation->m_chartAtri; }));
            },
            [](PyModel& self, const py::handle& v) {
                checkIdle(self);
                TChart chart = chartFrom(v, "chart_atria");
                ModelScope scope(self);
                self.model().m_excitation->m_chartAtri = std::move(chart);
                buildTables(*self.model().m_excitation);
            },
            "Atrial contraction chart, as chart_ventricles.")
        .def_property(
            "contraction",
            [](PyModel& self) { return readModel(self, [&] { return self.model().m_excitation->m_amplitude; }); },
            [](PyModel& self, double v) {
                checkIdle(self);
                if (!(v > 0.0 && v <= 1.0))
                    throw py::value_error("contraction: " + std::to_string(v) + " is outside (0, 1]");
                ModelScope scope(self);
                self.model().m_excitation->m_amplitude = v;
                buildTables(*self.model().m_excitation);
            },
            "Global contraction strength in (0, 1] (the dialog's contraction value).")
        .def_property(
            "cycle_length",
            [](PyModel& self) { return readModel(self, [&] { return self.model().m_excitation->m_cycleLength; }); },
            [](PyModel& self, double v) {
                checkIdle(self);
                checkRange(v, self.controller().m_dt, 1000.0, "cycle_length");
                ModelScope scope(self);
                self.model().m_excitation->m_cycleLength = v;
            },
            "Length of one beat in seconds (a tick is 0.01 s).")
        .def_property(
            "waves",
            [](PyModel& self) { return readModel(self, [&] { return self.model().m_excitation->m_numOfWave; }); },
            [](PyModel& self, double v) {
                checkIdle(self);
                if (!(v > 0.0 && v <= 1000.0))
                    throw py::value_error("waves: " + std::to_string(v) + " is outside (0, 1000]");
                ModelScope scope(self);
                self.model().m_excitation->m_numOfWave = v;
            },
            "Number of ventricular excitation waves per cycle (used when propagation is on).")
        .def_property(
            "waves_atria",
            [](PyModel& self) { return readModel(self, [&] { return self.model().m_excitation->m_numOfWaveA; }); },
            [](PyModel& self, double v) {
                checkIdle(self);
                if (!(v > 0.0 && v <= 1000.0))
                    throw py::value_error("waves_atria: " + std::to_string(v) + " is outside (0, 1000]");
                ModelScope scope(self);
                self.model().m_excitation->m_numOfWaveA = v;
            },
            "Number of atrial excitation waves per cycle (used when propagation_atria is on).")
        .def_property(
            "propagation",
            [](PyModel& self) { return readModel(self, [&] { return self.model().m_excitation->m_propagationMode; }); },
            [](PyModel& self, bool v) {
                checkIdle(self);
                ModelScope scope(self);
                self.model().m_excitation->m_propagationMode = v;
            },
            "Ventricular contraction travels as a wave by the phase field (the dialog's phase-shift switch).")
        .def_property(
            "propagation_atria",
            [](PyModel& self) {
                return readModel(self, [&] { return self.model().m_excitation->m_propagationModeA; });
            },
            [](PyModel& self, bool v) {
                checkIdle(self);
                ModelScope scope(self);
                self.model().m_excitation->m_propagationModeA = v;
            },
            "Atrial contraction travels as a wave by the phase field.")
        .def_property(
            "iterations", [](PyModel& self) { return readModel(self, [&] { return self.model().m_iterationN; }); },
            [](PyModel& self, int v) {
                checkIdle(self);
                if (v < 1 || v > kMaxIterations)
                    throw py::value_error("iterations: " + std::to_string(v) + " is outside 1..30");
                ModelScope scope(self);
                self.model().m_iterationN = v;
            },
            "Shape-matching iterations per tick, 1..30 (the stiffness).")
        .def("simulate", &simulate, py::arg("ticks") = py::none(), py::arg("threads") = py::none(),
             py::arg("record_positions_every") = 0, py::arg("reset") = true,
             R"doc(Runs the beat for ticks steps of 0.01 s (None: one cycle) and measures it exactly as
`velmora-cli simulate` does. Returns a SimulationResult.

threads: OpenMP threads for this run (None keeps the current setting; results do not depend on it).
record_positions_every: also keep the positions after every k-th tick (0: none).
reset: start from rest at time 0 (True) or continue from where the last run stopped.
Pending authoring changes are solved first. The interpreter lock is released while it runs;
Ctrl+C stops it between two ticks and raises KeyboardInterrupt.)doc")
        .def("__repr__", [](PyModel& self) {
            const size_t tets = readModel(self, [&] { return self.model().m_tets.size(); });
            return "<velmora.Model '" + self.basePath() + "': " + std::to_string(self.vertexCount()) + " vertices, " +
                   std::to_string(tets) + " tetrahedra>";
        });

    auto modelClass = py::reinterpret_borrow<py::class_<PyModel>>(m.attr("Model"));
    bindDeformationIndices(modelClass);
    bindFibres(modelClass);
    bindImport(m, modelClass);
    bindLattice(modelClass);
#ifdef VELMORA_PY_PICTURES
    bindPictures(modelClass);
#endif
}
