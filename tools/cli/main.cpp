// velmora-cli: the headless face of Velmora for batch work and tests.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"
#include "model/MainWindowManager.h"

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
    "  simulate BASE [--ticks N] [--threads T] [--anim FILE.heartAnim] [--wall FILE.tex]\n"
    "                [--volumes FILE.csv] [--vtk DIR] [--json] [--quiet]\n"
    "      Load BASE as the application does and run N ticks of the main loop from time 0 without\n"
    "      drawing (default: one beat cycle). --threads sets the simulator's thread count. --anim and\n"
    "      --wall start the animation or the 401-tick wall-thickness export at time 0 (one of them).\n"
    "      --volumes writes one CSV row per tick: tick, time, VR, VL, AR, AL. --vtk writes one VTK\n"
    "      unstructured-grid file per tick (tetrahedra, positions; phase, amplitude, depth, label,\n"
    "      fibre, sheet, normal, contraction) and a series.pvd collection. --json prints ticks, threads,\n"
    "      ms_per_tick, lv_ef, volumes_min, volumes_max, max_displacement, final_total_volume,\n"
    "      rest_volume, finite and positions_sha256 (final positions as little-endian doubles).\n"
    "  make-model tube OUTBASE [--quiet]\n"
    "      Write the structured 1200-vertex tube (10 levels x 4 layers x 30 angles).\n"
    "  make-model heart OUTBASE --mesh MESHBASE [--quiet]\n"
    "      Copy the heart mesh made by tools/models/heart.geo to OUTBASE and author OUTBASE.vm:\n"
    "      placement, labels, chamber walls, fibres, phase, contraction charts.\n"
    "  import IN OUT_BASE [--size H] [--json] [--quiet]\n"
    "      Read a gmsh .msh (versions 2 and 4), legacy VTK .vtk or Medit .mesh tetrahedral mesh, or a\n"
    "      closed surface (.stl, .ply2) which is filled with tetrahedra of size H (default: about\n"
    "      5,000-10,000 vertices), and write it as OUT_BASE.node/OUT_BASE.ele. Only tetrahedra are\n"
    "      taken; inverted ones are reoriented and unused nodes dropped. --json prints base, vertices,\n"
    "      tetrahedra, dropped_nodes, reoriented_tetrahedra, curved_tetrahedra, ignored_elements\n"
    "      (points, lines and faces of a volume mesh), from_surface,\n"
    "      surface_triangles and element_size.\n"
    "  export-fields BASE OUT.vtu [--quiet]\n"
    "      Load BASE like the application and write its rest mesh (in BASE.node's coordinates) as a VTK\n"
    "      unstructured grid with point data phase, amplitude, depth, label and the fibre frame\n"
    "      (fibre, sheet, normal).\n"
    "  help, --help\n"
    "      Show this text.\n"
    "\n"
    "BASE is a path without extension; a path ending in .node, .ele or .vm is accepted too.\n"
    "Exit status: 0 success; 1 the model cannot be loaded (or a simulation went non-finite), its project file is refused (it does\n"
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
    // --solver S (any command) picks the sparse back end; it is taken out before the command sees
    // its arguments.
    std::string solver;
    for (size_t a = 0; a < args.size(); ++a) {
        if (args[a] != "--solver") continue;
        SolverBackend parsed;
        if (a + 1 >= args.size() || !parseSolverBackend(args[a + 1], parsed)) {
            std::fprintf(stderr, "velmora-cli: --solver takes cholmod, umfpack or lu\n");
            return 2;
        }
        solver = args[a + 1];
        args.erase(args.begin() + static_cast<long>(a), args.begin() + static_cast<long>(a) + 2);
        break;
    }
    // The sparse solver back end is chosen once, with the wrapper next to this program as the
    // UMFPACK library, before any model is loaded. --quiet silences the library's load lines too.
    const bool quiet = std::find(args.begin(), args.end(), "--quiet") != args.end();
    setDiagQuiet(quiet);
    chooseSolverBackend(runningProgramDirectory(), solver);
    setDiagQuiet(false);
    if (command == "info") return runInfo(args);
    if (command == "save") return runSave(args);
    if (command == "simulate") return runSimulate(args);
    if (command == "make-model") return runMakeModel(args);
    if (command == "solve-fields") return runSolveFields(args);
    if (command == "import") return runImport(args);
    if (command == "export-fields") return runExportFields(args);
    std::fprintf(stderr, "velmora-cli: unknown command '%s' (see velmora-cli --help)\n", command.c_str());
    return 2;
}
