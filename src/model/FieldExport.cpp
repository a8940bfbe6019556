// FieldExport: ASCII VTK XML writer for the model's fields and fibre frames.
#include "model/FieldExport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/RuleBasedFibreModel.h"
#include "model/TLSMModel.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void writeScalars(std::FILE* f, const char* name, const char* type, const std::vector<double>& values) {
    std::fprintf(f, "        <DataArray type=\"%s\" Name=\"%s\" format=\"ascii\">\n", type, name);
    for (double v : values) std::fprintf(f, "%.17g\n", v);
    std::fprintf(f, "        </DataArray>\n");
}

void writeVectors(std::FILE* f, const char* name, const std::vector<vec3>& values) {
    std::fprintf(f, "        <DataArray type=\"Float64\" Name=\"%s\" NumberOfComponents=\"3\" format=\"ascii\">\n",
                 name);
    for (const vec3& v : values) std::fprintf(f, "%.17g %.17g %.17g\n", v.x, v.y, v.z);
    std::fprintf(f, "        </DataArray>\n");
}

}  // namespace

bool closeWrittenFile(std::FILE* file, const std::string& path, std::string& error) {
    bool ok = std::fflush(file) == 0;
    int failure = ok ? 0 : errno;
    // An earlier failed write leaves the error flag; its errno is long gone.
    if (ok && std::ferror(file)) ok = false;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok) return true;
    error = "cannot write " + path + ": " + (failure != 0 ? std::strerror(failure) : "a write failed");
    return false;
}

bool writeModelVtu(const TLSMModel& model, const std::vector<vec3>& positions, bool withContraction,
                   const std::string& path, std::string& error, const std::vector<double>* transmural) {
    const size_t n = positions.size();
    const std::vector<TVertexFrame>& frames = model.m_orienField.m_frames;
    if (n != static_cast<size_t>(model.vertexCount()) || model.m_phaseField.m_value.size() != n ||
        model.m_ampliField.m_value.size() != n || model.m_orienField.m_depthField.m_value.size() != n ||
        model.m_vtxIsVentriOrAtrium.size() != n || frames.size() != n ||
        (withContraction && model.m_vtxContraction.size() != n) || (transmural && transmural->size() != n)) {
        error = "the model's fields do not match its " + std::to_string(model.vertexCount()) + " vertices";
        return false;
    }
    File f(std::fopen(path.c_str(), "w"));
    if (!f) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    std::FILE* out = f.get();
    const size_t m = model.m_tets.size();
    std::fprintf(out,
                 "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"0.1\" "
                 "byte_order=\"LittleEndian\">\n");
    std::fprintf(out, "  <UnstructuredGrid>\n    <Piece NumberOfPoints=\"%zu\" NumberOfCells=\"%zu\">\n", n, m);
    std::fprintf(out, "      <Points>\n");
    writeVectors(out, "positions", positions);
    std::fprintf(out, "      </Points>\n      <Cells>\n");
    std::fprintf(out, "        <DataArray type=\"Int32\" Name=\"connectivity\" format=\"ascii\">\n");
    for (const Tetra& t : model.m_tets) std::fprintf(out, "%d %d %d %d\n", t.vIdx[0], t.vIdx[1], t.vIdx[2], t.vIdx[3]);
    std::fprintf(out, "        </DataArray>\n        <DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n");
    for (size_t j = 1; j <= m; ++j) std::fprintf(out, "%zu\n", 4 * j);
    std::fprintf(out, "        </DataArray>\n        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n");
    for (size_t j = 0; j < m; ++j) std::fprintf(out, "10\n");
    std::fprintf(out, "        </DataArray>\n      </Cells>\n      <PointData>\n");
    writeScalars(out, "phase", "Float64", model.m_phaseField.m_value);
    writeScalars(out, "amplitude", "Float64", model.m_ampliField.m_value);
    writeScalars(out, "depth", "Float64", model.m_orienField.m_depthField.m_value);
    writeScalars(out, "label", "Int32",
                 std::vector<double>(model.m_vtxIsVentriOrAtrium.begin(), model.m_vtxIsVentriOrAtrium.end()));
    if (transmural) writeScalars(out, "transmural", "Float64", *transmural);
    std::vector<vec3> fibre(n), sheet(n), normal(n);
    for (size_t i = 0; i < n; ++i) {
        fibre[i] = frames[i].m_primaryDir;
        sheet[i] = frames[i].m_depthDir;
        normal[i] = frames[i].m_thirdDir;
    }
    writeVectors(out, "fibre", fibre);
    writeVectors(out, "sheet", sheet);
    writeVectors(out, "normal", normal);
    if (withContraction) writeVectors(out, "contraction", model.m_vtxContraction);
    std::fprintf(out, "      </PointData>\n    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n");
    return closeWrittenFile(f.release(), path, error);
}

bool exportModelFields(const TLSMModel& model, const std::string& path, std::string& error) {
    TTetMesh base;
    bool sameMesh = false;
    {
        // The base was read when the model loaded; reading it again only repeats its console lines.
        DiagCapture quiet;
        sameMesh = !model.m_filePath.empty() && loadTetMesh(base, model.m_filePath) &&
                   base.m_verts.size() == static_cast<size_t>(model.vertexCount()) &&
                   base.m_tets.size() == model.m_tets.size();
        for (size_t j = 0; sameMesh && j < base.m_tets.size(); ++j)
            for (int k = 0; k < 4; ++k) sameMesh = sameMesh && base.m_tets[j].vIdx[k] == model.m_tets[j].vIdx[k];
    }
    if (!sameMesh)
        diagPrintf("exportFields: %s.node no longer matches the model; the model's rest positions are written\n",
                   model.m_filePath.c_str());
    std::vector<double> transmural;
    std::string why;
    const bool withTransmural = computeModelTransmural(model, transmural, why);
    if (!withTransmural) diagPrintf("exportFields: no transmural coordinate: %s\n", why.c_str());
    return writeModelVtu(model, sameMesh ? base.m_verts : model.m_vtxOrigPos, false, path, error,
                         withTransmural ? &transmural : nullptr);
}
