// VtkLibraryReader: VTK reads the file; its cells are checked and its tetrahedra taken,
// renumbered and oriented here, with the direction and region arrays brought along. VTK's own
// messages go to an output window that keeps the first error for the refusal.
#include "meshimport/VtkLibraryReader.h"

#include <vtkCellData.h>
#include <vtkCellType.h>
#include <vtkDataArray.h>
#include <vtkDataArraySelection.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyDataReader.h>
#include <vtkSmartPointer.h>
#include <vtkUnstructuredGrid.h>
#include <vtkUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridReader.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "linalg/Diagnostics.h"
#include "mesh/TetMeshLimits.h"
#include "mesh/Tetra.h"
#include "meshimport/ImportedFibres.h"
#include "meshimport/VtkCellList.h"

namespace {

// Array names, in order of preference; letter case is ignored.
const std::vector<std::string> kFibreNames = {"fiber", "fibre", "fibers", "fibres", "f0"};
const std::vector<std::string> kSheetNames = {"sheet", "s0"};
const std::vector<std::string> kRegionNames = {"gmsh:physical", "cellentityids"};

/// VTK's console while a file is read: the first error is kept for the refusal; warnings and
/// everything else are dropped, so that nothing prints or pops up.
class CapturingOutputWindow : public vtkOutputWindow {
   public:
    static CapturingOutputWindow* New();
    vtkTypeMacro(CapturingOutputWindow, vtkOutputWindow);
    void DisplayText(const char*) override {}
    void DisplayErrorText(const char* text) override {
        if (m_firstError.empty() && text) m_firstError = text;
    }
    void DisplayWarningText(const char*) override {}
    void DisplayGenericWarningText(const char*) override {}
    void DisplayDebugText(const char*) override {}

    void clear() { m_firstError.clear(); }
    const std::string& firstError() const { return m_firstError; }

   protected:
    CapturingOutputWindow() = default;

