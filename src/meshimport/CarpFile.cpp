// CarpFile: strict parsers of the three openCARP mesh files and the assembly of an imported mesh
// from raw points and tetrahedra. Pure functions over bytes, so that the fuzz target runs them.
#include "meshimport/CarpFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string_view>

#include "mesh/TetMeshLimits.h"
#include "mesh/Tetra.h"

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

/// A cursor over whitespace-separated tokens that knows the line it is on.
struct TokenCursor {
    const char* at;
    const char* end;
    int line = 1;

    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

    void skipSpace() {
        while (at < end && (isBlank(*at) || *at == '\n')) {
            if (*at == '\n') ++line;
            ++at;
        }
    }
    /// True when nothing but blanks stands before the end of the line (or of the text).
    bool atLineEnd() {
        while (at < end && isBlank(*at)) ++at;
        return at >= end || *at == '\n';
    }
    bool atEnd() {
        skipSpace();
        return at >= end;
    }
    /// The next token, across line ends; false at the end of the text.
    bool token(std::string_view& out) {
        skipSpace();
        if (at >= end) return false;
        const char* start = at;
        while (at < end && !isBlank(*at) && *at != '\n') ++at;
        out = std::string_view(start, static_cast<size_t>(at - start));
        return true;
    }
    /// The next token on the current line only; false when the line has none left.
    bool tokenOnLine(std::string_view& out) {
        if (atLineEnd()) return false;
        return token(out);
    }
    void skipLine() {
        while (at < end && *at != '\n') ++at;
    }
};

bool parseInteger(std::string_view text, long long& value) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty();
}

bool parseReal(std::string_view text, double& value) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty() && std::isfinite(value);
}

std::string shown(std::string_view token) {
    std::string out;
    for (char c : token.substr(0, 40)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        }
    }
    if (token.size() > 40) out += "...";
    return out;
}

std::string at(const std::string& name, int line) { return name + " line " + std::to_string(line) + ": "; }

/// Reads the count that opens a file, alone on its first line, and checks it against the size
/// guard and the bytes left (each item needs at least minBytesPerItem), so that nothing is
/// allocated for items that are not there.
bool readHeaderCount(TokenCursor& in, const std::string& name, const char* what, const char* whats,
                     size_t minBytesPerItem, long long& count, std::string& error) {
    std::string_view token;
    if (!in.token(token)) {
        error = name + " is empty";
        return false;
    }
    const int line = in.line;
    if (!parseInteger(token, count) || count < 0) {
        error = at(name, line) + "expected the " + what + " count, found '" + shown(token) + "'";
        return false;
    }
    if (!in.atLineEnd()) {
        error = at(name, line) + "the " + what + " count must stand alone on the first line";
        return false;
    }
    if (count == 0) {
        error = name + " declares no " + whats;
        return false;
    }
    if (count > kMaxTetMeshCount) {
        error = name + " declares " + std::to_string(count) + " " + whats + ", more than the " +
                std::to_string(kMaxTetMeshCount) + " a model can hold";
        return false;
    }
    const size_t left = static_cast<size_t>(in.end - in.at);
    if (static_cast<unsigned long long>(count) > left / minBytesPerItem + 1) {
        error = name + " declares " + std::to_string(count) + " " + whats + " but is too short to hold them";
        return false;
    }
    return true;
}

/// "3 hexahedra" and the like for the element kinds of openCARP other than tetrahedra.
std::string kindCount(const std::string& kind, size_t count) {
    static const char* const names[][3] = {{"Tr", "triangle", "triangles"},   {"Qd", "quadrilateral", "quadrilaterals"},
                                           {"Ln", "line", "lines"},           {"Hx", "hexahedron", "hexahedra"},
                                           {"Pr", "prism", "prisms"},         {"Py", "pyramid", "pyramids"},
                                           {"Oc", "octahedron", "octahedra"}, {"Cx", "cable", "cables"}};
    for (const auto& n : names)
        if (kind == n[0]) return std::to_string(count) + " " + n[count == 1 ? 1 : 2];
    return std::to_string(count) + " '" + kind + "'";
}

bool knownKind(std::string_view kind) {
    for (const char* k : {"Tr", "Qd", "Ln", "Hx", "Pr", "Py", "Oc", "Cx"})
        if (kind == k) return true;
    return false;
}

}  // namespace

bool isCarpMeshFile(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == ".pts" || ext == ".elem" || ext == ".lon";
}

std::string carpBaseOf(const std::string& path) {
    const std::filesystem::path p(path);
    return (p.parent_path() / p.stem()).string();
}

