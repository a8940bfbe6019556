// Unstructured benchmark meshes: thick ellipsoidal shells meshed by gmsh from bench/model/shell.geo,
// made on first use and kept in a cache directory.
#pragma once

#include <string>

namespace benchmesh {

/// The research-size shell: about 212,000 vertices and 1.17 million tetrahedra (element size 0.078).
inline constexpr int kLargeShell = 212000;

/// Base path (without extension) of a TetGen .node/.ele pair of the shell with about
/// `approxVertices` vertices: 5000, 20000 or 60000 (5,193 / 19,477 / 56,090 vertices with the
/// gmsh of Debian 12), or kLargeShell. The mesh is made on first use with gmsh and
/// tools/models/msh2tetgen.py (a few seconds to a minute) in $VELMORA_BENCH_MESH_DIR, default
/// build/bench-meshes; kLargeShell (named shell212000) only with VELMORA_BENCH_LARGE_SHELL=1, as
/// gmsh takes minutes and gigabytes for it. Empty, with a message on standard error, when the size
/// is unknown, the large shell is absent and not to be made, or gmsh fails.
std::string shellMesh(int approxVertices);

}  // namespace benchmesh
