// Unstructured benchmark meshes: thick ellipsoidal shells meshed by gmsh from bench/model/shell.geo,
// made on first use and kept in a cache directory.
#pragma once

#include <string>

namespace benchmesh {

/// Base path (without extension) of a TetGen .node/.ele pair of the shell with about
/// `approxVertices` vertices: 5000, 20000 or 60000 (5,193 / 19,477 / 56,090 vertices with the
/// gmsh of Debian 12). The mesh is made on first use with gmsh and tools/models/msh2tetgen.py
/// (a few seconds to a minute) in $VELMORA_BENCH_MESH_DIR, default build/bench-meshes. Empty,
/// with a message on standard error, when the size is unknown or gmsh fails.
std::string shellMesh(int approxVertices);

}  // namespace benchmesh
