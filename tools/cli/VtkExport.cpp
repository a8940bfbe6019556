// VTK XML unstructured-grid writer (ASCII) and ParaView collection file.
#include "VtkExport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "model/FieldExport.h"
#include "model/RuleBasedFibreModel.h"
#include "model/TLSMModel.h"

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

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
    m_transmural.clear();
    m_transmuralTried = false;
    return true;
}

bool VtkSeriesWriter::writeStep(const TLSMModel& model, int tick, double time) {
    char name[64];
    std::snprintf(name, sizeof name, "step_%06d.vtu", tick);
    const std::string path = m_dir + "/" + name;
    std::string error;
    if (!m_transmuralTried) {
        // At rest and the same for every tick: solved once.
        m_transmuralTried = true;
        std::string why;
        if (!computeModelTransmural(model, m_transmural, why)) m_transmural.clear();
    }
    if (!writeModelVtu(model, model.m_verts, true, path, error, m_transmural.empty() ? nullptr : &m_transmural)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return false;
    }
    m_steps.emplace_back(time, name);
    return true;
}

bool VtkSeriesWriter::close() {
    const std::string path = m_dir + "/series.pvd";
    File f(std::fopen(path.c_str(), "w"));
    if (!f) {
        std::fprintf(stderr, "velmora-cli: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::fprintf(f.get(), "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\">\n  <Collection>\n");
    for (const auto& step : m_steps)
        std::fprintf(f.get(), "    <DataSet timestep=\"%.9g\" part=\"0\" file=\"%s\"/>\n", step.first,
                     step.second.c_str());
    std::fprintf(f.get(), "  </Collection>\n</VTKFile>\n");
    std::string error;
    if (closeWrittenFile(f.release(), path, error)) return true;
    std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
    return false;
}