bool parseCarpPoints(const char* data, size_t size, const std::string& name, std::vector<vec3>& points,
                     std::string& error) {
    points.clear();
    TokenCursor in{data, data + size};
    long long count = 0;
    // A point takes at least "0 0 0\n".
    if (!readHeaderCount(in, name, "vertex", "vertices", 6, count, error)) return false;
    std::vector<vec3> result(static_cast<size_t>(count));
    for (long long i = 0; i < count; ++i) {
        for (int a = 0; a < 3; ++a) {
            std::string_view token;
            if (!in.token(token)) {
                error = name + " declares " + std::to_string(count) + " vertices but holds only " + std::to_string(i);
                return false;
            }
            double value = 0.0;
            if (!parseReal(token, value)) {
                error = at(name, in.line) + "'" + shown(token) + "' is not a finite number";
                return false;
            }
            if (std::fabs(value) > kMaxTetMeshCoordinate) {
                char text[96];
                std::snprintf(text, sizeof text, "coordinate %g is beyond +-1e60", value);
                error = at(name, in.line) + text;
                return false;
            }
            result[static_cast<size_t>(i)][a] = value;
        }
        if (!in.atLineEnd()) {
            error = at(name, in.line) + "a vertex line holds more than x y z";
            return false;
        }
    }
    if (!in.atEnd()) {
        error = at(name, in.line) + "text after the " + std::to_string(count) + " declared vertices";
        return false;
    }
    points = std::move(result);
    return true;
}

bool parseCarpElements(const char* data, size_t size, const std::string& name, size_t vertexCount,
                       std::vector<std::array<int, 4>>& tets, std::vector<int>& regions, std::string& error) {
    tets.clear();
    regions.clear();
    TokenCursor in{data, data + size};
    long long count = 0;
    // An element takes at least "Ln 0 1\n".
    if (!readHeaderCount(in, name, "element", "elements", 7, count, error)) return false;
    std::vector<std::array<int, 4>> corners;
    std::vector<int> tags;
    corners.reserve(static_cast<size_t>(std::min<long long>(count, 1 << 20)));
    tags.reserve(corners.capacity());
    std::vector<std::pair<std::string, size_t>> others;  // kind, count, in the order met
    for (long long e = 0; e < count; ++e) {
        std::string_view kind;
        if (!in.token(kind)) {
            error = name + " declares " + std::to_string(count) + " elements but holds only " + std::to_string(e);
            return false;
        }
        const int line = in.line;
        if (kind != "Tt") {
            if (!knownKind(kind)) {
                error = at(name, line) + "unknown element kind '" + shown(kind) + "'";
                return false;
            }
            auto it = std::find_if(others.begin(), others.end(), [&](const auto& o) { return o.first == kind; });
            if (it == others.end())
                others.emplace_back(std::string(kind), 1);
            else
                ++it->second;
            in.skipLine();
            continue;
        }
        std::array<int, 4> t{};
        for (int k = 0; k < 4; ++k) {
            std::string_view token;
            long long index = -1;
            if (!in.tokenOnLine(token)) {
                error = at(name, line) + "a tetrahedron needs four node indices";
                return false;
            }
            if (!parseInteger(token, index)) {
                error = at(name, line) + "'" + shown(token) + "' is not a node index";
                return false;
            }
            if (index < 0 || static_cast<unsigned long long>(index) >= vertexCount) {
                error = at(name, line) + "node index " + std::to_string(index) + " is out of range (the mesh has " +
                        std::to_string(vertexCount) + " vertices)";
                return false;
            }
            t[k] = static_cast<int>(index);
        }
        if (t[0] == t[1] || t[0] == t[2] || t[0] == t[3] || t[1] == t[2] || t[1] == t[3] || t[2] == t[3]) {
            error = at(name, line) + "a tetrahedron names one node twice";
            return false;
        }
        long long region = 0;
        std::string_view token;
        if (in.tokenOnLine(token)) {
            if (!parseInteger(token, region) || region < std::numeric_limits<int>::min() ||
                region > std::numeric_limits<int>::max()) {
                error = at(name, line) + "'" + shown(token) + "' is not a region tag";
                return false;
            }
            if (!in.atLineEnd()) {
                error = at(name, line) + "a tetrahedron line holds more than four nodes and a region";
                return false;
            }
        }
        corners.push_back(t);
        tags.push_back(static_cast<int>(region));
    }
    if (!in.atEnd()) {
        error = at(name, in.line) + "text after the " + std::to_string(count) + " declared elements";
        return false;
    }
    if (!others.empty()) {
        std::string list;
        for (const auto& [kind, n] : others) list += (list.empty() ? "" : ", ") + kindCount(kind, n);
        error = name + " has " + list +
                (corners.empty() ? std::string() : " besides " + std::to_string(corners.size()) + " tetrahedra") +
                "; only tetrahedral meshes can be imported";
        return false;
    }
    tets = std::move(corners);
    regions = std::move(tags);
    return true;
}

