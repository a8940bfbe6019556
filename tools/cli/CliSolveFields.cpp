// velmora-cli solve-fields: recompute the phase, amplitude and orientation fields of a model from
// its project file, time each update and report the fields' ranges; optionally save the project.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

#include "CliCommon.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Range of the values; not-a-number values (which a field must never hold) make the range null.
nlohmann::json rangeOf(const std::vector<double>& values) {
    nlohmann::json r;
    if (values.empty() || std::any_of(values.begin(), values.end(), [](double v) { return !std::isfinite(v); })) {
        r["min"] = nullptr;
        r["max"] = nullptr;
        return r;
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    r["min"] = *lo;
    r["max"] = *hi;
    return r;
}

bool framesFinite(const TTensorField& field) {
    for (const TVertexFrame& f : field.m_frames) {
        for (const vec3* d : {&f.m_primaryDir, &f.m_depthDir, &f.m_thirdDir}) {
            if (!std::isfinite(d->x) || !std::isfinite(d->y) || !std::isfinite(d->z)) return false;
        }
    }
    return true;
}

}  // namespace

int runSolveFields(const std::vector<std::string>& args) {
    CliArgs cli;
    if (!parseCliArgs(args, {}, {"json", "write", "quiet"}, cli) || cli.positional.size() != 1) {
        std::fprintf(stderr, "usage: velmora-cli solve-fields BASE [--json] [--write] [--solver S] [--quiet]\n");
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    const std::string base = basePathOf(cli.positional[0]);
    TLSMModel model;
    if (!loadModelForCli(model, base)) return 1;
    const std::string path = base + ".vm";
    const ProjectLoadResult::Status status = model.m_projectLoad.status;
    if (status == ProjectLoadResult::Status::NoFile) {
        std::fprintf(stderr, "velmora-cli: no project file '%s': there are no constraints or strokes to solve\n",
                     path.c_str());
        return 1;
    }
    if (!model.m_fieldMatrix) {
        std::fprintf(stderr, "velmora-cli: '%s' has no smoothing matrix to solve with\n", base.c_str());
        return 1;
    }

    // Each field from scratch, as a load computes it: no factor kept from the load is reused.
    model.m_phaseField.m_factorCache.clear();
    model.m_ampliField.m_factorCache.clear();
    const double phaseMs = millisecondsOf([&] { updateFieldHarmonic(model.m_phaseField, *model.m_fieldMatrix); });
    const double amplitudeMs = millisecondsOf([&] { updateFieldHarmonic(model.m_ampliField, *model.m_fieldMatrix); });
    TTensorField& orientation = model.m_orienField;
    const double orientationMs = millisecondsOf([&] {
        orientation.updateField_RBF(orientation.m_depthField, model.m_vtxOrigPos);
        orientation.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors,
                                      model.m_vtxIsVentriOrAtrium);
    });

    nlohmann::json out;
    out["solver"] = solverBackendName(activeSolverBackend());
    out["vertices"] = model.vertexCount();
    out["phase"] = rangeOf(model.m_phaseField.m_value);
    out["phase"]["ms"] = phaseMs;
    out["phase"]["constraints"] = model.m_phaseField.m_constraints.size();
    out["amplitude"] = rangeOf(model.m_ampliField.m_value);
    out["amplitude"]["ms"] = amplitudeMs;
    out["amplitude"]["constraints"] = model.m_ampliField.m_constraints.size();
    out["orientation"] = rangeOf(orientation.m_depthField.m_value);
    out["orientation"]["ms"] = orientationMs;
    out["orientation"]["depth_constraints"] = orientation.m_depthField.m_constraints.size();
    out["orientation"]["strokes"] = orientation.m_strokes.size();
    out["orientation"]["frames_finite"] = framesFinite(orientation);

    // A field that is not finite is a failed solve: it is reported, and nothing is written.
    int exitCode = 0;
    std::string notFinite;
    auto allFinite = [](const std::vector<double>& v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
    };
    const std::pair<const char*, bool> checks[] = {{"phase", allFinite(model.m_phaseField.m_value)},
                                                   {"amplitude", allFinite(model.m_ampliField.m_value)},
                                                   {"depth", allFinite(orientation.m_depthField.m_value)},
                                                   {"fibre frames", framesFinite(orientation)}};
    for (const auto& [name, finite] : checks)
        if (!finite) notFinite += std::string(notFinite.empty() ? "" : ", ") + name;
    if (!notFinite.empty()) {
        std::fprintf(stderr, "velmora-cli: solve-fields: not finite after the solve: %s\n", notFinite.c_str());
        exitCode = 1;
    }
    if (cli.has("write")) {
        std::string error;
        if (exitCode != 0) {
            std::fprintf(stderr, "velmora-cli: '%s' is left as it is\n", path.c_str());
        } else if (status == ProjectLoadResult::Status::Damaged) {
            // Saving would replace what could not be read by defaults.
            std::fprintf(stderr, "velmora-cli: '%s' is damaged; it is left as it is\n", path.c_str());
            exitCode = 1;
        } else if (!saveProjectTo(model, path, error)) {
            std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
            exitCode = 1;
        }
        out["written"] = exitCode == 0;
    }

    if (cli.has("json")) {
        std::printf("%s\n", out.dump(2).c_str());
    } else {
        std::printf("solver       %s\n", out["solver"].get<std::string>().c_str());
        for (const char* name : {"phase", "amplitude", "orientation"}) {
            const nlohmann::json& f = out[name];
            std::printf("%-12s %9.1f ms   range [%s, %s]\n", name, f["ms"].get<double>(), f["min"].dump().c_str(),
                        f["max"].dump().c_str());
        }
        if (cli.has("write") && exitCode == 0) std::printf("saved %s\n", path.c_str());
    }
    return exitCode;
}
