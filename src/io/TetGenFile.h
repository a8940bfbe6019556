// TetGenFile: the validating reader of TetGen's .node/.ele pair.
#pragma once

#include <string>

#include "mesh/TTetMesh.h"

/// Reads base + ".node" and base + ".ele". Honours TetGen's header fields (attribute columns,
/// boundary markers, nodes per tetrahedron) and accepts 1-based corner numbering when the file
/// cannot be 0-based. Returns false, with one message naming the file and line, when a file is
/// missing or malformed; the mesh is then empty. The message goes to the console and, when reason
/// is given, into *reason too (one line, no newline), so that a window can show it.
bool loadTetMesh(TTetMesh& mesh, const std::string& basePath, std::string* reason = nullptr);

/// Reads the vertex positions of one .node file (nodePath is the full file name) with the checks
/// loadTetMesh makes. False, with the same kind of message, when it is missing or malformed.
bool loadTetNodes(const std::string& nodePath, std::vector<vec3>& positions, std::string* reason = nullptr);
