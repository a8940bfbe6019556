// MesherProcess: both sides of the mesher: the child program, and the parent that starts it,
// reads its one-line report, checks the mesh it wrote and turns a crash into one message.
#include "meshimport/MesherProcess.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <vector>

#include "linalg/Diagnostics.h"
#include "mesh/TetMeshLimits.h"
#include "mesh/Tetra.h"
#include "meshimport/ImportedFibres.h"
#include "meshimport/ImportedFrames.h"

extern char** environ;

namespace {

constexpr int kMesherDone = 0;
constexpr int kMesherRefused = 1;
constexpr int kMesherUsage = 2;
constexpr int kMesherOutOfMemory = 3;
constexpr std::uint64_t kMaxMesherMemory = 4ull << 30;
constexpr std::uint64_t kMiB = 1ull << 20;
// The base name the child writes inside its private folder.
constexpr const char* kOutputName = "imported";

// ---- the child ------------------------------------------------------------------------------

/// operator new found no memory under the child's limit: said once, then the child ends with
/// the status the parent turns into "out of memory" (nothing after a failed allocation is safe).
void outOfMemory() {
    static const char text[] = "velmora-mesher: out of memory\n";
    const ssize_t ignored = ::write(2, text, sizeof text - 1);
    (void)ignored;
    ::_exit(kMesherOutOfMemory);
}

/// Writes the per-point directions (one "x y z" line each, 17 digits, so the parent reads the
/// same doubles) or the per-tetrahedron region tags (the source on the first line, then one tag
/// per line) beside the mesh.
bool writeDirections(const std::string& path, const std::vector<vec3>& directions, std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    for (const vec3& d : directions) std::fprintf(out, "%.17g %.17g %.17g\n", d.x, d.y, d.z);
    const bool ok = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool writeRegions(const std::string& path, const ImportedTetMesh& mesh, std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    std::fprintf(out, "%s\n", mesh.regionSource.c_str());
    for (int tag : mesh.regions) std::fprintf(out, "%d\n", tag);
    const bool ok = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

/// A region source as the mesher passes it: one short word of letters, digits, ':', '_', '-'.
bool plainWord(const std::string& text) {
    if (text.empty() || text.size() > 64) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ':' && c != '_' && c != '-') return false;
    return true;
}

/// What goes with the mesh: fibres and sheets per point, region tags per tetrahedron, each in
/// its own file when the mesh has them. Flags for the report line come back in the three ints.
bool writeMesherExtras(const std::string& base, ImportedTetMesh& mesh, int& fibres, int& sheets, int& regions,
                       std::string& error) {
    // An importer that gave directions of another length gave none that can be used.
    if (mesh.fibres.size() != mesh.points.size()) mesh.fibres.clear();
    if (mesh.fibres.empty() || mesh.sheets.size() != mesh.points.size()) mesh.sheets.clear();
    if (mesh.regions.size() != mesh.tets.size() || !plainWord(mesh.regionSource)) mesh.regions.clear();
    fibres = !mesh.fibres.empty();
    sheets = !mesh.sheets.empty();
    regions = !mesh.regions.empty();
    return (!fibres || writeDirections(base + ".fibres", normalisedDirections(mesh.fibres), error)) &&
           (!sheets || writeDirections(base + ".sheets", normalisedDirections(mesh.sheets), error)) &&
           (!regions || writeRegions(base + ".regions", mesh, error));
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

// ---- the parent -----------------------------------------------------------------------------

std::string cpuTimeText(int seconds) {
    if (seconds % 60 == 0) return std::to_string(seconds / 60) + (seconds == 60 ? " minute" : " minutes");
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

/// The whole of a file the child wrote, refused above maxBytes.
bool readChildFile(const std::string& path, std::uint64_t maxBytes, std::string& text, std::string& error) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "the mesher wrote no " + std::filesystem::path(path).filename().string();
        return false;
    }
    if (maxBytes > 0 && size > maxBytes) {
        error = "the mesher wrote a " + byteCountText(size) + " file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text.assign(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size))) {
        error = "cannot read what the mesher wrote (" + path + ")";
        return false;
    }
    return true;
}

/// A cursor over a text file of whitespace-separated numbers.
struct NumberReader {
    const char* at;
    const char* end;
    int line = 1;

    void skipSpace() {
        while (at < end && (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n')) {
            if (*at == '\n') ++line;
            ++at;
        }
    }
    bool integer(long long& value) {
        skipSpace();
        if (at >= end) return false;
        char* stop = nullptr;
        errno = 0;
        value = std::strtoll(at, &stop, 10);
        if (stop == at || errno != 0 || (stop < end && !std::isspace(static_cast<unsigned char>(*stop)))) return false;
        at = stop;
        return true;
    }
    bool real(double& value) {
        skipSpace();
        if (at >= end) return false;
        char* stop = nullptr;
        value = std::strtod(at, &stop);
        if (stop == at || (stop < end && !std::isspace(static_cast<unsigned char>(*stop)))) return false;
        at = stop;
        return true;
    }
    bool atEnd() {
        skipSpace();
        return at >= end;
    }
};

/// Reads back base.node/.ele as the mesher writes them (0-based, numbered in order) and checks
/// them against the counts it reported and everything an imported mesh promises.
bool readMesherOutput(const std::string& base, size_t vertices, size_t tets, std::uint64_t maxBytes,
                      ImportedTetMesh& mesh, std::string& error) {
    std::string nodeText, eleText;
    if (!readChildFile(base + ".node", maxBytes, nodeText, error) ||
        !readChildFile(base + ".ele", maxBytes, eleText, error))
        return false;
    auto invalid = [&error](const char* file, int line, const std::string& what) {
        error = "the mesher wrote an invalid mesh (" + std::string(file) + " line " + std::to_string(line) + ": " +
                what + ")";
        return false;
    };
    if (vertices == 0 || tets == 0 || static_cast<long long>(vertices) > kMaxTetMeshCount ||
        static_cast<long long>(tets) > kMaxTetMeshCount)
        return invalid(
            ".node", 1,
            "reported " + std::to_string(vertices) + " vertices and " + std::to_string(tets) + " tetrahedra");

    NumberReader node{nodeText.data(), nodeText.data() + nodeText.size()};
    long long count = 0, dim = 0, attributes = 0, markers = 0;
    if (!node.integer(count) || !node.integer(dim) || !node.integer(attributes) || !node.integer(markers) ||
        count != static_cast<long long>(vertices) || dim != 3 || attributes != 0 || markers != 0)
        return invalid(".node", node.line, "header does not announce the reported vertex count");
    mesh.points.resize(vertices);
    for (size_t i = 0; i < vertices; ++i) {
        long long index = -1;
        vec3 p;
        if (!node.integer(index) || index != static_cast<long long>(i) || !node.real(p.x) || !node.real(p.y) ||
            !node.real(p.z))
            return invalid(".node", node.line, "vertex " + std::to_string(i) + " missing or malformed");
        for (int a = 0; a < 3; ++a)
            if (!std::isfinite(p[a]) || std::fabs(p[a]) > kMaxTetMeshCoordinate)
                return invalid(".node", node.line, "coordinate out of range");
        mesh.points[i] = p;
    }
    if (!node.atEnd()) return invalid(".node", node.line, "text after the last vertex");

    NumberReader ele{eleText.data(), eleText.data() + eleText.size()};
    long long corners = 0, regions = 0;
    if (!ele.integer(count) || !ele.integer(corners) || !ele.integer(regions) ||
        count != static_cast<long long>(tets) || corners != 4 || regions != 0)
        return invalid(".ele", ele.line, "header does not announce the reported tetrahedron count");
    mesh.tets.resize(tets);
    std::vector<char> used(vertices, 0);
    for (size_t j = 0; j < tets; ++j) {
        long long index = -1;
        if (!ele.integer(index) || index != static_cast<long long>(j))
            return invalid(".ele", ele.line, "tetrahedron " + std::to_string(j) + " missing or malformed");
        std::array<int, 4>& t = mesh.tets[j];
        for (int k = 0; k < 4; ++k) {
            long long corner = -1;
            if (!ele.integer(corner) || corner < 0 || corner >= static_cast<long long>(vertices))
                return invalid(".ele", ele.line, "corner index out of range");
            t[k] = static_cast<int>(corner);
            used[static_cast<size_t>(corner)] = 1;
        }
        if (t[0] == t[1] || t[0] == t[2] || t[0] == t[3] || t[1] == t[2] || t[1] == t[3] || t[2] == t[3])
            return invalid(".ele", ele.line, "a corner repeats");
        if (signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]) < 0.0)
            return invalid(".ele", ele.line, "inverted tetrahedron");
    }
    if (!ele.atEnd()) return invalid(".ele", ele.line, "text after the last tetrahedron");
    for (size_t i = 0; i < vertices; ++i)
        if (!used[i]) return invalid(".node", static_cast<int>(i) + 2, "vertex " + std::to_string(i) + " unused");
    return true;
}

/// Reads back the per-point directions the mesher wrote: exactly count lines of three finite
/// numbers, each vector of unit length or zero.
bool readMesherDirections(const std::string& path, size_t count, std::uint64_t maxBytes, std::vector<vec3>& out,
                          std::string& error) {
    std::string text;
    if (!readChildFile(path, maxBytes, text, error)) return false;
    const std::string file = std::filesystem::path(path).extension().string();
    NumberReader in{text.data(), text.data() + text.size()};
    std::vector<vec3> directions(count);
    for (size_t i = 0; i < count; ++i) {
        vec3& d = directions[i];
        if (!in.real(d.x) || !in.real(d.y) || !in.real(d.z) || !isFinite(d)) {
            error = "the mesher wrote invalid directions (" + file + " line " + std::to_string(in.line) + ")";
            return false;
        }
        const double length = d.norm();
        if (length != 0.0 && std::fabs(length - 1.0) > 1e-9) {
            error = "the mesher wrote a direction that is not a unit vector (" + file + " line " +
                    std::to_string(in.line) + ")";
            return false;
        }
    }
    if (!in.atEnd()) {
        error = "the mesher wrote more directions than vertices (" + file + ")";
        return false;
    }
    out = std::move(directions);
    return true;
}

/// Reads back the region tags: a source word, then exactly count tags in the range of int.
bool readMesherRegions(const std::string& path, size_t count, std::uint64_t maxBytes, ImportedTetMesh& mesh,
                       std::string& error) {
    std::string text;
    if (!readChildFile(path, maxBytes, text, error)) return false;
    const size_t lineEnd = text.find('\n');
    const std::string source = text.substr(0, lineEnd);
    if (lineEnd == std::string::npos || !plainWord(source)) {
        error = "the mesher wrote an invalid region source";
        return false;
    }
    NumberReader in{text.data() + lineEnd + 1, text.data() + text.size(), 2};
    std::vector<int> regions(count);
    for (size_t j = 0; j < count; ++j) {
        long long tag = 0;
        if (!in.integer(tag) || tag < INT32_MIN || tag > INT32_MAX) {
            error = "the mesher wrote an invalid region tag (.regions line " + std::to_string(in.line) + ")";
            return false;
        }
        regions[j] = static_cast<int>(tag);
    }
    if (!in.atEnd()) {
        error = "the mesher wrote more region tags than tetrahedra";
        return false;
    }
    mesh.regions = std::move(regions);
    mesh.regionSource = source;
    return true;
}

/// The child's console lines, passed on as ours.
void passOnConsoleLines(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) diagPrintf("%s\n", line.c_str());
}