   private:
    std::string m_firstError;
};
vtkStandardNewMacro(CapturingOutputWindow);

/// One read at a time: VTK's output window is shared by the process.
std::mutex& vtkReadMutex() {
    static std::mutex mutex;
    return mutex;
}

/// The capturing window, installed as VTK's output window (again, should anything have
/// replaced it), emptied. Called under vtkReadMutex.
CapturingOutputWindow* capturingWindow() {
    auto* window = CapturingOutputWindow::SafeDownCast(vtkOutputWindow::GetInstance());
    if (!window) {
        // VTK's logger writes the same errors to standard error on its own.
        vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
        vtkNew<CapturingOutputWindow> fresh;
        vtkOutputWindow::SetInstance(fresh);
        window = fresh;  // the output window holds it now
    }
    window->clear();
    return window;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

/// "ERROR: In FILE, line N\nvtkXMLUnstructuredGridReader (0x..): Error parsing ..." as
/// "Error parsing ...": one line, the private copy called by the user's name for the file.
std::string vtkMessage(std::string text, const std::string& path, const std::string& name) {
    const size_t newline = text.find('\n');
    if (text.compare(0, 6, "ERROR:") == 0 && newline != std::string::npos) text.erase(0, newline + 1);
    const size_t object = text.find("): ");
    if (text.compare(0, 3, "vtk") == 0 && object != std::string::npos) text.erase(0, object + 3);
    replaceAll(text, path, name);
    replaceAll(text, std::filesystem::path(path).filename().string(), name);
    std::string line;
    for (char c : text) {
        const char shown = c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
        if (shown == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += shown;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.size() > 240) line = line.substr(0, 237) + "...";
    return line.empty() ? "VTK gave no reason" : line;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

/// The array of data whose name is the earliest of names (letter case ignored); null if none.
vtkDataArray* namedArray(vtkFieldData* data, const std::vector<std::string>& names) {
    vtkDataArray* best = nullptr;
    size_t bestRank = names.size();
    for (int i = 0; data && i < data->GetNumberOfArrays(); ++i) {
        vtkDataArray* array = data->GetArray(i);
        if (!array || !array->GetName()) continue;
        const auto rank =
            static_cast<size_t>(std::find(names.begin(), names.end(), lowered(array->GetName())) - names.begin());
        if (rank < bestRank) {
            best = array;
            bestRank = rank;
        }
    }
    return best;
}

/// Lets the XML reader read only the arrays of interest: any other array is never allocated.
void selectArrays(vtkDataArraySelection* selection, const std::vector<std::vector<std::string>>& nameLists) {
    for (int i = 0; i < selection->GetNumberOfArrays(); ++i) {
        const char* arrayName = selection->GetArrayName(i);
        bool wanted = false;
        for (const auto& names : nameLists)
            if (arrayName && std::find(names.begin(), names.end(), lowered(arrayName)) != names.end()) wanted = true;
        if (wanted)
            selection->EnableArray(arrayName);
        else
            selection->DisableArray(arrayName);
    }
}

/// Runs the reader; false with VTK's first error (or the exception that escaped it).
bool runReader(vtkAlgorithm* reader, CapturingOutputWindow* window, const std::string& path, const std::string& name,
               std::string& error) {
    try {
        reader->Update();
    } catch (const std::exception& e) {
        error = name + " could not be read: " + e.what();
        return false;
    }
    if (!window->firstError().empty()) {
        error = name + " could not be read: " + vtkMessage(window->firstError(), path, name);
        return false;
    }
    return true;
}

/// A coordinate beyond the guards, in the words of the other readers.
bool checkCoordinates(const vec3& p, long long id, const std::string& name, std::string& error) {
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(p[a]) || std::fabs(p[a]) > kMaxTetMeshCoordinate) {
            char text[96];
            std::snprintf(text, sizeof text, " has coordinate %g, beyond +-1e60", p[a]);
            error = name + ": node " + std::to_string(id) + text;
            return false;
        }
    return true;
}

/// The rows of a three-component array at the given ids; empty when the array does not fit
/// (with a console line saying why).
std::vector<vec3> directionRows(vtkDataArray* array, const std::vector<long long>& ids, vtkIdType expectedTuples,
                                const char* where, const std::string& name) {
    if (array->GetNumberOfComponents() != 3 || array->GetNumberOfTuples() != expectedTuples) {
        diagPrintf(
            "import: %s array '%s' of %s has %d components for %lld entries, not 3 for each of %lld; not "
            "taken\n",
            where, array->GetName(), name.c_str(), array->GetNumberOfComponents(),
            static_cast<long long>(array->GetNumberOfTuples()), static_cast<long long>(expectedTuples));
        return {};
    }
    std::vector<vec3> rows(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        double v[3];
        array->GetTuple(ids[i], v);
        rows[i] = vec3(v[0], v[1], v[2]);
    }
    return rows;
}

/// Fibre or sheet directions per point of mesh: from a point array (at the kept points) or, when
/// there is none, a cell array (at the tetrahedra, averaged to the points). Empty when neither.
std::vector<vec3> takeDirections(vtkDataSet* data, const std::vector<std::string>& names,
                                 const std::vector<long long>& keptPoints, const std::vector<long long>& tetCells,
                                 const ImportedTetMesh& mesh, const std::string& name, std::string& source) {
    if (vtkDataArray* array = namedArray(data->GetPointData(), names)) {
        std::vector<vec3> rows = directionRows(array, keptPoints, data->GetNumberOfPoints(), "point", name);
        if (!rows.empty()) {
            source = std::string("point array '") + array->GetName() + "'";
            return normalisedDirections(rows);
        }
    }
    if (vtkDataArray* array = namedArray(data->GetCellData(), names)) {
        std::vector<vec3> rows = directionRows(array, tetCells, data->GetNumberOfCells(), "cell", name);
        if (!rows.empty()) {
            source = std::string("cell array '") + array->GetName() + "'";
            return averageCellDirectionsToPoints(mesh.points, mesh.tets, rows);
        }
    }
    return {};
}

/// Region tags of the tetrahedra from a one-component cell array of integers.
void takeRegions(vtkDataSet* data, const std::vector<long long>& tetCells, const std::string& name,
                 ImportedTetMesh& mesh) {
    vtkDataArray* array = namedArray(data->GetCellData(), kRegionNames);
    if (!array) return;
    if (array->GetNumberOfComponents() != 1 || array->GetNumberOfTuples() != data->GetNumberOfCells()) {
        diagPrintf("import: cell array '%s' of %s has %d components for %lld cells, not 1 for each; no regions taken\n",
                   array->GetName(), name.c_str(), array->GetNumberOfComponents(),
                   static_cast<long long>(array->GetNumberOfTuples()));
        return;
    }
    std::vector<int> regions(tetCells.size());
    for (size_t j = 0; j < tetCells.size(); ++j) {
        const double tag = array->GetComponent(tetCells[j], 0);
        if (!std::isfinite(tag) || tag != std::floor(tag) || std::fabs(tag) > INT_MAX) {
            diagPrintf("import: cell array '%s' of %s holds %g, not a region number; no regions taken\n",
                       array->GetName(), name.c_str(), tag);
            return;
        }
        regions[j] = static_cast<int>(tag);
    }
    mesh.regions = std::move(regions);
    mesh.regionSource = array->GetName();
}

/// Takes the tetrahedra of data into mesh (the contract of readVtkLibraryMesh), or its triangles
/// into surface when it has no volume cells.
VtkMeshKind takeCells(vtkDataSet* data, const std::string& name, ImportedTetMesh& mesh, MeshImportReport& report,
                      VtkSurface& surface, std::string& error) {
    VtkCellList cells;
    std::vector<int> types;
    if (!gatherVtkCells(data, name, cells, types, error)) return VtkMeshKind::Failed;

    std::map<int, int> dimensions;
    std::vector<long long> tetCells, triangleCells;
    VtkCellTally otherVolume, otherSurface;
    size_t lowerCells = 0;
    for (size_t c = 0; c < types.size(); ++c) {
        const int type = types[c];
        if (type == VTK_EMPTY_CELL) continue;
        if (isVtkTetrahedron(type)) {
            if (cells.size(c) < 4 || (type == VTK_TETRA && cells.size(c) != 4) ||
                (type == VTK_QUADRATIC_TETRA && cells.size(c) != 10)) {
                error = name + ": cell " + std::to_string(c) + " is a tetrahedron of " + std::to_string(cells.size(c)) +
                        " points";
                return VtkMeshKind::Failed;
            }
            tetCells.push_back(static_cast<long long>(c));
            if (type != VTK_TETRA) ++report.higherOrderTets;
            continue;
        }
        const int dimension = vtkCellDimension(type, dimensions);
        if (dimension < 0) {
            error = name + ": cell " + std::to_string(c) + " has the unknown type " + std::to_string(type);
            return VtkMeshKind::Failed;
        }
        if (dimension == 3) {
            otherVolume.add(type);
        } else if (dimension == 2) {
            ++lowerCells;
            if (isVtkTriangle(type) && cells.size(c) >= 3)
                triangleCells.push_back(static_cast<long long>(c));
            else
                otherSurface.add(type);
        } else {
            ++lowerCells;
        }
    }
    if (otherVolume.total > 0) {
        error = name + " has " + otherVolume.text() +
                (tetCells.empty() ? "" : " besides " + std::to_string(tetCells.size()) + " tetrahedra") +
                "; only tetrahedral meshes can be imported";
        return VtkMeshKind::Failed;
    }
    if (static_cast<long long>(tetCells.size()) > kMaxTetMeshCount) {
        error = name + " has " + std::to_string(tetCells.size()) + " tetrahedra, more than the " +
                std::to_string(kMaxTetMeshCount) + " a model can hold";
        return VtkMeshKind::Failed;
    }
    const long long pointCount = data->GetNumberOfPoints();
    vtkPoints* points = vtkPointSet::SafeDownCast(data)->GetPoints();
    auto pointAt = [points](long long id) {
        double p[3];
        points->GetPoint(id, p);
        return vec3(p[0], p[1], p[2]);
    };

    if (tetCells.empty()) {
        if (triangleCells.empty()) {
            error = name + " is not a mesh: it holds no tetrahedra and no surface triangles";
            return VtkMeshKind::Failed;
        }
        if (otherSurface.total > 0) {
            error = name + " has surface elements other than triangles (" + otherSurface.text() +
                    "); only a triangulated surface can be filled";
            return VtkMeshKind::Failed;
        }
        std::vector<int> row(static_cast<size_t>(pointCount), -1);
        for (long long c : triangleCells)
            for (int k = 0; k < 3; ++k) row[cells.ids(c)[k]] = 0;
        for (long long id = 0; id < pointCount; ++id) {
            if (row[id] < 0) continue;
            row[id] = static_cast<int>(surface.points.size());
            surface.points.push_back(pointAt(id));
            if (!checkCoordinates(surface.points.back(), id, name, error)) return VtkMeshKind::Failed;
        }
        for (long long c : triangleCells) {
            const long long* ids = cells.ids(c);
            surface.triangles.push_back({row[ids[0]], row[ids[1]], row[ids[2]]});
        }
        return VtkMeshKind::Surface;
    }

    // Points in file order, those no tetrahedron uses left out.
    std::vector<int> newIndex(static_cast<size_t>(pointCount), -1);
    for (long long c : tetCells)
        for (int k = 0; k < 4; ++k) newIndex[cells.ids(c)[k]] = 0;
    std::vector<long long> keptPoints;
    for (long long id = 0; id < pointCount; ++id)
        if (newIndex[id] == 0) keptPoints.push_back(id);
    if (static_cast<long long>(keptPoints.size()) > kMaxTetMeshCount) {
        error = name + " has " + std::to_string(keptPoints.size()) + " vertices, more than the " +
                std::to_string(kMaxTetMeshCount) + " a model can hold";
        return VtkMeshKind::Failed;
    }
    mesh.points.resize(keptPoints.size());
    vec3 lo, hi;
    for (size_t i = 0; i < keptPoints.size(); ++i) {
        newIndex[keptPoints[i]] = static_cast<int>(i);
        const vec3 p = pointAt(keptPoints[i]);
        if (!checkCoordinates(p, keptPoints[i], name, error)) return VtkMeshKind::Failed;
        if (i == 0) lo = hi = p;
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
        mesh.points[i] = p;
    }
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    if (extent > 0.0 && extent < kMinTetMeshExtent) {
        error = name + ": the vertices span less than the 1e-60 a mesh needs to be scaled";
        return VtkMeshKind::Failed;
    }
    mesh.tets.resize(tetCells.size());
    for (size_t j = 0; j < tetCells.size(); ++j) {
        const long long* ids = cells.ids(tetCells[j]);
        std::array<int, 4> t{newIndex[ids[0]], newIndex[ids[1]], newIndex[ids[2]], newIndex[ids[3]]};
        if (signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]) < 0.0) {
            std::swap(t[2], t[3]);
            ++report.reorientedTets;
        }
        mesh.tets[j] = t;
    }
    report.droppedNodes = static_cast<int>(pointCount - static_cast<long long>(keptPoints.size()));
    report.ignoredElements = static_cast<int>(lowerCells);

    std::string fibreSource, sheetSource;
    mesh.fibres = takeDirections(data, kFibreNames, keptPoints, tetCells, mesh, name, fibreSource);
    if (!mesh.fibres.empty()) {
        mesh.sheets = takeDirections(data, kSheetNames, keptPoints, tetCells, mesh, name, sheetSource);
        diagPrintf("import: fibres of %s taken from its %s%s%s\n", name.c_str(), fibreSource.c_str(),
                   sheetSource.empty() ? "" : ", sheets from its ", sheetSource.c_str());
    }
    takeRegions(data, tetCells, name, mesh);
    return VtkMeshKind::Tetrahedra;
}

}  // namespace

