// velmora-cli export-carp: a model and its fibres written as an openCARP mesh.
#include <cstdio>

#include "CliCommon.h"
#include "linalg/Diagnostics.h"
#include "model/CarpExport.h"
#include "model/TLSMModel.h"

int runExportCarp(const std::vector<std::string>& args) {
    CliArgs cli;
    if (!parseCliArgs(args, {}, {"quiet"}, cli) || cli.positional.size() != 2) {
        std::fputs("usage: velmora-cli export-carp BASE OUT_BASE [--quiet]\n", stderr);
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    TLSMModel model;
    if (!loadModelForCli(model, basePathOf(cli.positional[0]))) return 1;
    // OUT_BASE may be given as one of the files it names.
    std::string out = cli.positional[1];
    for (const std::string ext : {".pts", ".elem", ".lon"})
        if (out.size() > ext.size() && out.compare(out.size() - ext.size(), ext.size(), ext) == 0) {
            out.resize(out.size() - ext.size());
            break;
        }
    std::string error;
    if (!exportModelCarp(model, out, error)) {
        std::fprintf(stderr, "velmora-cli: export-carp: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