/// The environment of the child: ours, with TMPDIR pointing into its private folder (so that any
/// temporary file of the importer or of gmsh goes where it is removed afterwards) and one thread
/// for every threading library (gmsh meshes on one thread; BLAS would reserve buffers per thread).
std::vector<std::string> childEnvironment(const std::string& folder) {
    std::vector<std::string> env;
    const std::vector<std::string> replaced = {"TMPDIR=", "OMP_NUM_THREADS=", "OPENBLAS_NUM_THREADS="};
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        bool skip = false;
        for (const std::string& name : replaced) skip = skip || entry.compare(0, name.size(), name) == 0;
        if (!skip) env.push_back(entry);
    }
    env.push_back("TMPDIR=" + folder);
    env.push_back("OMP_NUM_THREADS=1");
    env.push_back("OPENBLAS_NUM_THREADS=1");
    return env;
}

}  // namespace

// ---- limits and names ---------------------------------------------------------------------------

MesherLimits defaultMesherLimits() {
    MesherLimits limits;
#if defined(__SANITIZE_ADDRESS__)
    limits.memoryBytes = 0;
#else
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
    std::uint64_t memory = kMaxMesherMemory;
    if (pages > 0 && pageSize > 0)
        memory = std::min(memory, static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 4);
    if (const char* lower = std::getenv("VELMORA_MESHER_MEMORY_MB")) {
        char* end = nullptr;
        const unsigned long long mb = std::strtoull(lower, &end, 10);
        if (end != lower && *end == '\0' && mb > 0 && mb * kMiB < memory) memory = mb * kMiB;
    }
    // Lower limits this process was given hold for the child too (and are what a message names).
    struct rlimit inherited;
    if (::getrlimit(RLIMIT_DATA, &inherited) == 0 && inherited.rlim_max != RLIM_INFINITY)
        memory = std::min(memory, static_cast<std::uint64_t>(inherited.rlim_max));
    if (::getrlimit(RLIMIT_AS, &inherited) == 0 && inherited.rlim_cur != RLIM_INFINITY)
        memory = std::min(memory, static_cast<std::uint64_t>(inherited.rlim_cur));
    limits.memoryBytes = memory;
#endif
    return limits;
}

