// LatticeMesh: the lattice's mesh from the model's surface, through the mesher, and its cache.
#include "meshimport/LatticeMesh.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "io/KeyedPath.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "mesh/TTetMesh.h"
#include "meshimport/MeshImport.h"
#include "meshimport/MesherProcess.h"

namespace {

namespace fs = std::filesystem;

// Vertices of gmsh's fill per unit volume times h^3, and on its boundary per unit area times h^2
// (the importer's figures; a corrected pass rescales both by the miss).
constexpr double kVolumeDensity = 1.15;
constexpr double kSurfaceDensity = 0.6;
// A count this far off the target (as a fraction) gets one more pass at a corrected size.
constexpr double kCountTolerance = 0.25;
constexpr const char* kKeyVersion = "velmora-lattice 1";

/// The key lines that identify a cache: version, target, fine mesh checksum.
std::string keyText(const LatticeMeshRequest& request) {
    char text[128];
    std::snprintf(text, sizeof text, "%s\ntarget %d\nmesh %016" PRIx64 "\n", kKeyVersion, request.targetVertices,
                  request.meshChecksum);
    return text;
}

/// The cache at cacheBase when its key matches: true with the mesh in result.
bool readCache(const std::string& cacheBase, const std::string& key, LatticeMeshResult& result) {
    std::ifstream in(cacheBase + ".key", std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    if (text.str().compare(0, key.size(), key) != 0) return false;
    TTetMesh mesh;
    std::string reason;
    if (!loadTetMesh(mesh, cacheBase, &reason)) {
        diagPrintf("buildLatticeMesh: the cached lattice %s cannot be read (%s); it is built again\n",
                   cacheBase.c_str(), reason.c_str());
        return false;
    }
    result.positions = std::move(mesh.m_verts);
    result.tets.clear();
    result.tets.reserve(mesh.m_tets.size());
    for (const Tetra& t : mesh.m_tets) result.tets.push_back({t.vIdx[0], t.vIdx[1], t.vIdx[2], t.vIdx[3]});
    result.reusedCache = true;
    result.cacheBase = cacheBase;
    return true;
}

/// Writes the mesh and then its key (atomically) at cacheBase, making its folder first when asked
/// (the fallback folder; never the model's own); false with a reason.
bool writeCache(const std::string& cacheBase, const std::string& key, const ImportedTetMesh& mesh, bool makeFolder,
                std::string& error) {
    std::error_code ec;
    if (makeFolder) fs::create_directories(fs::path(cacheBase).parent_path(), ec);
    if (!writeTetGenBase(cacheBase, mesh, error)) return false;
    const std::string temporary = cacheBase + ".key.part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << key;
        out.close();
        if (!out) {
            error = "cannot write " + temporary;
            fs::remove(temporary, ec);
            return false;
        }
    }
    fs::rename(temporary, cacheBase + ".key", ec);
    if (ec) {
        error = "cannot write " + cacheBase + ".key: " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

void putFloat(std::string& out, float v) {
    char bytes[4];
    std::memcpy(bytes, &v, 4);  // x86-64 and every platform we build for are little-endian
    out.append(bytes, 4);
}

/// The surface as a binary STL (its header must not begin with "solid").
bool writeBinaryStl(const std::string& path, const LatticeMeshRequest& request, std::string& error) {
    std::string out(80, ' ');
    out.replace(0, 22, "velmora lattice source");
    const std::uint32_t count = static_cast<std::uint32_t>(request.triangles.size());
    char countBytes[4];
    std::memcpy(countBytes, &count, 4);
    out.append(countBytes, 4);
    out.reserve(84 + 50 * request.triangles.size());
    for (const auto& tri : request.triangles) {
        const vec3 &a = request.points[tri[0]], &b = request.points[tri[1]], &c = request.points[tri[2]];
        vec3 normal = (b - a).cross(c - a);
        const double length = normal.norm();
        if (length > 0.0) normal /= length;
        for (const vec3& v : {normal, a, b, c}) {
            putFloat(out, static_cast<float>(v.x));
            putFloat(out, static_cast<float>(v.y));
            putFloat(out, static_cast<float>(v.z));
        }
        out.append(2, '\0');
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file) {
        error = "cannot write the lattice's surface to " + path;
        return false;
    }
    return true;
}

/// Removes the private folder when it goes out of scope.
struct PrivateFolder {
    std::string path;
    ~PrivateFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

/// One fill in the mesher, polled with the hooks; false with a reason.
bool fillInMesher(const std::string& stlPath, double size, const LatticeBuildHooks& hooks, double from, double to,
                  const std::string& program, ImportedTetMesh& mesh, std::string& error) {
    MeshImportJob job;
    MeshImportOptions options;
    options.elementSize = size;
    if (!job.start(stlPath, options, error, defaultMesherLimits(), program.empty() ? mesherProgramPath() : program))
        return false;
    const auto started = std::chrono::steady_clock::now();
    while (!job.poll()) {
        if (hooks.cancelled && hooks.cancelled()) {
            job.cancel();
            error = "cancelled";
            return false;
        }
        if (hooks.progress) {
            // The mesher says nothing until it is done: the bar creeps towards its end.
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            hooks.progress(from + (to - from) * (1.0 - std::exp(-seconds / 10.0)), "lattice");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    MeshImportReport report;
    if (!job.finish(mesh, report, error)) {
        if (job.cancelled()) error = "cancelled";
        return false;
    }
    return true;
}

}  // namespace

std::string latticeCacheBase(const std::string& base) { return base + ".lattice"; }

std::string fallbackLatticeCacheBase(const std::string& base, const std::string& folder) {
    return keyedPathIn(folder, base, ".lattice");
}

double latticeElementSize(double volume, double area, int targetVertices, double scale) {
    // f(h) = scale (kV V / h^3 + kS A / h^2) falls with h: bisection on log h.
    auto count = [&](double h) {
        return scale * (kVolumeDensity * volume / (h * h * h) + kSurfaceDensity * area / (h * h));
    };
    const double n = std::max(1, targetVertices);
    double lo = std::cbrt(scale * kVolumeDensity * std::max(volume, 1e-300) / n) * 1e-3;
    double hi =
        std::max(std::cbrt(scale * kVolumeDensity * volume / n), std::sqrt(scale * kSurfaceDensity * area / n)) * 4.0;
    if (!(lo > 0.0) || !std::isfinite(hi)) return hi;
    for (int i = 0; i < 100; ++i) {
        const double mid = std::sqrt(lo * hi);
        if (count(mid) > n)
            lo = mid;
        else
            hi = mid;
    }
    return std::sqrt(lo * hi);
}

bool buildLatticeMesh(const LatticeMeshRequest& request, const LatticeBuildHooks& hooks, LatticeMeshResult& result,
                      std::string& error, const std::string& program) {
    result = LatticeMeshResult();
    const std::string key = keyText(request);
    const std::string beside = request.basePath.empty() ? "" : latticeCacheBase(request.basePath);
    const std::string fallback = fallbackLatticeCacheBase(request.basePath, request.fallbackFolder);
    for (const std::string& cache : {beside, fallback})
        if (!cache.empty() && readCache(cache, key, result)) return true;

    if (request.triangles.empty() || !(request.enclosedVolume > 0.0)) {
        error = "the model's surface encloses no volume";
        return false;
    }
    PrivateFolder folder;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-lattice-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        error = "cannot make a temporary folder for the lattice (" + pattern + "): " + std::strerror(errno);
        return false;
    }
    folder.path = name.data();
    const std::string stlPath = folder.path + "/surface.stl";
    if (!writeBinaryStl(stlPath, request, error)) return false;
    if (hooks.progress) hooks.progress(0.05, "lattice");

    double size = latticeElementSize(request.enclosedVolume, request.surfaceArea, request.targetVertices);
    ImportedTetMesh mesh;
    if (!fillInMesher(stlPath, size, hooks, 0.05, 0.45, program, mesh, error)) {
        if (error != "cancelled") error = "the lattice could not be made: " + error;
        return false;
    }
    const double miss = static_cast<double>(mesh.points.size()) / request.targetVertices;
    if (std::fabs(miss - 1.0) > kCountTolerance && !mesh.points.empty()) {
        // The densities were off for this body: rescale them by the miss and fill once more.
        const double corrected =
            latticeElementSize(request.enclosedVolume, request.surfaceArea, request.targetVertices, miss);
        diagPrintf("buildLatticeMesh: element size %g gave %d vertices for %d; trying %g\n", size,
                   static_cast<int>(mesh.points.size()), request.targetVertices, corrected);
        size = corrected;
        ImportedTetMesh second;
        if (!fillInMesher(stlPath, size, hooks, 0.45, 0.85, program, second, error)) {
            if (error != "cancelled") error = "the lattice could not be made: " + error;
            return false;
        }
        mesh = std::move(second);
    }
    if (hooks.progress) hooks.progress(0.85, "lattice");

    std::string cacheError;
    bool cached = false;
    for (const std::string& cache : {beside, fallback}) {
        if (cache.empty()) continue;
        std::string attempt;
        if (writeCache(cache, key, mesh, cache == fallback, attempt)) {
            result.cacheBase = cache;
            cached = true;
            break;
        }
        cacheError += (cacheError.empty() ? "" : "; ") + attempt;
    }
    if (!cached)
        diagPrintf("buildLatticeMesh: the lattice is not cached (%s)\n",
                   cacheError.empty() ? "no folder to cache it in" : cacheError.c_str());
    result.positions = std::move(mesh.points);
    result.tets = std::move(mesh.tets);
    return true;
}
