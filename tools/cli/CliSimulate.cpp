// velmora-cli simulate: load a model like the application, run the main loop headless, measure
// and export.
#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "CliCommon.h"
#include "Sha256.h"
#include "VtkExport.h"
#include "linalg/Diagnostics.h"
#include "meshimport/LatticeMesh.h"
#include "model/BeatMeasurements.h"
#include "model/FieldExport.h"
#include "model/MainWindowManager.h"
#include "model/ShellHooks.h"

namespace {

/// The controller's messages on standard error, even under --quiet (which silences the console
/// lines only): an export's write failure, a damaged project. The reason of a refused load is kept
/// for the one line that names the model.
class SimulateShellHooks : public ShellHooks {
   public:
    SimulateShellHooks() { m_previous = setShellHooks(this); }
    ~SimulateShellHooks() override { setShellHooks(m_previous); }
    void showMessage(const std::string& text) override {
        std::string line = text;
        while (!line.empty() && line.back() == '\n') line.pop_back();
        std::fprintf(stderr, "velmora-cli: %s\n", line.c_str());
    }
    void showMessageWithReason(const std::string& text, const std::string& reason) override { loadReason = reason; }
    void refreshDialogs() override {}
    std::string loadReason;

   private:
    ShellHooks* m_previous = nullptr;
};

bool parsePositiveInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 1 || v > 100000000) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int runSimulate(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage =
        "usage: velmora-cli simulate BASE [--ticks N] [--threads T] [--anim FILE.heartAnim] [--wall FILE.tex]\n"
        "                            [--volumes FILE.csv] [--indices FILE.csv] [--vtk DIR] [--lattice N] [--json]\n"
        "                            [--quiet]\n";
    if (!parseCliArgs(args, {"ticks", "threads", "anim", "wall", "volumes", "indices", "vtk", "lattice"},
                      {"json", "quiet"}, cli) ||
        cli.positional.size() != 1) {
        std::fputs(usage, stderr);
        return 2;
    }
    int ticks = 0, threads = 0;
    if (cli.has("ticks") && !parsePositiveInt(cli.value("ticks"), ticks)) {
        std::fprintf(stderr, "velmora-cli: --ticks needs a positive integer\n%s", usage);
        return 2;
    }
    if (cli.has("threads") && !parsePositiveInt(cli.value("threads"), threads)) {
        std::fprintf(stderr, "velmora-cli: --threads needs a positive integer\n%s", usage);
        return 2;
    }
    int latticeVertices = 0;
    if (cli.has("lattice") && !parsePositiveInt(cli.value("lattice"), latticeVertices)) {
        std::fprintf(stderr, "velmora-cli: --lattice needs a positive integer\n%s", usage);
        return 2;
    }
    if (cli.has("anim") && cli.has("wall")) {
        std::fprintf(stderr, "velmora-cli: --anim and --wall share the one export file; choose one\n");
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    if (threads > 0) omp_set_num_threads(threads);

    SimulateShellHooks hooks;
    MainWindowManager controller(nullptr, "");
    controller.loadModel(basePathOf(cli.positional[0]));
    TLSMModel* model = controller.model();
    if (!model) {
        std::fprintf(stderr, "velmora-cli: cannot load model '%s'%s%s\n", cli.positional[0].c_str(),
                     hooks.loadReason.empty() ? "" : ": ", hooks.loadReason.c_str());
        return 1;
    }
    if (ticks == 0) ticks = static_cast<int>(std::ceil(model->m_excitation->m_cycleLength / controller.m_dt - 1e-9));
    installLatticeMeshBuilder();
    std::string latticeReason;
    if (latticeVertices > 0) {
        if (!model->setSimulationLattice(latticeVertices, &latticeReason)) {
            std::fprintf(stderr, "velmora-cli: cannot use a simulation lattice of %d vertices: %s\n", latticeVertices,
                         latticeReason.c_str());
            return 1;
        }
    } else if (!model->ensureSimulationLattice(&latticeReason)) {
        // The project asks for a lattice the mesher could not make: the run goes on at full resolution.
        std::fprintf(stderr,
                     "velmora-cli: the project's simulation lattice of %d vertices cannot be made (%s); "
                     "simulating every vertex\n",
                     model->simulationLatticeTarget(), latticeReason.c_str());
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> csv(nullptr, &std::fclose);
    const std::string csvPath = cli.value("volumes");
    if (cli.has("volumes")) {
        csv.reset(std::fopen(csvPath.c_str(), "w"));
        if (!csv) {
            std::fprintf(stderr, "velmora-cli: cannot create %s: %s\n", csvPath.c_str(), std::strerror(errno));
            return 1;
        }
        std::fprintf(csv.get(), "tick,time,VR,VL,AR,AL\n");
    }
    VtkSeriesWriter vtk;
    if (cli.has("vtk") && !vtk.open(cli.value("vtk"))) return 1;

    controller.m_time = 0.0;
    if (cli.has("anim") && !controller.startAnimationExport(cli.value("anim"))) return 1;
    if (cli.has("wall") && !controller.startWallThicknessExport(cli.value("wall"))) return 1;
    controller.startTimer();

    BeatMeasurements measurements(*model);
    // The indices file asks for the deformation indices: a model they cannot be measured on is
    // refused before the run starts.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> indicesCsv(nullptr, &std::fclose);
    const std::string indicesPath = cli.value("indices");
    if (cli.has("indices")) {
        if (!measurements.deformationIndices().ready()) {
            std::fprintf(stderr, "velmora-cli: %s\n", measurements.deformationIndices().refusal().c_str());
            return 1;
        }
        indicesCsv.reset(std::fopen(indicesPath.c_str(), "w"));
        if (!indicesCsv) {
            std::fprintf(stderr, "velmora-cli: cannot create %s: %s\n", indicesPath.c_str(), std::strerror(errno));
            return 1;
        }
        std::fputs(kIndicesCsvHeader, indicesCsv.get());
    }
    const auto start = std::chrono::steady_clock::now();
    double simulatedMs = 0.0;
    for (int tick = 1; tick <= ticks; ++tick) {
        const auto t0 = std::chrono::steady_clock::now();
        controller.onTimer();
        simulatedMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const std::array<double, 4> v = measurements.addTick(*model);
        if (csv) {
            std::fprintf(csv.get(), "%d,%.9g,%.9g,%.9g,%.9g,%.9g\n", tick, controller.m_time, v[0], v[1], v[2], v[3]);
            if (std::ferror(csv.get())) {
                std::fprintf(stderr, "velmora-cli: cannot write %s: %s\n", csvPath.c_str(), std::strerror(errno));
                return 1;
            }
        }
        // Measured on the positions this tick's VTK file holds.
        if (indicesCsv) {
            writeIndicesCsvRow(indicesCsv.get(), tick, controller.m_time, measurements.lastIndices());
            if (std::ferror(indicesCsv.get())) {
                std::fprintf(stderr, "velmora-cli: cannot write %s: %s\n", indicesPath.c_str(), std::strerror(errno));
                return 1;
            }
        }
        if (cli.has("vtk") && !vtk.writeStep(*model, tick, tick * controller.m_dt)) return 1;
        // The controller has told why (on standard error, through the hooks).
        if (!controller.exportError().empty()) return 1;
    }
    controller.stopTimer();
    if (cli.has("vtk") && !vtk.close()) return 1;
    if (csv) {
        std::string error;
        if (!closeWrittenFile(csv.release(), csvPath, error)) {
            std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
            return 1;
        }
    }
    if (indicesCsv) {
        std::string error;
        if (!closeWrittenFile(indicesCsv.release(), indicesPath, error)) {
            std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
            return 1;
        }
    }
    if (!controller.endExport()) return 1;
    (void)start;

    if (cli.has("json")) {
        const double lvEf = measurements.leftVentricularEjectionFraction(*model);
        std::vector<double> bytes;
        bytes.reserve(model->m_verts.size() * 3);
        for (const vec3& p : model->m_verts) {
            bytes.push_back(p.x);
            bytes.push_back(p.y);
            bytes.push_back(p.z);
        }
        nlohmann::json j;
        j["ticks"] = ticks;
        j["threads"] = model->m_simulator.threadCount();
        j["ms_per_tick"] = simulatedMs / ticks;
        j["lv_ef"] = lvEf;
        j["volumes_min"] = measurements.volumesMin();
        j["volumes_max"] = measurements.volumesMax();
        j["max_displacement"] = measurements.maxDisplacement();
        j["final_total_volume"] = signedTotalVolume(*model);
        j["rest_volume"] = model->m_simulator.restVolume();
        j["finite"] = measurements.finite();
        if (const SimulationLattice* lattice = model->simulationLattice()) {
            nlohmann::json l;
            l["target"] = lattice->targetVertices();
            l["vertices"] = lattice->vertexCount();
            l["tetrahedra"] = lattice->tetCount();
            l["outside_vertices"] = lattice->outsideVertexCount();
            l["reused_cache"] = lattice->reusedCache();
            j["lattice"] = l;
        } else {
            j["lattice"] = nullptr;
        }
        if (measurements.deformationIndices().ready()) {
            j["end_systole"] = endSystoleJson(measurements);
            j["peak"] = deformationPeaksJson(measurements.peaks());
        }
        // x86-64 stores doubles little-endian, which is the documented byte order of the digest.
        j["positions_sha256"] = sha256Hex(bytes.data(), bytes.size() * sizeof(double));
        std::printf("%s\n", j.dump(2).c_str());
    }
    return measurements.finite() ? 0 : 1;
}