std::string mesherProgramPath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return "velmora-mesher";
    const std::string self(buffer.data(), static_cast<size_t>(length));
    return std::filesystem::path(self).parent_path().string() + "/velmora-mesher";
}

std::string byteCountText(std::uint64_t bytes) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    char text[48];
    if (bytes >= kGiB && bytes % kGiB == 0)
        std::snprintf(text, sizeof text, "%" PRIu64 " GiB", bytes / kGiB);
    else if (bytes >= kGiB)
        std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / static_cast<double>(kGiB));
    else
        std::snprintf(text, sizeof text, "%" PRIu64 " MiB", (bytes + kMiB / 2) / kMiB);
    return text;
}

std::string mesherStopMessage(const ChildOutcome& outcome, const MesherLimits& limits) {
    const std::string memory = limits.memoryBytes > 0 ? " (limit " + byteCountText(limits.memoryBytes) + ")" : "";
    if (outcome.exited) {
        if (outcome.exitCode == kMesherDone || outcome.exitCode == kMesherRefused) return "";
        if (outcome.exitCode == kMesherOutOfMemory) return "the mesher stopped: out of memory" + memory;
        // The loader or the C library gave up before our code ran: its first line says why.
        std::string first = outcome.err.substr(0, outcome.err.find('\n'));
        if (first.size() > 200) first.resize(200);
        return "the mesher stopped: exit status " + std::to_string(outcome.exitCode) +
               (first.empty() ? "" : " (" + first + ")");
    }
    const bool cpuSpent = limits.cpuSeconds > 0 && outcome.cpuSeconds >= limits.cpuSeconds - 0.5;
    if (outcome.signal == SIGXCPU || (outcome.signal == SIGKILL && cpuSpent))
        return "the mesher stopped: CPU time limit of " + cpuTimeText(limits.cpuSeconds) + " reached";
    if (outcome.signal == SIGXFSZ)
        return "the mesher stopped: file size limit of " + byteCountText(limits.fileBytes) + " reached";
    return "the mesher stopped: killed by signal " + std::to_string(outcome.signal) + " (" +
           signalDescription(outcome.signal) + ")";
}

