// PyFibres: rule-based fibres, transmural coordinate, chamber walls and cross-fibre exponent.
#include "PyFibres.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

#include "ArrayConversion.h"
#include "ModelScope.h"
#include "fields/RuleBasedFibres.h"
#include "model/RuleBasedFibreModel.h"
#include "model/TGlobalExcitation.h"
#include "model/TLSMModel.h"

namespace py = pybind11;
using namespace pyconvert;
using namespace pyscope;

namespace {

/// The boundary faces of the tetrahedra (faces used by one tetrahedron), outward, in tetrahedron order.
std::vector<std::array<int, 3>> boundaryTriangles(const std::vector<Tetra>& tets) {
    std::map<std::array<int, 3>, int> uses;
    auto key = [](const Tetra& tet, int f) {
        std::array<int, 3> k = {tet.vIdx[kFaceCornersOutward[f][0]], tet.vIdx[kFaceCornersOutward[f][1]],
                                tet.vIdx[kFaceCornersOutward[f][2]]};
        std::sort(k.begin(), k.end());
        return k;
    };
    for (const Tetra& tet : tets)
        for (int f = 0; f < 4; ++f) ++uses[key(tet, f)];
    std::vector<std::array<int, 3>> out;
    for (const Tetra& tet : tets)
        for (int f = 0; f < 4; ++f)
            if (uses[key(tet, f)] == 1)
                out.push_back({tet.vIdx[kFaceCornersOutward[f][0]], tet.vIdx[kFaceCornersOutward[f][1]],
                               tet.vIdx[kFaceCornersOutward[f][2]]});
    return out;
}

void checkAngle(const char* name, double degrees) {
    if (!std::isfinite(degrees) || std::fabs(degrees) > kMaxHelixDegrees)
        throw py::value_error(std::string(name) + ": " + std::to_string(degrees) +
                              " is not a helix angle within -90 to 90 degrees");
}

py::dict summaryDict(double endo, double epi, const RuleBasedFibreSummary& summary, const std::vector<HelixBand>& bands,
                     double rms) {
    py::dict d;
    d["endo"] = endo;
    d["epi"] = epi;
    d["transmural_min"] = summary.tMin;
    d["transmural_max"] = summary.tMax;
    d["frames_set"] = summary.framesSet;
    d["frames_kept"] = summary.skipped;
    py::list list;
    for (const HelixBand& band : bands) {
        py::dict b;
        b["t_low"] = band.tLow;
        b["t_high"] = band.tHigh;
        b["vertices"] = band.vertices;
        b["helix"] = band.vertices > 0 ? py::object(py::float_(band.meanDegrees)) : py::object(py::none());
        b["rule"] = band.vertices > 0 ? py::object(py::float_(band.ruleDegrees)) : py::object(py::none());
        list.append(b);
    }
    d["free_wall_helix"] = list;
    d["free_wall_rms_from_rule"] = rms;
    return d;
}

}  // namespace

