// Hole filling: boundary loops of an open triangle mesh and fan caps that close them.
#pragma once

#include <vector>

#include "mesh/TTriangleMesh.h"

/// Walks the boundary loop through vertex `start` (0-based). On success `loopVertices` holds each
/// loop vertex once, `start` first, and `loopEdges` the boundary edges walked (edge i joins loop
/// vertex i to vertex i + 1, the last one back to `start`); the loop runs along every boundary edge
/// against the direction of that edge's triangle, so a cap built on it matches its neighbours.
/// False without a message when `start` lies on no boundary edge or the walk does not close; false
/// with "strange ! 789asfd21" when a loop vertex has other than two boundary edges. Both lists are
/// empty after a failure.
bool getBoundaryLoop(const TTriangleMesh& mesh, int start, std::vector<int>& loopVertices, std::vector<int>& loopEdges);

/// Closes the boundary loop through `start` with a fan of k - 2 triangles (k loop vertices) from the
/// loop vertex nearest to the loop's centroid, appended after the existing triangles, and
/// re-initialises the mesh (its own validation messages may appear). No vertex is added. False,
/// with the mesh unchanged, when the loop cannot be walked.
bool fillHole(TTriangleMesh& mesh, int start);