// ---- the job ------------------------------------------------------------------------------------

MeshImportJob::~MeshImportJob() {
    m_child.reset();
    if (!m_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
}

bool MeshImportJob::start(const std::string& meshPath, const MeshImportOptions& options, std::string& error,
                          const MesherLimits& limits, const std::string& program) {
    error.clear();
    m_limits = limits;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-mesher-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        error = "cannot make a temporary folder for the import (" + pattern + "): " + std::strerror(errno);
        return false;
    }
    m_folder = name.data();
    std::error_code ec;
    const std::string input = std::filesystem::absolute(meshPath, ec).string();
    // The child works in its private folder, so it gets the path whole; its messages give it back
    // as the caller wrote it.
    m_givenPath = meshPath;
    m_childPath = ec ? meshPath : input;
    std::vector<std::string> argv = {program, m_childPath, m_folder + "/" + kOutputName};
    if (options.elementSize > 0.0) {
        char size[40];
        std::snprintf(size, sizeof size, "%.17g", options.elementSize);
        argv.insert(argv.end(), {"--size", size});
    }
    ChildLimits child;
    child.memoryBytes = limits.memoryBytes;
    child.cpuSeconds = limits.cpuSeconds;
    child.fileBytes = limits.fileBytes;
    m_child = ChildProcess::start(argv, childEnvironment(m_folder), m_folder, child, error);
    if (!m_child) {
        error = "the mesher could not be started: " + error;
        return false;
    }
    m_started = std::chrono::steady_clock::now();
    return true;
}

