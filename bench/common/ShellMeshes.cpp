// Unstructured benchmark meshes made by gmsh on first use.
#include "common/ShellMeshes.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace benchmesh {

namespace {

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// gmsh element sizes that give the advertised vertex counts for shell.geo.
double elementSizeFor(int approxVertices) {
    switch (approxVertices) {
        case 5000: return 0.31;
        case 20000: return 0.185;
        case 60000: return 0.125;
        case kLargeShell: return 0.078;
        default: return 0.0;
    }
}

}  // namespace

std::string shellMesh(int approxVertices) {
    const double size = elementSizeFor(approxVertices);
    if (size == 0.0) {
        std::fprintf(stderr, "shellMesh: no shell of about %d vertices (5000, 20000, 60000 or %d)\n", approxVertices,
                     kLargeShell);
        return {};
    }
    const char* env = std::getenv("VELMORA_BENCH_MESH_DIR");
    const std::string dir = env && *env ? env : VELMORA_BENCH_MESH_DIR;
    const std::string base = dir + "/shell" + std::to_string(approxVertices);
    if (fileExists(base + ".node") && fileExists(base + ".ele")) return base;
    // Meshing the research-size shell takes gmsh minutes and gigabytes: only when asked.
    const char* makeLarge = std::getenv("VELMORA_BENCH_LARGE_SHELL");
    if (approxVertices == kLargeShell && !(makeLarge && std::string(makeLarge) == "1")) {
        std::fprintf(stderr,
                     "shellMesh: %s.node/.ele not found; set VELMORA_BENCH_LARGE_SHELL=1 to mesh the %d-vertex shell "
                     "(minutes), or place it there\n",
                     base.c_str(), kLargeShell);
        return {};
    }

    const std::string source = VELMORA_SOURCE_DIR;
    char sizeText[32];
    std::snprintf(sizeText, sizeof sizeText, "%.3f", size);
    // One mesher thread keeps the mesh the same from run to run.
    const std::string command = "mkdir -p '" + dir + "' && gmsh '" + source + "/bench/model/shell.geo' -setnumber size " +
                                sizeText + " -3 -format msh2 -nt 1 -o '" + base + ".msh' > '" + base +
                                ".log' 2>&1 && /usr/bin/python3 '" + source + "/tools/models/msh2tetgen.py' '" + base +
                                ".msh' '" + base + "' >> '" + base + ".log' 2>&1";
    std::fprintf(stderr, "shellMesh: meshing the %d-vertex shell with gmsh (once)...\n", approxVertices);
    if (std::system(command.c_str()) != 0 || !fileExists(base + ".ele")) {
        std::fprintf(stderr, "shellMesh: gmsh or the conversion failed; see %s.log\n", base.c_str());
        return {};
    }
    std::remove((base + ".msh").c_str());
    return base;
}

}  // namespace benchmesh
