// Shared pieces of the velmora-cli commands: argument scanning and model summaries.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class TLSMModel;

/// Parsed command line of one command: positional arguments and --options (with or without value).
struct CliArgs {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // name without "--", value ("" for flags)

    bool has(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback = "") const;
};

/// Splits args; valueOptions lists the options that take a value. False with a message on stderr
/// for an unknown option or a missing value.
bool parseCliArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                  const std::vector<std::string>& flagOptions, CliArgs& out);

/// Strips a ".node", ".ele" or ".vm" extension so a file name works as a base path.
std::string basePathOf(const std::string& path);

/// Summary of a loaded model as JSON (the keys of `info --json`).
nlohmann::json modelSummary(const TLSMModel& model);

/// Loads a model the way the application does (the full loading sequence, project file
/// included); false (reason already printed) when the mesh cannot be read or the project file
/// is refused. A damaged project file gives a warning only.
bool loadModelForCli(TLSMModel& model, const std::string& base);

int runInfo(const std::vector<std::string>& args);
int runSave(const std::vector<std::string>& args);
int runSimulate(const std::vector<std::string>& args);
int runMakeModel(const std::vector<std::string>& args);
int runSolveFields(const std::vector<std::string>& args);
int runImport(const std::vector<std::string>& args);
int runExportFields(const std::vector<std::string>& args);
int runExportCarp(const std::vector<std::string>& args);
// Pictures and movies without a window (built with the rendering layers).
int runRender(const std::vector<std::string>& args);
int runMovie(const std::vector<std::string>& args);
int runIndices(const std::vector<std::string>& args);
int runFibres(const std::vector<std::string>& args);

// The deformation indices in the commands' output forms (CliIndices.cpp).
struct DeformationIndexValues;
struct DeformationPeaks;
class BeatMeasurements;
/// The header of the per-tick indices CSV: tick,time and the six indices.
extern const char* const kIndicesCsvHeader;
/// One CSV row: tick, time, longitudinal, circumferential, radial (percent), apical and basal
/// rotation, twist (degrees).
void writeIndicesCsvRow(std::FILE* out, int tick, double time, const DeformationIndexValues& values);
/// The six values and "segments": 17 objects (segment, name, the three strains, tetrahedra), or an
/// empty list without a right-ventricular wall.
nlohmann::json deformationIndicesJson(const DeformationIndexValues& values);
/// deformationIndicesJson of the run's end-systole with its "tick".
nlohmann::json endSystoleJson(const BeatMeasurements& measurements);
/// {"longitudinal": {"value", "tick"}, "circumferential": ..., "radial": ..., "twist": ...}.
nlohmann::json deformationPeaksJson(const DeformationPeaks& peaks);