bool MeshImportJob::poll() {
    if (!m_child) return true;
    if (m_child->poll()) return true;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    if (m_limits.wallSeconds > 0 && elapsed > m_limits.wallSeconds) {
        m_timedOut = true;
        m_child->kill();
        return true;
    }
    return false;
}

void MeshImportJob::waitUntilOver() {
    while (!poll()) m_child->wait(200);
}

void MeshImportJob::cancel() {
    if (!m_child || m_child->finished()) return;
    m_cancelled = true;
    m_child->kill();
}

bool MeshImportJob::finish(ImportedTetMesh& mesh, MeshImportReport& report, std::string& error) {
    mesh = ImportedTetMesh();
    report = MeshImportReport();
    error.clear();
    if (!m_child) {
        error = "the mesher was not started";
        return false;
    }
    if (!m_child->finished()) waitUntilOver();
    const ChildOutcome& outcome = m_child->outcome();
    if (m_cancelled) {
        error = "import cancelled";
        return false;
    }
    if (m_timedOut) {
        error = "the mesher stopped: no result after " + cpuTimeText(m_limits.wallSeconds);
        return false;
    }
    error = mesherStopMessage(outcome, m_limits);
    if (!error.empty()) return false;

    passOnConsoleLines(outcome.err);
    const std::string line = outcome.out.substr(0, outcome.out.find('\n'));
    if (outcome.exitCode == kMesherRefused) {
        const std::string tag = "refused ";
        error = line.compare(0, tag.size(), tag) == 0 && line.size() > tag.size() ? line.substr(tag.size())
                                                                                  : "the mesher refused the file";
        for (size_t at = error.find(m_childPath); at != std::string::npos && m_childPath != m_givenPath;
             at = error.find(m_childPath, at + m_givenPath.size()))
            error.replace(at, m_childPath.size(), m_givenPath);
        return false;
    }
    std::istringstream fields(line);
    std::string tag;
    size_t vertices = 0, tets = 0;
    int fromSurface = 0, hasFibres = 0, hasSheets = 0, hasRegions = 0;
    ImportedTetMesh result;
    MeshImportReport outcomeReport;
    fields >> tag >> vertices >> tets >> outcomeReport.droppedNodes >> outcomeReport.reorientedTets >>
        outcomeReport.higherOrderTets >> outcomeReport.ignoredElements >> fromSurface >>
        outcomeReport.surfaceTriangles >> outcomeReport.elementSize;
    // The three flags of what goes with the mesh: all three, or none for a mesh alone.
    bool flagsOk = static_cast<bool>(fields);
    if (flagsOk && !(fields >> hasFibres)) {
        hasFibres = 0;
    } else if (flagsOk) {
        flagsOk = static_cast<bool>(fields >> hasSheets >> hasRegions) && (hasFibres == 0 || hasFibres == 1) &&
                  (hasSheets == 0 || hasSheets == hasFibres) && (hasRegions == 0 || hasRegions == 1);
    }
    if (!flagsOk || tag != "mesh") {
        error = "the mesher ended without a report";
        return false;
    }
    outcomeReport.meshedFromSurface = fromSurface != 0;
    const std::string base = m_folder + "/" + kOutputName;
    if (!readMesherOutput(base, vertices, tets, m_limits.fileBytes, result, error)) return false;
    if (hasFibres && !readMesherDirections(base + ".fibres", vertices, m_limits.fileBytes, result.fibres, error))
        return false;
    if (hasSheets && !readMesherDirections(base + ".sheets", vertices, m_limits.fileBytes, result.sheets, error))
        return false;
    if (hasRegions && !readMesherRegions(base + ".regions", tets, m_limits.fileBytes, result, error)) return false;
    mesh = std::move(result);
    report = outcomeReport;
    return true;
}

