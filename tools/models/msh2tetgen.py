#!/usr/bin/python3
"""Converts a gmsh .msh (version 2, ASCII) tetrahedral mesh into a TetGen .node/.ele pair.

Keeps the linear tetrahedra (element type 4), renumbers the nodes they use from 0 in ascending
original order, and orients every tetrahedron positively. Deterministic: the same input gives the
same bytes.
usage: msh2tetgen.py INPUT.msh OUTBASE
"""
import sys


def read_msh2(path):
    nodes, tets = {}, []
    with open(path) as f:
        lines = iter(f.read().splitlines())
    for line in lines:
        if line == "$Nodes":
            count = int(next(lines))
            for _ in range(count):
                parts = next(lines).split()
                nodes[int(parts[0])] = tuple(float(v) for v in parts[1:4])
        elif line == "$Elements":
            count = int(next(lines))
            for _ in range(count):
                parts = [int(v) for v in next(lines).split()]
                if parts[1] == 4:
                    ntags = parts[2]
                    tets.append(parts[3 + ntags:3 + ntags + 4])
    return nodes, tets


def orient(p, t):
    a, b, c, d = (p[i] for i in t)
    u = [b[k] - a[k] for k in range(3)]
    v = [c[k] - a[k] for k in range(3)]
    w = [d[k] - a[k] for k in range(3)]
    det = (u[0] * (v[1] * w[2] - v[2] * w[1]) - u[1] * (v[0] * w[2] - v[2] * w[0]) + u[2] * (v[0] * w[1] - v[1] * w[0]))
    if det < 0:
        return [t[0], t[1], t[3], t[2]]
    return t


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    nodes, tets = read_msh2(sys.argv[1])
    used = sorted({i for t in tets for i in t})
    index = {old: new for new, old in enumerate(used)}
    points = [nodes[old] for old in used]
    tets = [orient(points, [index[i] for i in t]) for t in tets]
    with open(sys.argv[2] + ".node", "w") as f:
        f.write("%d 3 0 0\n" % len(points))
        for i, (x, y, z) in enumerate(points):
            f.write("%d %.10f %.10f %.10f\n" % (i, x, y, z))
    with open(sys.argv[2] + ".ele", "w") as f:
        f.write("%d 4 0\n" % len(tets))
        for j, t in enumerate(tets):
            f.write("%d %d %d %d %d\n" % (j, t[0], t[1], t[2], t[3]))
    print("%s: %d vertices, %d tetrahedra" % (sys.argv[2], len(points), len(tets)))


if __name__ == "__main__":
    main()
