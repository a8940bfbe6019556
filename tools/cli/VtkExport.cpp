// VTK XML unstructured-grid writer (ASCII) and ParaView collection file.
#include "VtkExport.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "model/TLSMModel.h"

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void writeScalar(std::FILE* f, const char* name, const char* type, const std::vector<double>& values) {
    std::fprintf(f, "        <DataArray type=\"%s\" Name=\"%s\" format=\"ascii\">\n", type, name);
    for (double v : values) std::fprintf(f, "%.9g\n", v);
    std::fprintf(f, "        </DataArray>\n");
}

void writeVector(std::FILE* f, const char* name, const std::vector<vec3>& values) {
    std::fprintf(f, "        <DataArray type=\"Float64\" Name=\"%s\" NumberOfComponents=\"3\" format=\"ascii\">\n", name);
    for (const vec3& v : values) std::fprintf(f, "%.9g %.9g %.9g\n", v.x, v.y, v.z);
    std::fprintf(f, "        </DataArray>\n");
}
}  // namespace

bool VtkSeriesWriter::open(const std::string& directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec || !std::filesystem::is_directory(directory)) {
        std::fprintf(stderr, "velmora-cli: cannot create directory %s\n", directory.c_str());
        return false;
    }
    m_dir = directory;
    m_steps.clear();
    return true;
}

bool VtkSeriesWriter::writeStep(const TLSMModel& model, int tick, double time) {
    char name[64];
    std::snprintf(name, sizeof name, "step_%06d.vtu", tick);
    const std::string path = m_dir + "/" + name;
    File f(std::fopen(path.c_str(), "w"));
    if (!f) {
        std::fprintf(stderr, "velmora-cli: cannot write %s\n", path.c_str());
        return false;
    }
    const int n = model.vertexCount();
    const int m = static_cast<int>(model.m_tets.size());
    std::FILE* out = f.get();
    std::fprintf(out, "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" byte_order=\"LittleEndian\">\n");
    std::fprintf(out, "  <UnstructuredGrid>\n    <Piece NumberOfPoints=\"%d\" NumberOfCells=\"%d\">\n", n, m);
    std::fprintf(out, "      <Points>\n");
    writeVector(out, "positions", model.m_verts);
    std::fprintf(out, "      </Points>\n      <Cells>\n");
    std::fprintf(out, "        <DataArray type=\"Int32\" Name=\"connectivity\" format=\"ascii\">\n");
    for (const Tetra& t : model.m_tets) std::fprintf(out, "%d %d %d %d\n", t.vIdx[0], t.vIdx[1], t.vIdx[2], t.vIdx[3]);
    std::fprintf(out, "        </DataArray>\n        <DataArray type=\"Int32\" Name=\"offsets\" format=\"ascii\">\n");
    for (int j = 1; j <= m; ++j) std::fprintf(out, "%d\n", 4 * j);
    std::fprintf(out, "        </DataArray>\n        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n");
    for (int j = 0; j < m; ++j) std::fprintf(out, "10\n");
    std::fprintf(out, "        </DataArray>\n      </Cells>\n      <PointData>\n");
    writeScalar(out, "phase", "Float64", model.m_phaseField.m_value);
    writeScalar(out, "amplitude", "Float64", model.m_ampliField.m_value);
    writeScalar(out, "depth", "Float64", model.m_orienField.m_depthField.m_value);
    std::vector<double> labels(model.m_vtxIsVentriOrAtrium.begin(), model.m_vtxIsVentriOrAtrium.end());
    writeScalar(out, "label", "Int32", labels);
    std::vector<vec3> fibres;
    fibres.reserve(model.m_orienField.m_frames.size());
    for (const TVertexFrame& frame : model.m_orienField.m_frames) fibres.push_back(frame.m_primaryDir);
    writeVector(out, "fibre", fibres);
    writeVector(out, "contraction", model.m_vtxContraction);
    std::fprintf(out, "      </PointData>\n    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n");
    if (std::ferror(out)) {
        std::fprintf(stderr, "velmora-cli: write error in %s\n", path.c_str());
        return false;
    }
    m_steps.emplace_back(time, name);
    return true;
}

bool VtkSeriesWriter::close() {
    const std::string path = m_dir + "/series.pvd";
    File f(std::fopen(path.c_str(), "w"));
    if (!f) {
        std::fprintf(stderr, "velmora-cli: cannot write %s\n", path.c_str());
        return false;
    }
    std::fprintf(f.get(), "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\">\n  <Collection>\n");
    for (const auto& step : m_steps)
        std::fprintf(f.get(), "    <DataSet timestep=\"%.9g\" part=\"0\" file=\"%s\"/>\n", step.first, step.second.c_str());
    std::fprintf(f.get(), "  </Collection>\n</VTKFile>\n");
    return !std::ferror(f.get());
}
