// velmora-cli import and export-fields: meshes of other formats in, authored fields out.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "CliCommon.h"
#include "linalg/Diagnostics.h"
#include "meshimport/MeshImport.h"
#include "meshimport/MesherProcess.h"
#include "model/FieldExport.h"
#include "model/TLSMModel.h"

namespace {

/// The region tags of an imported mesh: {"source": ..., "counts": {"TAG": tetrahedra, ...}} with the
/// tags in ascending order, or null when the file had none.
nlohmann::json regionSummary(const ImportedTetMesh& mesh) {
    if (mesh.regions.empty()) return nlohmann::json();
    std::map<int, size_t> counts;
    for (int tag : mesh.regions) ++counts[tag];
    nlohmann::json byTag = nlohmann::json::object();
    for (const auto& [tag, count] : counts) byTag[std::to_string(tag)] = count;
    return {{"source", mesh.regionSource}, {"counts", byTag}};
}

}  // namespace

int runImport(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage = "usage: velmora-cli import IN OUT_BASE [--size H] [--json] [--quiet]\n";
    if (!parseCliArgs(args, {"size"}, {"json", "quiet"}, cli) || cli.positional.size() != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    MeshImportOptions options;
    if (cli.has("size")) {
        const std::string text = cli.value("size");
        char* end = nullptr;
        options.elementSize = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(options.elementSize) || options.elementSize <= 0.0) {
            std::fprintf(stderr, "velmora-cli: --size needs a positive number\n%s", usage);
            return 2;
        }
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    const std::string& input = cli.positional[0];
    const std::string base = basePathOf(cli.positional[1]);
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    // gmsh runs in the mesher, a child process with limits: whatever a file does to it, this
    // program ends with a message and status 1, never by a signal.
    if (!importMeshFileInMesher(input, options, mesh, report, error)) {
        std::fprintf(stderr, "velmora-cli: import: %s\n", error.c_str());
        return 1;
    }
    if (cli.has("size") && !report.meshedFromSurface)
        diagPrintf("import: %s is a volume mesh; --size is used only when a surface is filled\n", input.c_str());
    std::string backup;
    if (!placeImportedMesh(base, mesh, backup, error)) {
        std::fprintf(stderr, "velmora-cli: import: %s\n", error.c_str());
        return 1;
    }
    if (!backup.empty())
        std::fprintf(stderr, "velmora-cli: import: %s.vm belonged to another mesh; it was renamed %s\n", base.c_str(),
                     backup.c_str());
    const nlohmann::json j = {{"base", base},
                              {"vertices", mesh.points.size()},
                              {"tetrahedra", mesh.tets.size()},
                              {"dropped_nodes", report.droppedNodes},
                              {"reoriented_tetrahedra", report.reorientedTets},
                              {"curved_tetrahedra", report.higherOrderTets},
                              {"ignored_elements", report.ignoredElements},
                              {"from_surface", report.meshedFromSurface},
                              {"surface_triangles", report.surfaceTriangles},
                              {"element_size", report.elementSize},
                              {"project_backup", backup.empty() ? nlohmann::json() : nlohmann::json(backup)},
                              {"fibres", !mesh.fibres.empty()},
                              {"sheets", !mesh.sheets.empty()},
                              {"regions", regionSummary(mesh)}};
    if (cli.has("json")) {
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        std::printf("%s.node/.ele: %zu vertices, %zu tetrahedra (%d nodes dropped, %d tetrahedra reoriented)\n",
                    base.c_str(), mesh.points.size(), mesh.tets.size(), report.droppedNodes, report.reorientedTets);
        if (!mesh.fibres.empty())
            std::printf("%s.vm: the fibre frames of the mesh (%s)\n", base.c_str(),
                        mesh.sheets.empty() ? "fibres" : "fibres and sheets");
        if (!mesh.regions.empty())
            std::printf("regions (%s): %s\n", mesh.regionSource.c_str(), regionSummary(mesh)["counts"].dump().c_str());
    }
    return 0;
}

int runExportFields(const std::vector<std::string>& args) {
    CliArgs cli;
    if (!parseCliArgs(args, {}, {"quiet"}, cli) || cli.positional.size() != 2) {
        std::fputs("usage: velmora-cli export-fields BASE OUT.vtu [--quiet]\n", stderr);
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    TLSMModel model;
    if (!loadModelForCli(model, basePathOf(cli.positional[0]))) return 1;
    std::string error;
    if (!exportModelFields(model, cli.positional[1], error)) {
        std::fprintf(stderr, "velmora-cli: export-fields: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