bool parseCarpFibres(const char* data, size_t size, const std::string& name, size_t elementCount,
                     std::vector<vec3>& fibres, std::vector<vec3>& sheets, std::string& error) {
    fibres.clear();
    sheets.clear();
    TokenCursor in{data, data + size};
    std::string_view token;
    long long directions = 0;
    if (!in.token(token)) {
        error = name + " is empty";
        return false;
    }
    if (!parseInteger(token, directions) || (directions != 1 && directions != 2) || !in.atLineEnd()) {
        error = at(name, in.line) + "the first line must be 1 (fibres) or 2 (fibres and sheets), not '" + shown(token) +
                "'";
        return false;
    }
    const size_t perElement = static_cast<size_t>(3 * directions);
    // elementCount comes from a parsed .elem, which held that many elements: the allocation is
    // bounded by data that exists.
    std::vector<vec3> f(elementCount), s(directions == 2 ? elementCount : 0);
    for (size_t e = 0; e < elementCount; ++e) {
        double values[6] = {};
        for (size_t k = 0; k < perElement; ++k) {
            if (!in.token(token)) {
                error = name + " holds directions for " + std::to_string(e) + " elements; the mesh has " +
                        std::to_string(elementCount);
                return false;
            }
            if (!parseReal(token, values[k])) {
                error = at(name, in.line) + "'" + shown(token) + "' is not a finite number";
                return false;
            }
        }
        f[e] = vec3(values[0], values[1], values[2]);
        if (directions == 2) s[e] = vec3(values[3], values[4], values[5]);
    }
    if (!in.atEnd()) {
        size_t extra = 0;
        while (in.token(token)) ++extra;
        error = name + " holds " + std::to_string(extra) + " numbers more than the " + std::to_string(elementCount) +
                " elements of the mesh take";
        return false;
    }
    fibres = std::move(f);
    sheets = std::move(s);
    return true;
}

bool assembleTetMesh(const std::string& name, std::vector<vec3> points, std::vector<std::array<int, 4>> tets,
                     ImportedTetMesh& mesh, MeshImportReport& report, std::vector<int>& newIndexOfOld,
                     std::string& error) {
    mesh = ImportedTetMesh();
    newIndexOfOld.clear();
    if (points.empty()) {
        error = name + " has no vertices";
        return false;
    }
    if (tets.empty()) {
        error = name + " contains no tetrahedra";
        return false;
    }
    if (static_cast<long long>(points.size()) > kMaxTetMeshCount ||
        static_cast<long long>(tets.size()) > kMaxTetMeshCount) {
        error = name + " has " + std::to_string(points.size()) + " vertices and " + std::to_string(tets.size()) +
                " tetrahedra; a model holds at most " + std::to_string(kMaxTetMeshCount) + " of each";
        return false;
    }
    for (size_t i = 0; i < points.size(); ++i)
        for (int a = 0; a < 3; ++a)
            if (!std::isfinite(points[i][a]) || std::fabs(points[i][a]) > kMaxTetMeshCoordinate) {
                char text[96];
                std::snprintf(text, sizeof text, " has coordinate %g, beyond +-1e60", points[i][a]);
                error = name + ": vertex " + std::to_string(i) + text;
                return false;
            }
    std::vector<int> newIndex(points.size(), -1);
    for (size_t j = 0; j < tets.size(); ++j) {
        const auto& t = tets[j];
        for (int k = 0; k < 4; ++k) {
            if (t[k] < 0 || static_cast<size_t>(t[k]) >= points.size()) {
                error = name + ": tetrahedron " + std::to_string(j) + " names vertex " + std::to_string(t[k]) + " of " +
                        std::to_string(points.size());
                return false;
            }
            newIndex[static_cast<size_t>(t[k])] = 0;
        }
        if (t[0] == t[1] || t[0] == t[2] || t[0] == t[3] || t[1] == t[2] || t[1] == t[3] || t[2] == t[3]) {
            error = name + ": tetrahedron " + std::to_string(j) + " names one vertex twice";
            return false;
        }
    }
    int used = 0;
    vec3 lo, hi;
    for (size_t i = 0; i < points.size(); ++i) {
        if (newIndex[i] < 0) continue;
        if (used == 0) lo = hi = points[i];
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], points[i][a]);
            hi[a] = std::max(hi[a], points[i][a]);
        }
        newIndex[i] = used++;
    }
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    if (extent > 0.0 && extent < kMinTetMeshExtent) {
        error = name + ": the vertices span less than the 1e-60 a mesh needs to be scaled";
        return false;
    }
    mesh.points.resize(static_cast<size_t>(used));
    for (size_t i = 0; i < points.size(); ++i)
        if (newIndex[i] >= 0) mesh.points[static_cast<size_t>(newIndex[i])] = points[i];
    report.droppedNodes = static_cast<int>(points.size()) - used;
    mesh.tets.resize(tets.size());
    for (size_t j = 0; j < tets.size(); ++j) {
        std::array<int, 4> t;
        for (int k = 0; k < 4; ++k) t[k] = newIndex[static_cast<size_t>(tets[j][k])];
        if (signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]) < 0.0) {
            std::swap(t[2], t[3]);
            ++report.reorientedTets;
        }
        mesh.tets[j] = t;
    }
    newIndexOfOld = std::move(newIndex);
    return true;
}
