// VtkCellList: the cells of a VTK dataset as plain, checked index lists, and the cell types the
// importer tells apart.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

class vtkCellArray;
class vtkDataSet;

/// Cells as offsets and connectivity (0-based point indices), every list checked on the way in.
struct VtkCellList {
    std::vector<long long> offsets{0};
    std::vector<long long> connectivity;

    size_t count() const { return offsets.size() - 1; }
    long long size(size_t cell) const { return offsets[cell + 1] - offsets[cell]; }
    const long long* ids(size_t cell) const { return connectivity.data() + offsets[cell]; }

    /// Appends the cells of a VTK cell array (null or empty: none). False with a reason in error
    /// (beginning with name) when its offsets do not rise from 0 to its connectivity's size or an
    /// index does not name one of pointCount points.
    bool append(vtkCellArray* cells, long long pointCount, const std::string& name, std::string& error);
};

/// The dataset's cells in cell-id order with a VTK type each: an unstructured grid's own types,
/// or a polygonal dataset's vertices, lines, polygons (VTK_TRIANGLE for those of three points)
/// and strips, in that order. False with a reason for another kind of dataset, types that do not
/// match the cells, or cells that VtkCellList::append refuses.
bool gatherVtkCells(vtkDataSet* data, const std::string& name, VtkCellList& cells, std::vector<int>& types,
                    std::string& error);

/// Linear, quadratic, Lagrange and Bezier tetrahedra: the first four points are the corners.
bool isVtkTetrahedron(int type);
/// Triangles of any order: the first three points are the corners.
bool isVtkTriangle(int type);

/// The dimension of a cell type (0 to 3), or -1 for a number VTK does not know; known caches the
/// answers.
int vtkCellDimension(int type, std::map<int, int>& known);

/// Counts of cells by type, for a message: "2 hexahedra, 1 pyramid" in the order the types came.
struct VtkCellTally {
    std::vector<std::pair<int, size_t>> counts;
    size_t total = 0;

    void add(int type);
    std::string text() const;
};
