// LatticeMesh: the simulation lattice's mesh: the model's boundary surface filled by gmsh in the
// guarded mesher at the element size that gives about the vertex count asked for, cached beside
// the model.
#pragma once

#include <string>

#include "model/SimulationLattice.h"

/// The cache files of the lattice of the model at base: base + ".lattice.node", ".lattice.ele" and
/// ".lattice.key" (the key: format version, the vertex count asked for and the fine mesh's
/// checksum, written last so that a half-written cache never matches).
std::string latticeCacheBase(const std::string& base);

/// The same in the fallback folder (used when the model's folder cannot be written): the model's
/// file name, "-", 16 hex digits of a hash of its absolute base path, ".lattice"; "" without a
/// folder.
std::string fallbackLatticeCacheBase(const std::string& base, const std::string& folder);

/// The element size expected to fill a body of this volume and surface area with about
/// targetVertices vertices: gmsh's Delaunay fill has about kV / h^3 vertices per unit volume
/// plus kS / h^2 per unit area on its boundary (a thin shell has most on its surface).
double latticeElementSize(double volume, double area, int targetVertices, double scale = 1.0);

/// LatticeMeshBuilder: reuses a cache (beside the model, then in the fallback folder) whose key
/// matches the request; otherwise writes the surface as a private binary STL, fills it in the
/// mesher (MeshImportJob) at latticeElementSize, once more with a corrected size when the count is
/// off by more than a quarter, and writes the cache (beside the model, else in the fallback
/// folder; a cache that cannot be written anywhere is only reported). Progress and cancel through
/// hooks (polled every 50 ms). False with a one-line reason: the mesher's refusal or stop, or
/// "cancelled".
/// program is the mesher to run ("" for mesherProgramPath(), the one beside the running program).
bool buildLatticeMesh(const LatticeMeshRequest& request, const LatticeBuildHooks& hooks, LatticeMeshResult& result,
                      std::string& error, const std::string& program = "");

/// Makes buildLatticeMesh with the given mesher ("" for the one beside the running program) the
/// process's lattice builder (setLatticeMeshBuilder). Inline, so that the importer does not link
/// the model library: the programs that call it link both.
inline void installLatticeMeshBuilder(const std::string& program = "") {
    setLatticeMeshBuilder(
        [program](const LatticeMeshRequest& request, const LatticeBuildHooks& hooks, LatticeMeshResult& result,
                  std::string& error) { return buildLatticeMesh(request, hooks, result, error, program); });
}
