// PyLattice: Model.set_lattice (build, reuse or drop the simulation lattice) and Model.lattice.
#include "PyLattice.h"

#include <dlfcn.h>
#include <pybind11/stl.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "ModelScope.h"
#include "meshimport/LatticeMesh.h"
#include "model/TLSMModel.h"

namespace py = pybind11;
using namespace pyscope;

namespace {

/// The mesher beside this compiled module (where the build and the installation put it), else
/// beside the velmora-cli named by VELMORA_CLI; "" when neither exists (the builder then names
/// the missing program in its message).
std::string mesherBesideThisModule() {
    namespace fs = std::filesystem;
    std::error_code ec;
    Dl_info info{};
    fs::path beside;
    if (::dladdr(reinterpret_cast<void*>(&mesherBesideThisModule), &info) && info.dli_fname)
        beside = fs::path(info.dli_fname).parent_path() / "velmora-mesher";
    if (!beside.empty() && fs::exists(beside, ec)) return beside.string();
    if (const char* cli = std::getenv("VELMORA_CLI"); cli && *cli) {
        const fs::path other = fs::path(cli).parent_path() / "velmora-mesher";
        if (fs::exists(other, ec)) return other.string();
    }
    return beside.string();
}

/// Model.set_lattice and the lattice property's setter.
void setLattice(PyModel& self, std::optional<int> vertices) {
    checkIdle(self);
    const int n = self.vertexCount();
    if (vertices && (*vertices < kMinLatticeVertices || *vertices >= n))
        throw py::value_error("set_lattice: " + std::to_string(*vertices) + " vertices is outside " +
                              std::to_string(kMinLatticeVertices) + ".." + std::to_string(n - 1) +
                              " (at least 100, fewer than the model's)");
    std::string reason;
    bool made = true;
    {
        ModelScope scope(self);
        if (vertices)
            made = self.model().setSimulationLattice(*vertices, &reason);
        else
            self.model().clearSimulationLattice();
    }
    if (!made) throw std::runtime_error("set_lattice: " + reason);
}

}  // namespace

void bindLattice(py::class_<PyModel>& model) {
    installLatticeMeshBuilder(mesherBesideThisModule());
    model
        .def("set_lattice", &setLattice, py::arg("vertices"),
             R"doc(Simulates through a lattice of about `vertices` vertices (100 up to fewer than the model's)
that carries every vertex of the model, or at full resolution again with None. The lattice fills
the model's surface in the mesher (a few seconds) and is cached beside the model as
NAME.lattice.node/.ele/.key, so the next call with the same mesh and count reuses it; save()
records it in the project file. Raises ValueError for a count out of range and RuntimeError when
the mesher fails. The simulation restarts from rest.)doc")
        .def_property(
            "lattice",
            [](PyModel& self) -> std::optional<int> {
                const int target = readModel(self, [&] { return self.model().simulationLatticeTarget(); });
                if (target <= 0) return std::nullopt;
                return target;
            },
            &setLattice,
            "The vertex count of the simulation lattice asked for (set_lattice or the project file), or None; "
            "assigning to it is set_lattice.")
        .def_property_readonly(
            "lattice_info",
            [](PyModel& self) -> std::optional<py::dict> {
                struct Info {
                    int vertices, tets, outside;
                    bool reused;
                };
                const std::optional<Info> info = readModel(self, [&]() -> std::optional<Info> {
                    const SimulationLattice* lattice = self.model().simulationLattice();
                    if (!lattice) return std::nullopt;
                    return Info{lattice->vertexCount(), lattice->tetCount(), lattice->outsideVertexCount(),
                                lattice->reusedCache()};
                });
                if (!info) return std::nullopt;
                py::dict d;
                d["vertices"] = info->vertices;
                d["tetrahedra"] = info->tets;
                d["outside_vertices"] = info->outside;
                d["reused_cache"] = info->reused;
                return d;
            },
            "The lattice in use: a dict of vertices, tetrahedra, outside_vertices and reused_cache; None "
            "without one.");
}