VtkMeshKind readVtkLibraryMesh(const std::string& path, MeshFileFormat format, const std::string& name,
                               ImportedTetMesh& mesh, MeshImportReport& report, VtkSurface& surface,
                               std::string& error) {
    mesh = ImportedTetMesh();
    surface = VtkSurface();
    error.clear();
    const std::lock_guard<std::mutex> lock(vtkReadMutex());
    CapturingOutputWindow* window = capturingWindow();

    vtkSmartPointer<vtkDataSet> data;
    if (format == MeshFileFormat::Vtu) {
        vtkNew<vtkXMLUnstructuredGridReader> reader;
        reader->SetFileName(path.c_str());
        try {
            reader->UpdateInformation();
        } catch (const std::exception& e) {
            error = name + " could not be read: " + e.what();
            return VtkMeshKind::Failed;
        }
        if (!window->firstError().empty()) {
            error = name + " could not be read: " + vtkMessage(window->firstError(), path, name);
            return VtkMeshKind::Failed;
        }
        // Only the arrays the import uses are read; any other is never allocated.
        selectArrays(reader->GetPointDataArraySelection(), {kFibreNames, kSheetNames});
        selectArrays(reader->GetCellDataArraySelection(), {kFibreNames, kSheetNames, kRegionNames});
        if (!runReader(reader, window, path, name, error)) return VtkMeshKind::Failed;
        data = reader->GetOutput();
    } else if (format == MeshFileFormat::Vtk) {
        // The dataset kind is on the header line the content check read: POLYDATA or UNSTRUCTURED_GRID.
        vtkNew<vtkPolyDataReader> polyReader;
        polyReader->SetFileName(path.c_str());
        const bool polyData = polyReader->IsFilePolyData();
        vtkSmartPointer<vtkDataReader> reader;
        if (polyData)
            reader = polyReader.GetPointer();
        else
            reader = vtkSmartPointer<vtkUnstructuredGridReader>::New();
        window->clear();
        reader->SetFileName(path.c_str());
        // Every array, not only the first of each kind: a fibre array need not come first.
        reader->ReadAllScalarsOn();
        reader->ReadAllVectorsOn();
        reader->ReadAllNormalsOn();
        reader->ReadAllTensorsOn();
        reader->ReadAllColorScalarsOn();
        reader->ReadAllTCoordsOn();
        reader->ReadAllFieldsOn();
        if (!runReader(reader, window, path, name, error)) return VtkMeshKind::Failed;
        data = vtkDataSet::SafeDownCast(reader->GetOutputDataObject(0));
    } else {
        error = name + ": not a VTK file";
        return VtkMeshKind::Failed;
    }
    if (!data || data->GetNumberOfCells() == 0) {
        error = name + " contains no tetrahedra";
        return VtkMeshKind::Failed;
    }
    ImportedTetMesh result;
    MeshImportReport outcome;
    VtkSurface found;
    const VtkMeshKind kind = takeCells(data, name, result, outcome, found, error);
    if (kind == VtkMeshKind::Tetrahedra) {
        mesh = std::move(result);
        report = outcome;
    } else if (kind == VtkMeshKind::Surface) {
        surface = std::move(found);
    }
    return kind;
}

bool writeSurfaceAsMsh(const std::string& path, const VtkSurface& surface, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n" << surface.points.size() << "\n";
    char line[128];
    for (size_t i = 0; i < surface.points.size(); ++i) {
        const vec3& p = surface.points[i];
        std::snprintf(line, sizeof line, "%zu %.17g %.17g %.17g\n", i + 1, p.x, p.y, p.z);
        out << line;
    }
    out << "$EndNodes\n$Elements\n" << surface.triangles.size() << "\n";
    for (size_t j = 0; j < surface.triangles.size(); ++j) {
        const auto& t = surface.triangles[j];
        // Triangle (type 2) with a physical and an elementary tag.
        std::snprintf(line, sizeof line, "%zu 2 2 0 1 %d %d %d\n", j + 1, t[0] + 1, t[1] + 1, t[2] + 1);
        out << line;
    }
    out << "$EndElements\n";
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
