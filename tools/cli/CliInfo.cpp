// velmora-cli info: load a model and print its summary.
#include <cstdio>

#include "CliCommon.h"
#include "linalg/Diagnostics.h"
#include "model/TLSMModel.h"

int runInfo(const std::vector<std::string>& args) {
    CliArgs cli;
    if (!parseCliArgs(args, {}, {"json", "quiet"}, cli) || cli.positional.size() != 1) {
        std::fprintf(stderr, "usage: velmora-cli info BASE [--json] [--quiet]\n");
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    TLSMModel model;
    if (!loadModelForCli(model, basePathOf(cli.positional[0]))) return 1;
    const nlohmann::json summary = modelSummary(model);
    if (cli.has("json")) {
        std::printf("%s\n", summary.dump(2).c_str());
    } else {
        for (auto it = summary.begin(); it != summary.end(); ++it)
            std::printf("%-18s %s\n", it.key().c_str(), it.value().dump().c_str());
    }
    return 0;
}
