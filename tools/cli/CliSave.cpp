// velmora-cli save: load a model and write its project file the way the save key does.
#include <cstdio>

#include "CliCommon.h"
#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

int runSave(const std::vector<std::string>& args) {
    CliArgs cli;
    if (!parseCliArgs(args, {}, {"force", "quiet"}, cli) || cli.positional.size() != 1) {
        std::fprintf(stderr, "usage: velmora-cli save BASE [--force] [--quiet]\n");
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    const std::string base = basePathOf(cli.positional[0]);
    TLSMModel model;
    std::string reason;
    if (!model.loadModel(base, &reason)) {
        std::fprintf(stderr, "velmora-cli: cannot load model '%s'%s%s\n", base.c_str(), reason.empty() ? "" : ": ",
                     reason.c_str());
        return 1;
    }
    const std::string path = base + ".vm";
    const ProjectLoadResult& project = model.m_projectLoad;
    // Saving over a file that was not read completely would replace the user's data by defaults.
    if (!cli.has("force") && project.status == ProjectLoadResult::Status::Refused) {
        std::fprintf(stderr,
                     "velmora-cli: '%s' does not match the mesh (%s); it is left as it is (--force overwrites it)\n",
                     path.c_str(), project.message.c_str());
        return 1;
    }
    if (!cli.has("force") && project.status == ProjectLoadResult::Status::Damaged) {
        std::fprintf(stderr, "velmora-cli: '%s' is damaged (%s); it is left as it is (--force overwrites it)\n",
                     path.c_str(), project.message.c_str());
        return 1;
    }
    std::string error;
    if (!saveProjectTo(model, path, error)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return 1;
    }
    std::printf("saved %s\n", path.c_str());
    return 0;
}
