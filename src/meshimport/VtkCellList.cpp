// VtkCellList: the cells of a VTK dataset as plain, checked index lists, and the cell types the
// importer tells apart.
#include "meshimport/VtkCellList.h"

#include <vtkCellArray.h>
#include <vtkCellType.h>
#include <vtkCellTypes.h>
#include <vtkDataArray.h>
#include <vtkGenericCell.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>

namespace {

/// "3 hexahedra", "1 prism", "2 'vtkPolyhedron'" for cells of one type in a message.
std::string cellCount(size_t count, int type) {
    const char* singular = nullptr;
    const char* plural = nullptr;
    switch (type) {
        case VTK_HEXAHEDRON:
        case VTK_QUADRATIC_HEXAHEDRON:
        case VTK_TRIQUADRATIC_HEXAHEDRON:
        case VTK_BIQUADRATIC_QUADRATIC_HEXAHEDRON:
        case VTK_LAGRANGE_HEXAHEDRON:
        case VTK_BEZIER_HEXAHEDRON:
            singular = "hexahedron", plural = "hexahedra";
            break;
        case VTK_VOXEL:
            singular = "voxel", plural = "voxels";
            break;
        case VTK_WEDGE:
        case VTK_QUADRATIC_WEDGE:
        case VTK_QUADRATIC_LINEAR_WEDGE:
        case VTK_BIQUADRATIC_QUADRATIC_WEDGE:
        case VTK_LAGRANGE_WEDGE:
        case VTK_BEZIER_WEDGE:
            singular = "prism", plural = "prisms";
            break;
        case VTK_PYRAMID:
        case VTK_QUADRATIC_PYRAMID:
        case VTK_TRIQUADRATIC_PYRAMID:
            singular = "pyramid", plural = "pyramids";
            break;
        case VTK_POLYHEDRON:
            singular = "polyhedron", plural = "polyhedra";
            break;
        case VTK_QUAD:
        case VTK_QUADRATIC_QUAD:
        case VTK_BIQUADRATIC_QUAD:
        case VTK_PIXEL:
            singular = "quadrilateral", plural = "quadrilaterals";
            break;
        case VTK_POLYGON:
            singular = "polygon", plural = "polygons";
            break;
        case VTK_TRIANGLE_STRIP:
            singular = "triangle strip", plural = "triangle strips";
            break;
        default:
            break;
    }
    if (singular) return std::to_string(count) + " " + (count == 1 ? singular : plural);
    const char* className = vtkCellTypes::GetClassNameFromTypeId(type);
    return std::to_string(count) + " '" + (className ? className : std::to_string(type)) + "'";
}

}  // namespace

bool VtkCellList::append(vtkCellArray* cells, long long pointCount, const std::string& name, std::string& error) {
    if (!cells || cells->GetNumberOfCells() == 0) return true;
    vtkDataArray* offsetArray = cells->GetOffsetsArray();
    vtkDataArray* idArray = cells->GetConnectivityArray();
    const vtkIdType offsetCount = offsetArray ? offsetArray->GetNumberOfValues() : 0;
    const vtkIdType idCount = idArray ? idArray->GetNumberOfValues() : 0;
    const long long base = static_cast<long long>(connectivity.size());
    for (vtkIdType i = 0; i < idCount; ++i) {
        const double id = idArray->GetComponent(i, 0);
        if (!(id >= 0.0 && id < static_cast<double>(pointCount))) {
            error = name + ": a cell names point " + std::to_string(static_cast<long long>(id)) + " of " +
                    std::to_string(pointCount);
            return false;
        }
        connectivity.push_back(static_cast<long long>(id));
    }
    long long previous = 0;
    for (vtkIdType i = 0; i < offsetCount; ++i) {
        const long long offset = static_cast<long long>(offsetArray->GetComponent(i, 0));
        if ((i == 0 && offset != 0) || offset < previous || offset > idCount) {
            error =
                name + ": the cells' offsets do not rise from 0 to their " + std::to_string(idCount) + " point indices";
            return false;
        }
        if (i > 0) offsets.push_back(base + offset);
        previous = offset;
    }
    if (previous != idCount) {
        error = name + ": the cells' offsets end before their " + std::to_string(idCount) + " point indices";
        return false;
    }
    return true;
}

bool isVtkTetrahedron(int type) {
    return type == VTK_TETRA || type == VTK_QUADRATIC_TETRA || type == VTK_LAGRANGE_TETRAHEDRON ||
           type == VTK_BEZIER_TETRAHEDRON;
}

bool isVtkTriangle(int type) {
    return type == VTK_TRIANGLE || type == VTK_QUADRATIC_TRIANGLE || type == VTK_BIQUADRATIC_TRIANGLE ||
           type == VTK_LAGRANGE_TRIANGLE || type == VTK_BEZIER_TRIANGLE;
}

int vtkCellDimension(int type, std::map<int, int>& known) {
    const auto it = known.find(type);
    if (it != known.end()) return it->second;
    vtkCell* cell = vtkGenericCell::InstantiateCell(type);
    const int dimension = cell && cell->GetCellType() == type ? cell->GetCellDimension() : -1;
    if (cell) cell->Delete();
    known.emplace(type, dimension);
    return dimension;
}

void VtkCellTally::add(int type) {
    ++total;
    for (auto& entry : counts)
        if (entry.first == type) {
            ++entry.second;
            return;
        }
    counts.emplace_back(type, 1);
}

std::string VtkCellTally::text() const {
    std::string out;
    for (const auto& [type, count] : counts) out += (out.empty() ? "" : ", ") + cellCount(count, type);
    return out;
}

bool gatherVtkCells(vtkDataSet* data, const std::string& name, VtkCellList& cells, std::vector<int>& types,
                    std::string& error) {
    const long long pointCount = data->GetNumberOfPoints();
    if (auto* grid = vtkUnstructuredGrid::SafeDownCast(data)) {
        if (!cells.append(grid->GetCells(), pointCount, name, error)) return false;
        vtkUnsignedCharArray* typeArray = grid->GetCellTypesArray();
        const size_t typeCount = typeArray ? static_cast<size_t>(typeArray->GetNumberOfValues()) : 0;
        if (typeCount != cells.count()) {
            error =
                name + ": " + std::to_string(typeCount) + " cell types for " + std::to_string(cells.count()) + " cells";
            return false;
        }
        types.resize(typeCount);
        for (size_t i = 0; i < typeCount; ++i) types[i] = typeArray->GetValue(static_cast<vtkIdType>(i));
        return true;
    }
    if (auto* poly = vtkPolyData::SafeDownCast(data)) {
        const std::pair<vtkCellArray*, int> blocks[] = {{poly->GetVerts(), VTK_POLY_VERTEX},
                                                        {poly->GetLines(), VTK_POLY_LINE},
                                                        {poly->GetPolys(), VTK_POLYGON},
                                                        {poly->GetStrips(), VTK_TRIANGLE_STRIP}};
        for (const auto& [block, type] : blocks) {
            const size_t before = cells.count();
            if (!cells.append(block, pointCount, name, error)) return false;
            for (size_t c = before; c < cells.count(); ++c)
                types.push_back(type == VTK_POLYGON && cells.size(c) == 3 ? VTK_TRIANGLE : type);
        }
        return true;
    }
    error = name + " holds a dataset that is not an unstructured grid or polygonal data";
    return false;
}
