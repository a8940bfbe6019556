// velmora-cli fibres: rule-based ventricular fibres on a model, their transmural coordinate and the
// helix angle they give through the left-ventricular free wall.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "fields/RuleBasedFibres.h"
#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"
#include "model/RuleBasedFibreModel.h"
#include "model/TLSMModel.h"

namespace {

/// A number as a double; false for anything else (trailing text, empty, not finite).
bool parseDegrees(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(value);
}

}  // namespace

int runFibres(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage =
        "usage: velmora-cli fibres BASE --rule-based [--endo DEG] [--epi DEG] [--write] [--json] [--quiet]\n";
    if (!parseCliArgs(args, {"endo", "epi"}, {"rule-based", "write", "json", "quiet"}, cli) ||
        cli.positional.size() != 1 || !cli.has("rule-based")) {
        std::fputs(usage, stderr);
        return 2;
    }
    double endo = kDefaultEndoHelixDegrees, epi = kDefaultEpiHelixDegrees;
    if ((cli.has("endo") && !parseDegrees(cli.value("endo"), endo)) ||
        (cli.has("epi") && !parseDegrees(cli.value("epi"), epi))) {
        std::fprintf(stderr, "velmora-cli: fibres: --endo and --epi take a number of degrees\n");
        return 2;
    }
    if (std::fabs(endo) > kMaxHelixDegrees || std::fabs(epi) > kMaxHelixDegrees) {
        std::fprintf(stderr, "velmora-cli: fibres: the helix angles must lie within -90 to 90 degrees\n");
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    const std::string base = basePathOf(cli.positional[0]);
    TLSMModel model;
    if (!loadModelForCli(model, base)) return 1;
    // Writing over a project file that was read only in part would lose what could not be read.
    if (cli.has("write") && model.m_projectLoad.status == ProjectLoadResult::Status::Damaged) {
        std::fprintf(stderr, "velmora-cli: fibres: %s.vm is damaged (%s); it is not overwritten\n", base.c_str(),
                     model.m_projectLoad.message.c_str());
        return 1;
    }

    std::string error;
    RuleBasedFibreSummary summary;
    {
        DiagCapture quiet;  // the fibre tracing and solver lines
        if (!applyRuleBasedFibres(model, endo, epi, false, error, &summary)) {
            std::fprintf(stderr, "velmora-cli: fibres: %s\n", error.c_str());
            return 1;
        }
    }
    std::vector<double> t;
    std::vector<HelixBand> bands;
    double rms = 0.0;
    if (!computeModelTransmural(model, t, error) || !measureFreeWallHelix(model, t, endo, epi, bands, rms, error)) {
        std::fprintf(stderr, "velmora-cli: fibres: %s\n", error.c_str());
        return 1;
    }
    if (cli.has("write")) {
        if (!saveProjectTo(model, base + ".vm", error)) {
            std::fprintf(stderr, "velmora-cli: fibres: %s\n", error.c_str());
            return 1;
        }
    }

    if (cli.has("json")) {
        nlohmann::json j;
        j["endo"] = endo;
        j["epi"] = epi;
        j["transmural"] = {{"min", summary.tMin}, {"max", summary.tMax}};
        j["frames_set"] = summary.framesSet;
        j["frames_kept"] = summary.skipped;
        nlohmann::json list = nlohmann::json::array();
        for (const HelixBand& band : bands) {
            nlohmann::json b{{"t_low", band.tLow}, {"t_high", band.tHigh}, {"vertices", band.vertices}};
            // A band without vertices has no mean: null rather than a made-up 0.
            b["helix"] = band.vertices > 0 ? nlohmann::json(band.meanDegrees) : nlohmann::json(nullptr);
            b["rule"] = band.vertices > 0 ? nlohmann::json(band.ruleDegrees) : nlohmann::json(nullptr);
            list.push_back(b);
        }
        j["free_wall_helix"] = list;
        j["free_wall_rms_from_rule"] = rms;
        j["written"] = cli.has("write");
        std::printf("%s\n", j.dump(2).c_str());
        return 0;
    }
    std::printf("rule-based fibres: %+.1f degrees under the cavities, %+.1f under the outer surface\n", endo, epi);
    std::printf("transmural coordinate: %.4f to %.4f; %d ventricle frames set, %d kept\n", summary.tMin, summary.tMax,
                summary.framesSet, summary.skipped);
    std::printf("left-ventricular free wall: helix angle per transmural fifth\n");
    std::printf("    t band   vertices   helix   rule\n");
    for (const HelixBand& band : bands) {
        if (band.vertices == 0) {
            std::printf("  %.1f-%.1f  %9d       -      -\n", band.tLow, band.tHigh, 0);
            continue;
        }
        std::printf("  %.1f-%.1f  %9d  %+6.1f %+6.1f\n", band.tLow, band.tHigh, band.vertices, band.meanDegrees,
                    band.ruleDegrees);
    }
    std::printf("root mean square from the rule: %.2f degrees\n", rms);
    if (cli.has("write")) std::printf("saved %s.vm\n", base.c_str());
    return 0;
}
