// velmora-cli: the headless face of Velmora for batch work and tests.
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommon.h"

namespace {
const char* kHelp =
    "velmora-cli: load, inspect and simulate Velmora heart models without a window.\n"
    "\n"
    "usage: velmora-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info BASE [--json] [--quiet]\n"
    "      Load BASE.node/BASE.ele (and BASE.vm when present) and print a summary of the model.\n"
    "      With --json one JSON object is printed: mesh and surface sizes, bounding box, rest volume,\n"
    "      has_project, chamber wall triangle counts, vertex label counts, constraint and stroke\n"
    "      counts, iteration_n and the excitation settings with both contraction charts.\n"
    "      --quiet silences the console lines.\n"
    "  save BASE [--force] [--quiet]\n"
    "      Load BASE (with BASE.vm when present) and write BASE.vm as the save key does. A BASE.vm\n"
    "      that was refused or only partly read is not overwritten unless --force is given.\n"
    "  help, --help\n"
    "      Show this text.\n"
    "\n"
    "BASE is a path without extension; a path ending in .node, .ele or .vm is accepted too.\n"
    "Exit status: 0 success; 1 the model cannot be loaded, its project file is refused (it does\n"
    "not match the mesh; the reason goes to standard error) or the project file cannot be\n"
    "written; 2 usage error.\n";
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command == "info") return runInfo(args);
    if (command == "save") return runSave(args);
    std::fprintf(stderr, "velmora-cli: unknown command '%s' (see velmora-cli --help)\n", command.c_str());
    return 2;
}
