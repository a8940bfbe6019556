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
    "                [--volumes FILE.csv] [--indices FILE.csv] [--vtk DIR] [--lattice N] [--json] [--quiet]\n"
    "      Load BASE as the application does and run N ticks of the main loop from time 0 without\n"
    "      drawing (default: one beat cycle). --threads sets the simulator's thread count. --anim and\n"
    "      --wall start the animation or the 401-tick wall-thickness export at time 0 (one of them).\n"
    "      --volumes writes one CSV row per tick: tick, time, VR, VL, AR, AL. --vtk writes one VTK\n"
    "      unstructured-grid file per tick (tetrahedra, positions; phase, amplitude, depth, label,\n"
    "      fibre, sheet, normal, contraction; transmural when the model has chamber walls) and a\n"
    "      series.pvd collection. --json prints ticks, threads,\n"
    "      ms_per_tick, lv_ef, volumes_min, volumes_max, max_displacement, final_total_volume,\n"
    "      rest_volume, finite and positions_sha256 (final positions as little-endian doubles), and,\n"
    "      when the model has a left-ventricular wall, end_systole (the indices and 17 segments at the\n"
    "      tick of the smallest LV volume) and peak. --indices writes one CSV row per tick: tick, time,\n"
    "      longitudinal, circumferential, radial (percent), apical_rotation, basal_rotation, twist\n"
    "      (degrees), measured on the positions of that tick's VTK file. --lattice N steps a simulation\n"
    "      lattice of about N vertices (at least 100, fewer than the model's) that carries the model's\n"
    "      vertices, made by filling the model's surface in the mesher and cached beside it as\n"
    "      BASE.lattice.node/.ele/.key (a project's #SimulationLattice asks for one too); --json then\n"
    "      adds lattice: vertices, tetrahedra, outside_vertices and reused_cache.\n"
    "  solve-fields BASE [--json] [--write] [--quiet]\n"
    "      Load BASE with its project file and solve the phase, amplitude and orientation fields again\n"
    "      from its constraints and strokes, timing each; print the solver, each field's time and range\n"
    "      (--json: one object, with the constraint and stroke counts and frames_finite). --write saves\n"
    "      BASE.vm afterwards. Exit status 1 without a project file or when a field is not finite.\n"
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
    "      (points, lines and faces of a volume mesh), from_surface, surface_triangles, element_size\n"
    "      and project_backup. A project file OUT_BASE.vm made for another mesh is renamed\n"
    "      OUT_BASE.vm.bak (project_backup; null when nothing was renamed), so the new mesh never pairs\n"
    "      with it. The file is read by velmora-mesher (installed beside this program) in a child\n"
    "      process limited to the smaller of 4 GiB and a quarter of the memory (the environment\n"
    "      variable VELMORA_MESHER_MEMORY_MB lowers it) and 10 minutes of CPU time; a crash or a limit\n"
    "      reached there ends the import with one message and exit status 1.\n"
    "      An openCARP mesh is named by its .pts (or .elem or .lon) file: BASE.pts and BASE.elem are\n"
    "      read by Velmora's own parser (tetrahedra only), BASE.lon when present. Fibres the file\n"
    "      gives (openCARP's .lon per element, brought to the vertices by volume-weighted averaging)\n"
    "      become the model's fibre frames, kept in OUT_BASE.vm; --json adds fibres, sheets and regions\n"
    "      (the region tags' source and the tetrahedra per tag; null without tags).\n"
    "  export-carp BASE OUT_BASE [--quiet]\n"
    "      Load BASE like the application and write it as an openCARP mesh: OUT_BASE.pts (BASE.node's\n"
    "      coordinates), OUT_BASE.elem (\"Tt\" elements, region = the label most corners carry: 0\n"
    "      neither, 1 ventricle, 2 atrium) and OUT_BASE.lon (2, then per element the normalised mean\n"
    "      of its corners' fibres and the sheet across the wall). The files appear only when all three\n"
    "      are complete.\n"
    "  export-fields BASE OUT.vtu [--quiet]\n"
    "      Load BASE like the application and write its rest mesh (in BASE.node's coordinates) as a VTK\n"
    "      unstructured grid with point data phase, amplitude, depth, label, the fibre frame (fibre,\n"
    "      sheet, normal) and transmural (0 on the chamber walls, 1 on the outer surface; when the\n"
    "      model has chamber walls).\n"
    "  indices BASE [--deformed FILE.node] [--json] [--quiet]\n"
    "      Load BASE like the application and print the left ventricle's deformation indices:\n"
    "      longitudinal, circumferential and radial strain (percent), apical and basal rotation and\n"
    "      twist (degrees) and the strains of the 17 AHA segments, of the rest state or of the\n"
    "      positions in FILE.node (same vertex count, BASE.node's coordinates; BASE.node is the\n"
    "      reference). --json prints them as one object. A model without a VL wall is refused.\n"
    "  fibres BASE --rule-based [--endo DEG] [--epi DEG] [--write] [--json] [--quiet]\n"
    "      Set the ventricles' fibres by the rule on the transmural coordinate t (0 on the chamber\n"
    "      walls, 1 on the outer surface): helix angle ENDO + (EPI - ENDO) t (defaults +60 and -60\n"
    "      degrees, within -90..90) about the left ventricle's long axis; the atria keep theirs. Prints\n"
    "      t's range and the helix angle per transmural fifth of the left-ventricular free wall\n"
    "      (--json: one object). --write saves BASE.vm with the setting. Needs a VL wall.\n"
    "  render BASE OUT.png [--tick N] [--size WxH] [--show LIST] [--camera home|fit] [--quiet]\n"
    "      Draw BASE as the window does, without any window or X server (EGL): simulate N ticks from\n"
    "      time 0 (default 0) and write one PNG (default 1024x768). LIST names what is shown besides the\n"
    "      heart, comma-separated: mesh, vertices, walls, fibres-atria, fibres-ventricles, held,\n"
    "      fibres-second, fibres-third (keys 3 to 0), frames (the frame cube), charts (the contraction\n"
    "      charts), or none; without --show, what the window shows after loading BASE. --camera home\n"
    "      (default) is the window's start camera, fit frames the whole model.\n"
    "  movie BASE OUT.mp4|OUT.webm|OUT.gif [--ticks N] [--every K] [--fps F] [--size WxH] [--show LIST]\n"
    "                [--camera home|fit] [--plot] [--quiet]\n"
    "      One frame after every K ticks (default 1) of N ticks (default one beat cycle), at F frames\n"
    "      per second (default 30), 1024x768 by default: H.264 in MP4, VP9 in WebM, or a GIF with a\n"
    "      palette made for the movie. --plot gives the right three tenths of each frame to the four\n"
    "      chamber volumes and the left-ventricular ejection fraction. A progress bar on a terminal;\n"
    "      --quiet silences it. The file appears only when complete.\n"
    "  help, --help\n"
    "      Show this text.\n"
    "\n"
    "BASE is a path without extension; a path ending in .node, .ele or .vm is accepted too.\n"
    "Exit status: 0 success; 1 the model cannot be loaded (or a simulation went non-finite), its project file is refused (it does\n"
    "not match the mesh; the reason goes to standard error) or the project file cannot be\n"
    "written; 2 usage error. render and movie also exit 1 when a size, display switch, camera or\n"
    "output path cannot be used, or drawing or encoding fails.\n";
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
    if (command == "export-carp") return runExportCarp(args);
#ifdef VELMORA_CLI_PICTURES
    if (command == "render") return runRender(args);
    if (command == "movie") return runMovie(args);
#else
    if (command == "render" || command == "movie") {
        std::fprintf(stderr, "velmora-cli: this build has no rendering layers (configure with VELMORA_BUILD_GUI=ON)\n");
        return 1;
    }
#endif
    if (command == "indices") return runIndices(args);
    if (command == "fibres") return runFibres(args);
    std::fprintf(stderr, "velmora-cli: unknown command '%s' (see velmora-cli --help)\n", command.c_str());
    return 2;
}