bool importMeshFileInMesher(const std::string& path, const MeshImportOptions& options, ImportedTetMesh& mesh,
                            MeshImportReport& report, std::string& error) {
    MeshImportJob job;
    if (!job.start(path, options, error)) return false;
    job.waitUntilOver();
    return job.finish(mesh, report, error);
}

// ---- placing the result -------------------------------------------------------------------------

bool placeImportedMesh(const std::string& base, const ImportedTetMesh& mesh, std::string& backupPath,
                       std::string& error) {
    backupPath.clear();
    error.clear();
    // Fibres that came with the mesh become the frames of the model, kept in its project file.
    auto placeFrames = [&]() {
        if (mesh.fibres.size() != mesh.points.size()) return true;
        if (!putFramesInProject(base, framesFromImportedDirections(mesh.points, mesh.fibres, mesh.sheets), error))
            return false;
        diagPrintf("import: the fibres of the mesh are the frames of %s.vm\n", base.c_str());
        return true;
    };
    if (tetGenBaseHolds(base, mesh)) return placeFrames();  // the same mesh again: its project still fits
    const std::string project = base + ".vm", backup = base + ".vm.bak";
    std::error_code ec;
    const bool hasProject = std::filesystem::exists(project, ec);
    if (hasProject) {
        std::filesystem::rename(project, backup, ec);
        if (ec) {
            error = "cannot rename " + project + " to " + backup + " (it belongs to another mesh): " + ec.message();
            return false;
        }
    }
    if (!writeTetGenBase(base, mesh, error)) {
        if (hasProject) std::filesystem::rename(backup, project, ec);
        return false;
    }
    if (hasProject) backupPath = backup;
    return placeFrames();
}

// ---- the mesher program -------------------------------------------------------------------------

int runMesherProgram(int argc, char** argv) {
    std::set_new_handler(outOfMemory);
    const std::vector<std::string> args(argv + 1, argv + argc);
    MeshImportOptions options;
    if (args.size() == 4 && args[2] == "--size") {
        char* end = nullptr;
        options.elementSize = std::strtod(args[3].c_str(), &end);
        if (*end != '\0' || !(options.elementSize > 0.0)) options.elementSize = -1.0;
    }
    if ((args.size() != 2 && args.size() != 4) || options.elementSize < 0.0) {
        std::fputs("usage: velmora-mesher IN OUT_BASE [--size H] (run by velmora and velmora-cli)\n", stderr);
        return kMesherUsage;
    }
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    int fibres = 0, sheets = 0, regions = 0;
    if (!importMeshFile(args[0], options, mesh, report, error) || !writeTetGenBase(args[1], mesh, error) ||
        !writeMesherExtras(args[1], mesh, fibres, sheets, regions, error)) {
        std::printf("refused %s\n", oneLine(error).c_str());
        // gmsh's own mesher allocates with malloc and reports a failure as an error of its own:
        // that too is the memory limit reached, and said as such.
        std::string lower = error;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.find("out of memory") != std::string::npos || lower.find("bad_alloc") != std::string::npos)
            return kMesherOutOfMemory;
        return kMesherRefused;
    }
    std::printf("mesh %zu %zu %d %d %d %d %d %d %.17g %d %d %d\n", mesh.points.size(), mesh.tets.size(),
                report.droppedNodes, report.reorientedTets, report.higherOrderTets, report.ignoredElements,
                report.meshedFromSurface ? 1 : 0, report.surfaceTriangles, report.elementSize, fibres, sheets, regions);
    return kMesherDone;
}
