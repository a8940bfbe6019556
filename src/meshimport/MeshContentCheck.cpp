// MeshContentCheck: the format by extension, and the STL, PLY2 and Medit checks. Their layouts
// are read line by line, as the readers behind them read them, so that a file passing here is
// read by them the same way.
#include "meshimport/MeshContentCheck.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "meshimport/ContentScan.h"

namespace {

using meshcheck::ContentScan;
using meshcheck::isInteger;
using meshcheck::isNumber;
using meshcheck::LineTokens;
using meshcheck::parseCount;

// The STL reader reads lines into a 256-byte buffer: a longer line would be read as two.
constexpr size_t kMaxStlLine = 255;

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

/// True when the line's tokens are exactly the words given (letter case ignored).
bool wordsAre(std::string_view line, std::initializer_list<const char*> words) {
    LineTokens tokens(line);
    std::string_view token;
    for (const char* word : words)
        if (!tokens.next(token) || lowered(token) != word) return false;
    return !tokens.next(token);
}

uint32_t littleEndian32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

float littleEndianFloat(const char* p) {
    const uint32_t bits = littleEndian32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

/// One ascii STL line: no longer than the reader's buffer.
bool stlLine(ContentScan& scan, std::string_view& line) {
    if (!scan.readLine(line)) return false;
    if (line.size() > kMaxStlLine) {
        scan.fail("a line is longer than 255 characters");
        return false;
    }
    return true;
}

/// "vertex x y z" (any first word is read as the keyword by the reader; ours must say vertex).
bool isVertexLine(std::string_view line) {
    LineTokens tokens(line);
    std::string_view token;
    if (!tokens.next(token) || lowered(token) != "vertex") return false;
    for (int k = 0; k < 3; ++k)
        if (!tokens.next(token) || !isNumber(token)) return false;
    return !tokens.next(token);
}

bool isFacetLine(std::string_view line) {
    LineTokens tokens(line);
    std::string_view token;
    if (!tokens.next(token) || lowered(token) != "facet") return false;
    if (!tokens.next(token) || lowered(token) != "normal") return false;
    for (int k = 0; k < 3; ++k)
        if (!tokens.next(token) || !isNumber(token)) return false;
    return !tokens.next(token);
}

bool startsWithSolid(std::string_view line) {
    return line.compare(0, 5, "solid") == 0 || line.compare(0, 5, "SOLID") == 0;
}

/// Ascii STL: one or more solids, each "solid [name]", facets of seven lines ("facet normal n n
/// n", "outer loop", three "vertex x y z", "endloop", "endfacet"), "endsolid [name]".
bool checkAsciiStl(ContentScan& scan) {
    std::string_view line;
    size_t facets = 0;
    if (!stlLine(scan, line)) return false;
    if (!startsWithSolid(line)) return scan.fail("expected 'solid'");
    for (;;) {
        if (!stlLine(scan, line)) return scan.fail("the solid has no 'endsolid' line");
        LineTokens tokens(line);
        std::string_view first;
        if (!tokens.next(first)) return scan.fail("blank line inside a solid");
        const std::string keyword = lowered(first);
        if (keyword == "endsolid") {
            // Another solid may follow on the next line; otherwise only white space.
            const size_t next = scan.pos();
            if (scan.onlyWhitespaceLeft()) break;
            scan.seek(next);
            if (!stlLine(scan, line)) return false;
            if (!startsWithSolid(line))
                return scan.fail("expected 'solid' after 'endsolid', found " + scan.shown(line));
            continue;
        }
        if (keyword != "facet" || !isFacetLine(line))
            return scan.fail("expected 'facet normal x y z' or 'endsolid', found " + scan.shown(line));
        if (!stlLine(scan, line) || !wordsAre(line, {"outer", "loop"}))
            return scan.fail("expected 'outer loop', found " + scan.shown(line));
        for (int k = 0; k < 3; ++k)
            if (!stlLine(scan, line) || !isVertexLine(line))
                return scan.fail("expected 'vertex x y z', found " + scan.shown(line));
        if (!stlLine(scan, line) || !wordsAre(line, {"endloop"}))
            return scan.fail("expected 'endloop', found " + scan.shown(line));
        if (!stlLine(scan, line) || !wordsAre(line, {"endfacet"}))
            return scan.fail("expected 'endfacet', found " + scan.shown(line));
        ++facets;
    }
    if (facets == 0) return scan.fail("the solid holds no facets");
    return true;
}

/// Binary STL: an 80-byte header, a 32-bit little-endian triangle count n and n records of 50
/// bytes (normal, three corners, attribute), so exactly 84 + 50 n bytes; corners finite, and at
/// least one triangle with an area. The last rule also turns away text padded to the binary size
/// rule with zero bytes, which is all such a file can be padded with and still read as text.
bool checkBinaryStl(ContentScan& scan, uint64_t triangles) {
    const char* data = scan.data();
    bool anyArea = false;
    for (uint64_t t = 0; t < triangles; ++t) {
        const char* record = data + 84 + 50 * t;
        double corner[3][3];
        for (int k = 0; k < 9; ++k) {
            corner[k / 3][k % 3] = littleEndianFloat(record + 12 + 4 * k);
            if (!std::isfinite(corner[k / 3][k % 3])) {
                scan.seek(static_cast<size_t>(record + 12 + 4 * k - data));
                return scan.failAtByte("triangle " + scan.number(t + 1) + " has a corner that is not a finite number");
            }
        }
        if (anyArea) continue;
        double u[3], v[3];
        for (int a = 0; a < 3; ++a) {
            u[a] = corner[1][a] - corner[0][a];
            v[a] = corner[2][a] - corner[0][a];
        }
        anyArea =
            u[1] * v[2] - u[2] * v[1] != 0.0 || u[2] * v[0] - u[0] * v[2] != 0.0 || u[0] * v[1] - u[1] * v[0] != 0.0;
    }
    if (triangles > 0 && !anyArea) {
        scan.seek(84);
        return scan.failAtByte("none of its " + scan.number(triangles) + " triangles has an area");
    }
    return true;
}

bool checkStl(ContentScan& scan) {
    const size_t size = scan.size();
    uint64_t triangles = 0;
    bool binarySize = false;
    if (size >= 84) {
        triangles = littleEndian32(scan.data() + 80);
        binarySize = size == 84 + 50 * triangles;
    }
    if (size >= 5 && startsWithSolid(std::string_view(scan.data(), 5))) {
        if (checkAsciiStl(scan)) return true;
        // Binary files whose header happens to begin with "solid" are common; the reader falls
        // back to binary when the ascii reading finds no facet.
        if (!binarySize) return false;
        scan.seek(0);
        if (!checkBinaryStl(scan, triangles)) return false;
        scan.clearError();
        return true;
    }
    if (binarySize) return checkBinaryStl(scan, triangles);
    if (size < 84)
        return scan.failPlain(
            "is not an STL file: it does not begin with 'solid' and is shorter than the 84 bytes of "
            "a binary STL header");
    return scan.failPlain("is not an STL file: it does not begin with 'solid', and as binary STL its header declares " +
                          scan.number(triangles) + " triangles, which take " + scan.number(84 + 50 * triangles) +
                          " bytes, not " + scan.number(size));
}

/// One line holding a single count.
bool countLine(ContentScan& scan, const char* what, uint64_t& count) {
    std::string_view line, token;
    if (!scan.readLine(line)) return scan.fail(std::string("the file ends before the ") + what);
    LineTokens tokens(line);
    if (!tokens.next(token) || !parseCount(token, count) || tokens.next(token))
        return scan.fail(std::string("expected the ") + what + ", found " + scan.shown(line));
    return true;
}

/// A count of entries of at least minBytes each must fit in what is left of the file.
bool countFits(ContentScan& scan, uint64_t count, uint64_t minBytes, const std::string& what) {
    if (count <= scan.remaining() / minBytes) return true;
    return scan.fail("it declares " + scan.number(count) + " " + what + ", more than the file can hold");
}

/// PLY2: the vertex count and the face count on a line each, then one line "x y z" per vertex and
/// one line "3 i j k" (0-based indices) per face, nothing after.
bool checkPly2(ContentScan& scan) {
    uint64_t vertexCount = 0, faceCount = 0;
    if (!countLine(scan, "vertex count", vertexCount) || !countLine(scan, "face count", faceCount)) return false;
    if (!countFits(scan, vertexCount, 6, "vertices") || !countFits(scan, faceCount, 8, "faces")) return false;
    std::string_view line, token;
    for (uint64_t v = 0; v < vertexCount; ++v) {
        if (!scan.readLine(line)) return scan.fail("the file ends after " + scan.number(v) + " vertices");
        LineTokens tokens(line);
        for (int k = 0; k < 3; ++k)
            if (!tokens.next(token) || !isNumber(token))
                return scan.fail("expected the coordinates 'x y z' of vertex " + scan.number(v) + ", found " +
                                 scan.shown(line));
        if (tokens.next(token)) return scan.fail("vertex " + scan.number(v) + " has more than three coordinates");
    }
    for (uint64_t f = 0; f < faceCount; ++f) {
        if (!scan.readLine(line)) return scan.fail("the file ends after " + scan.number(f) + " faces");
        LineTokens tokens(line);
        uint64_t corners = 0;
        if (!tokens.next(token) || !parseCount(token, corners))
            return scan.fail("expected face " + scan.number(f) + " as '3 i j k', found " + scan.shown(line));
        if (corners != 3)
            return scan.fail("face " + scan.number(f) + " has " + scan.number(corners) +
                             " corners; only triangles can be read");
        for (int k = 0; k < 3; ++k) {
            uint64_t index = 0;
            if (!tokens.next(token) || !parseCount(token, index))
                return scan.fail("expected face " + scan.number(f) + " as '3 i j k', found " + scan.shown(line));
            if (index >= vertexCount)
                return scan.fail("face " + scan.number(f) + " names vertex " + scan.number(index) + " of " +
                                 scan.number(vertexCount));
        }
        if (tokens.next(token)) return scan.fail("face " + scan.number(f) + " has more than three corners");
    }
    if (!scan.onlyWhitespaceLeft()) return scan.fail("unexpected text after the last face");
    return true;
}

/// Layout of the entries of a Medit keyword: vertex indices, then reals, then integers.
struct MeditEntry {
    const char* keyword;
    int indices;   ///< 1-based vertex indices
    int reals;     ///< -1: the dimension's coordinates
    int integers;  ///< references
};

constexpr MeditEntry kMeditEntries[] = {
    {"Vertices", 0, -1, 1},    {"Edges", 2, 0, 1},       {"Triangles", 3, 0, 1},        {"Quadrilaterals", 4, 0, 1},
    {"Tetrahedra", 4, 0, 1},   {"Prisms", 6, 0, 1},      {"Pyramids", 5, 0, 1},         {"Hexahedra", 8, 0, 1},
    {"EdgesP2", 3, 0, 1},      {"TrianglesP2", 6, 0, 1}, {"QuadrilateralsQ2", 9, 0, 1}, {"TetrahedraP2", 10, 0, 1},
    {"HexahedraQ2", 27, 0, 1}, {"Corners", 1, 0, 0},     {"RequiredVertices", 1, 0, 0},
};

bool isIdentifier(std::string_view token) {
    if (token.empty() || !(std::isalpha(static_cast<unsigned char>(token[0])))) return false;
    for (char c : token)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

/// One entry line of a known keyword.
bool meditEntryLine(ContentScan& scan, const MeditEntry& entry, int dimension, uint64_t vertexCount,
                    std::string_view line, uint64_t index) {
    LineTokens tokens(line);
    std::string_view token;
    const std::string which = std::string(entry.keyword) + " entry " + scan.number(index + 1);
    for (int k = 0; k < entry.indices; ++k) {
        uint64_t vertex = 0;
        if (!tokens.next(token) || !parseCount(token, vertex))
            return scan.fail("expected " + which + ", found " + scan.shown(line));
        if (vertex < 1 || vertex > vertexCount)
            return scan.fail(which + " names vertex " + scan.number(vertex) + " of " + scan.number(vertexCount));
    }
    const int reals = entry.reals < 0 ? dimension : entry.reals;
    for (int k = 0; k < reals; ++k)
        if (!tokens.next(token) || !isNumber(token))
            return scan.fail("expected " + which + ", found " + scan.shown(line));
    for (int k = 0; k < entry.integers; ++k)
        if (!tokens.next(token) || !isInteger(token))
            return scan.fail("expected " + which + ", found " + scan.shown(line));
    if (tokens.next(token)) return scan.fail(which + " has more numbers than a " + entry.keyword + " entry");
    return true;
}

/// Medit .mesh (ascii): "MeshVersionFormatted N" on the first line, then keywords, each alone on
/// its line: "Dimension" (2 or 3, on its line or the next) and "End" without data, every other
/// keyword with its entry count on the next line and one line of numbers per entry. Comments
/// start with '#'.
bool checkMedit(ContentScan& scan) {
    std::string_view line, token;
    scan.readLine(line);
    {
        LineTokens tokens(line);
        uint64_t version = 0;
        if (!tokens.next(token) || token != "MeshVersionFormatted")
            return scan.failPlain("is not a Medit mesh file (no MeshVersionFormatted line)");
        if (!tokens.next(token) || !parseCount(token, version) || version < 1 || version > 3 || tokens.next(token))
            return scan.fail("expected 'MeshVersionFormatted 1', 2 or 3 on the first line, found " + scan.shown(line));
    }
    int dimension = 3;
    uint64_t vertexCount = 0;
    bool haveVertices = false;
    while (scan.readLine(line)) {
        LineTokens tokens(line);
        std::string_view keyword;
        if (!tokens.next(keyword) || keyword[0] == '#') continue;
        if (keyword == "End") {
            if (tokens.next(token)) return scan.fail("unexpected " + scan.shown(token) + " after End");
            while (scan.readLine(line)) {
                LineTokens rest(line);
                if (rest.next(token) && token[0] != '#') return scan.fail("unexpected text after End");
            }
            return true;
        }
        if (!isIdentifier(keyword)) return scan.fail("expected a keyword, found " + scan.shown(line));
        if (keyword == "Dimension") {
            uint64_t value = 0;
            if (!tokens.next(token)) {
                if (!countLine(scan, "dimension", value)) return false;
            } else if (!parseCount(token, value) || tokens.next(token)) {
                return scan.fail("expected 'Dimension 3', found " + scan.shown(line));
            }
            if (value != 2 && value != 3) return scan.fail("dimension " + scan.number(value) + "; 2 or 3 expected");
            dimension = static_cast<int>(value);
            continue;
        }
        if (tokens.next(token))
            return scan.fail(scan.plain(keyword) + " must stand alone on its line, with its count on the next");
        const MeditEntry* entry = nullptr;
        for (const MeditEntry& e : kMeditEntries)
            if (keyword == e.keyword) entry = &e;
        uint64_t count = 0;
        if (!countLine(scan, (scan.plain(keyword) + " count").c_str(), count)) return false;
        const int perEntry =
            entry ? entry->indices + (entry->reals < 0 ? dimension : entry->reals) + entry->integers : 1;
        if (!countFits(scan, count, 2 * static_cast<uint64_t>(perEntry), scan.plain(keyword) + " entries"))
            return false;
        if (entry && entry->indices > 0 && !haveVertices)
            return scan.fail(scan.plain(keyword) + " come before the Vertices they name");
        for (uint64_t i = 0; i < count; ++i) {
            if (!scan.readLine(line))
                return scan.fail("the file ends after " + scan.number(i) + " of " + scan.number(count) + " " +
                                 scan.plain(keyword));
            if (entry) {
                if (!meditEntryLine(scan, *entry, dimension, vertexCount, line, i)) return false;
                continue;
            }
            // Keywords the reader skips: any number of numbers per entry.
            LineTokens numbers(line);
            size_t seen = 0;
            while (numbers.next(token)) {
                if (!isNumber(token)) return scan.fail("expected numbers, found " + scan.shown(token));
                ++seen;
            }
            if (seen == 0) return scan.fail("expected " + scan.plain(keyword) + " entry " + scan.number(i + 1));
        }
        if (keyword == "Vertices") {
            vertexCount = count;
            haveVertices = true;
        }
    }
    return true;
}

}  // namespace

MeshFileFormat meshFileFormatOf(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return MeshFileFormat::Unknown;
    const std::string ext = lowered(std::string_view(name).substr(dot + 1));
    if (ext == "msh") return MeshFileFormat::Msh;
    if (ext == "vtk") return MeshFileFormat::Vtk;
    if (ext == "vtu") return MeshFileFormat::Vtu;
    if (ext == "mesh") return MeshFileFormat::Medit;
    if (ext == "stl") return MeshFileFormat::Stl;
    if (ext == "ply2") return MeshFileFormat::Ply2;
    return MeshFileFormat::Unknown;
}

const char* meshFileExtension(MeshFileFormat format) {
    switch (format) {
        case MeshFileFormat::Msh:
            return "msh";
        case MeshFileFormat::Vtk:
            return "vtk";
        case MeshFileFormat::Vtu:
            return "vtu";
        case MeshFileFormat::Medit:
            return "mesh";
        case MeshFileFormat::Stl:
            return "stl";
        case MeshFileFormat::Ply2:
            return "ply2";
        case MeshFileFormat::Unknown:
            break;
    }
    return "";
}

bool checkMeshContent(MeshFileFormat format, const char* data, size_t size, const std::string& name,
                      std::string& error) {
    error.clear();
    if (size == 0) {
        error = name + " is empty";
        return false;
    }
    switch (format) {
        case MeshFileFormat::Msh: {
            ContentScan scan(data, size, name, "gmsh mesh", error);
            return meshcheck::checkMshContent(scan);
        }
        case MeshFileFormat::Vtk: {
            ContentScan scan(data, size, name, "legacy VTK", error);
            return meshcheck::checkVtkContent(scan);
        }
        case MeshFileFormat::Vtu: {
            ContentScan scan(data, size, name, "VTK XML", error);
            return meshcheck::checkVtuContent(scan);
        }
        case MeshFileFormat::Medit: {
            ContentScan scan(data, size, name, "Medit mesh", error);
            return checkMedit(scan);
        }
        case MeshFileFormat::Stl: {
            ContentScan scan(data, size, name, "STL", error);
            return checkStl(scan);
        }
        case MeshFileFormat::Ply2: {
            ContentScan scan(data, size, name, "PLY2", error);
            return checkPly2(scan);
        }
        case MeshFileFormat::Unknown:
            break;
    }
    error = unknownMeshFormatMessage(name);
    return false;
}

std::string unknownMeshFormatMessage(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const std::string ext = dot == std::string::npos ? std::string() : lowered(std::string_view(name).substr(dot + 1));
    // These only list other files; the reader never follows such references.
    if (ext == "pvtu")
        return name + " is a parallel VTK file that refers to its pieces in other files; import a piece (.vtu)";
    if (ext == "vtm")
        return name + " is a VTK multiblock file that refers to other files; import one of its .vtu blocks";
    if (ext == "pvd")
        return name + " is a VTK collection file that refers to other files; import one of its .vtu files";
    return name +
           ": unknown mesh format; importable are .msh, .vtk, .vtu, .mesh, .stl, .ply2 and openCARP's .pts/.elem";
}