void bindFibres(py::class_<PyModel>& model) {
    model
        .def(
            "rule_based_fibres",
            [](PyModel& self, double endo, double epi) {
                checkIdle(self);
                checkAngle("endo", endo);
                checkAngle("epi", epi);
                RuleBasedFibreSummary summary;
                std::vector<HelixBand> bands;
                double rms = 0.0;
                std::string error;
                bool done = false;
                {
                    ModelScope scope(self);
                    // Pending strokes or depth values would replace the frames at the next update.
                    if (self.pending()) self.updateFields(false);
                    done = applyRuleBasedFibres(self.model(), endo, epi, true, error, &summary);
                    std::vector<double> t;
                    if (done)
                        done = computeModelTransmural(self.model(), t, error) &&
                               measureFreeWallHelix(self.model(), t, endo, epi, bands, rms, error);
                }
                if (!done) throw py::value_error(error);
                return summaryDict(endo, epi, summary, bands, rms);
            },
            py::arg("endo") = kDefaultEndoHelixDegrees, py::arg("epi") = kDefaultEpiHelixDegrees,
            R"doc(Sets the ventricles' fibre frames by the rule on the transmural coordinate t: helix angle
endo + (epi - endo) t degrees (within -90..90) about the left ventricle's long axis, depth direction
across the wall; atrium vertices keep their frames. The fibre lines and the simulator follow; saving
the project keeps the setting. Needs a left-ventricular wall (ValueError otherwise). Returns a dict:
endo, epi, transmural_min, transmural_max, frames_set, frames_kept and free_wall_helix (five dicts per
transmural fifth of the left-ventricular free wall: t_low, t_high, vertices, helix, rule) and
free_wall_rms_from_rule (degrees).)doc")
        .def_property_readonly(
            "rule_based_fibres_in_force",
            [](PyModel& self) {
                const RuleBasedFibreSetting s = readModel(self, [&] { return self.model().m_orienField.m_ruleBased; });
                return s.inForce ? py::object(py::make_tuple(s.endoDegrees, s.epiDegrees)) : py::object(py::none());
            },
            "(endo, epi) of the rule-based fibres on the frames, or None when strokes or a preset made them.")
        .def_property_readonly(
            "transmural",
            [](PyModel& self) {
                checkIdle(self);
                std::vector<double> t;
                std::string error;
                bool done = false;
                {
                    ModelScope scope(self);
                    done = computeModelTransmural(self.model(), t, error);
                }
                if (!done) throw py::value_error("transmural: " + error);
                return doubleArray(t);
            },
            "Transmural coordinate per vertex, (N,): 0 on the chamber walls, 1 on the outer surface, harmonic "
            "in between (computed at rest on each access). ValueError without chamber walls.")
        .def_property_readonly(
            "surface_triangles",
            [](PyModel& self) {
                const auto triangles = readModel(self, [&] { return boundaryTriangles(self.model().m_tets); });
                py::array_t<int> out({static_cast<py::ssize_t>(triangles.size()), py::ssize_t(3)});
                int* p = out.mutable_data();
                for (const auto& t : triangles) p = std::copy(t.begin(), t.end(), p);
                return out;
            },
            "The boundary triangles of the mesh, (M, 3) vertex indices, facing outward: the faces that "
            "set_chamber_wall takes.")
        .def(
            "set_chamber_wall",
            [](PyModel& self, int chamber, const py::handle& triangles) {
                checkIdle(self);
                if (chamber < 0 || chamber > 3)
                    throw py::value_error("chamber: " + std::to_string(chamber) +
                                          " is not 0 (right ventricle), 1 (left ventricle), 2 (right atrium) or "
                                          "3 (left atrium)");
                py::array raw = py::array::ensure(triangles);
                if (!raw || (raw.size() > 0 && raw.dtype().kind() != 'i' && raw.dtype().kind() != 'u'))
                    throw py::value_error("triangles: expected integer vertex indices");
                if (raw.size() == 0) raw = py::array_t<long long>(std::vector<py::ssize_t>{0, 3});
                if (raw.ndim() != 2 || raw.shape(1) != 3)
                    throw py::value_error("triangles: expected shape (K, 3), got " + shapeText(raw));
                auto a = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(raw);
                const int n = self.vertexCount();
                std::vector<TTriIndices> wall(static_cast<size_t>(a.shape(0)));
                for (py::ssize_t i = 0; i < a.shape(0); ++i) {
                    for (int c = 0; c < 3; ++c) {
                        const long long v = a.at(i, c);
                        if (v < 0 || v >= n)
                            throw py::value_error("triangles: row " + std::to_string(i) + " names vertex " +
                                                  std::to_string(v) + " of a " + std::to_string(n) + "-vertex mesh");
                        wall[static_cast<size_t>(i)][c] = static_cast<int>(v);
                    }
                    const TTriIndices& t = wall[static_cast<size_t>(i)];
                    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
                        throw py::value_error("triangles: row " + std::to_string(i) + " repeats a vertex");
                }
                ModelScope scope(self);
                TLSMModel& m = self.model();
                std::vector<TTriIndices>* lists[4] = {&m.m_trisVR, &m.m_trisVL, &m.m_trisAR, &m.m_trisAL};
                // The surface triangles that are wall triangles show the chamber's colour, as painted.
                std::set<std::array<int, 3>> onWall;
                for (TTriIndices t : wall) {
                    std::sort(t.begin(), t.end());
                    onWall.insert(t);
                }
                const int16_t id = static_cast<int16_t>(chamber + 1);
                if (static_cast<int>(m.m_polygonIDs.size()) == m.m_surface.polyCount()) {
                    for (int p = 0; p < m.m_surface.polyCount(); ++p) {
                        std::array<int, 3> key;
                        bool plain = true;
                        for (int c = 0; c < 3; ++c) {
                            const SurfaceVertexSource& s = m.m_surfVtxSource[m.m_surface.polys()[p][c]];
                            plain = plain && !s.isBlend;
                            key[c] = s.vertA;
                        }
                        std::sort(key.begin(), key.end());
                        const bool member = plain && onWall.count(key) > 0;
                        if (member)
                            m.m_polygonIDs[p] = id;
                        else if (m.m_polygonIDs[p] == id)
                            m.m_polygonIDs[p] = 0;
                    }
                    m.buildDrawOrder();
                }
                *lists[chamber] = std::move(wall);
            },
            py::arg("chamber"), py::arg("triangles"),
            "Sets the closed wall of chamber 0..3 (as chamber_wall_vertices numbers them) to triangles, (K, 3) "
            "vertex indices (for example rows of surface_triangles plus caps); volumes, the deformation indices, "
            "the transmural coordinate and the project file use it. The surface triangles among them take the "
            "chamber's colour. An empty array clears the wall.")
        .def_property(
            "cross_fibre_exponent",
            [](PyModel& self) {
                return readModel(self, [&] { return self.model().m_excitation->m_crossFibreExponent; });
            },
            [](PyModel& self, double k) {
                checkIdle(self);
                if (!(k >= kMinCrossFibreExponent && k <= kMaxCrossFibreExponent))
                    throw py::value_error("cross_fibre_exponent: " + std::to_string(k) + " is not within -0.5 to 1");
                ModelScope scope(self);
                self.model().m_excitation->m_crossFibreExponent = k;
                buildTables(*self.model().m_excitation);
            },
            "Ventricular cross-fibre exponent k in [-0.5, 1]: as the fibre shortens by c, the wall stretches by "
            "c^k within itself across the fibre and by 1 / (c c^k) across itself. -0.5 (the default) stretches "
            "both alike; 0 thickens the wall with all of it.");
}
