// NearestVertex: exact nearest-vertex queries over a fixed set of mesh vertices (a k-d tree with
// subtree boxes), for the deformation indices' set-up.
#pragma once

#include <utility>
#include <vector>

#include "linalg/vec3.h"

/// A k-d tree kept in one array, each subtree's root at the middle of its range with the box around
/// the subtree, so that whole subtrees out of reach are skipped. Ties go to the lowest vertex index.
/// Built once; the queries are const and may run on several threads at once.
class NearestVertex {
   public:
    /// Takes the vertices (indices into positions) at their positions.
    void build(const std::vector<vec3>& positions, const std::vector<int>& vertices);
    bool empty() const { return m_nodes.empty(); }

    /// The nearest vertex to p and its distance; (-1, infinity) for an empty set. A vertex of the
    /// set near p (the answer for a neighbouring point), when given, bounds the search from the
    /// start; the answer is the same without it.
    std::pair<int, double> nearest(const vec3& p, int hint = -1, const vec3& hintPoint = vec3()) const;

    /// Whether some vertex lies strictly closer to p than distance (cheaper than nearest() when
    /// only the comparison is wanted: the search stops at the first such vertex).
    bool anyCloserThan(const vec3& p, double distance) const;

   private:
    struct Node {
        vec3 point;
        vec3 lo, hi;  ///< the box around the subtree this node is the root of
        int vertex;
        int axis;
    };

    /// Squared distance from p to the box: no more than to any point inside it, also in rounding.
    static double boxDistance2(const Node& node, const vec3& p);
    void buildRange(int begin, int end);
    void search(int begin, int end, const vec3& p, int& best, double& bestDistance2) const;
    bool closerIn(int begin, int end, const vec3& p, double distance) const;

    std::vector<Node> m_nodes;
};
