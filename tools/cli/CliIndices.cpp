// velmora-cli indices: the deformation indices of a model's rest state or of a deformed state read
// from a .node file, and the JSON and CSV forms of the indices the other commands share.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/BeatMeasurements.h"
#include "model/DeformationIndices.h"
#include "model/TLSMModel.h"

const char* const kIndicesCsvHeader =
    "tick,time,longitudinal,circumferential,radial,apical_rotation,basal_rotation,twist\n";

void writeIndicesCsvRow(std::FILE* out, int tick, double time, const DeformationIndexValues& values) {
    std::fprintf(out, "%d,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g\n", tick, time, values.longitudinal,
                 values.circumferential, values.radial, values.apicalRotation, values.basalRotation, values.twist);
}

nlohmann::json deformationIndicesJson(const DeformationIndexValues& values) {
    nlohmann::json j;
    j["longitudinal"] = values.longitudinal;
    j["circumferential"] = values.circumferential;
    j["radial"] = values.radial;
    j["apical_rotation"] = values.apicalRotation;
    j["basal_rotation"] = values.basalRotation;
    j["twist"] = values.twist;
    nlohmann::json segments = nlohmann::json::array();
    if (values.segmentsAvailable) {
        for (int s = 1; s <= DeformationIndices::kSegmentCount; ++s) {
            const SegmentStrains& segment = values.segments[s - 1];
            nlohmann::json entry;
            entry["segment"] = s;
            entry["name"] = DeformationIndices::segmentName(s);
            // A segment without tetrahedra has no mean: null rather than a made-up 0.
            if (segment.tetrahedra > 0) {
                entry["longitudinal"] = segment.longitudinal;
                entry["circumferential"] = segment.circumferential;
                entry["radial"] = segment.radial;
            } else {
                entry["longitudinal"] = entry["circumferential"] = entry["radial"] = nullptr;
            }
            entry["tetrahedra"] = segment.tetrahedra;
            segments.push_back(entry);
        }
    }
    j["segments"] = segments;
    return j;
}

nlohmann::json endSystoleJson(const BeatMeasurements& measurements) {
    nlohmann::json j = deformationIndicesJson(measurements.endSystoleIndices());
    j["tick"] = measurements.endSystoleTick();
    return j;
}

nlohmann::json deformationPeaksJson(const DeformationPeaks& peaks) {
    auto peak = [](double value, int tick) { return nlohmann::json{{"value", value}, {"tick", tick}}; };
    return {{"longitudinal", peak(peaks.longitudinal, peaks.longitudinalTick)},
            {"circumferential", peak(peaks.circumferential, peaks.circumferentialTick)},
            {"radial", peak(peaks.radial, peaks.radialTick)},
            {"twist", peak(peaks.twist, peaks.twistTick)}};
}

namespace {

/// A value as the three decimals show it, without a minus sign on a rounded zero.
double shown(double value) { return std::fabs(value) < 5e-4 ? 0.0 : value; }

void printIndices(const DeformationIndexValues& values, int myocardiumTetrahedra) {
    std::printf("left-ventricular myocardium: %d tetrahedra\n", myocardiumTetrahedra);
    std::printf("longitudinal strain     %+9.3f %%\n", shown(values.longitudinal));
    std::printf("circumferential strain  %+9.3f %%\n", shown(values.circumferential));
    std::printf("radial strain           %+9.3f %%\n", shown(values.radial));
    std::printf("apical rotation         %+9.3f degrees\n", shown(values.apicalRotation));
    std::printf("basal rotation          %+9.3f degrees\n", shown(values.basalRotation));
    std::printf("twist                   %+9.3f degrees\n", shown(values.twist));
    if (!values.segmentsAvailable) {
        std::printf("segments: none (no right-ventricular wall painted (VR))\n");
        return;
    }
    std::printf("segment  name                  longitudinal  circumferential    radial  tetrahedra\n");
    for (int s = 1; s <= DeformationIndices::kSegmentCount; ++s) {
        const SegmentStrains& segment = values.segments[s - 1];
        if (segment.tetrahedra == 0) {
            std::printf("%7d  %-20s  %12s  %15s  %8s  %10d\n", s, DeformationIndices::segmentName(s), "-", "-", "-", 0);
            continue;
        }
        std::printf("%7d  %-20s  %+12.3f  %+15.3f  %+8.3f  %10d\n", s, DeformationIndices::segmentName(s),
                    shown(segment.longitudinal), shown(segment.circumferential), shown(segment.radial),
                    segment.tetrahedra);
    }
}

}  // namespace

int runIndices(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage = "usage: velmora-cli indices BASE [--deformed FILE.node] [--json] [--quiet]\n";
    if (!parseCliArgs(args, {"deformed"}, {"json", "quiet"}, cli) || cli.positional.size() != 1) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    const std::string base = basePathOf(cli.positional[0]);
    TLSMModel model;
    if (!loadModelForCli(model, base)) return 1;

    // The reference state is BASE.node as written, so that a deformed state in the same
    // coordinates is compared with it directly (the model itself was normalised on loading).
    TTetMesh reference;
    {
        DiagCapture quiet;
        if (!loadTetMesh(reference, base) || reference.m_verts.size() != model.m_vtxOrigPos.size() ||
            reference.m_tets.size() != model.m_tets.size()) {
            std::fprintf(stderr, "velmora-cli: indices: %s.node/.ele changed while the model was read\n", base.c_str());
            return 1;
        }
    }
    DeformationIndices indices;
    if (!indices.prepare(reference.m_verts, reference.m_tets, model.m_vtxIsVentriOrAtrium, model.m_trisVL,
                         model.m_trisVR)) {
        std::fprintf(stderr, "velmora-cli: %s\n", indices.refusal().c_str());
        return 1;
    }

    std::vector<vec3> positions = reference.m_verts;
    if (cli.has("deformed")) {
        const std::string path = cli.value("deformed");
        std::string reason;
        std::vector<vec3> deformed;
        bool read = false;
        {
            DiagCapture quiet;
            read = loadTetNodes(path, deformed, &reason);
        }
        if (!read) {
            std::fprintf(stderr, "velmora-cli: indices: cannot read the deformed state: %s\n", reason.c_str());
            return 1;
        }
        if (deformed.size() != positions.size()) {
            std::fprintf(stderr, "velmora-cli: indices: %s has %zu vertices, %s.node has %zu\n", path.c_str(),
                         deformed.size(), base.c_str(), positions.size());
            return 1;
        }
        positions = std::move(deformed);
    }

    DeformationIndexValues values;
    indices.measure(positions, values);
    if (cli.has("json")) {
        nlohmann::json j = deformationIndicesJson(values);
        j["myocardium_tetrahedra"] = indices.myocardiumTetrahedra();
        std::printf("%s\n", j.dump(2).c_str());
    } else {
        printIndices(values, indices.myocardiumTetrahedra());
    }
    return 0;
}
