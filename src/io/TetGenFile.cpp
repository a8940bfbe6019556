// TetGenFile: the TetGen reader on the shared token reader, with counts checked against the file's size.
#include "io/TetGenFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "io/TextTokens.h"
#include "linalg/Diagnostics.h"
#include "mesh/TetMeshLimits.h"

namespace {

constexpr double kMaxCoordinate = kMaxTetMeshCoordinate;
constexpr double kMinExtent = kMinTetMeshExtent;

/// Prints one refusal line and keeps it (without its newline) as the reason.
bool refuse(std::string* reason, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool refuse(std::string* reason, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = diagVFormat(format, args);
    va_end(args);
    diagPrintf("%s", line.c_str());
    if (reason) {
        if (!line.empty() && line.back() == '\n') line.pop_back();
        *reason = line;
    }
    return false;
}

/// One TetGen file's tokens ('#' starts a comment to the line end), read with the typed reads and
/// messages of the TetGen format; every refusal names the file and the line.
class TetGenTokens {
   public:
    TetGenTokens(const std::string& path, std::string* reason) : m_path(path), m_reason(reason) {}

    bool open() {
        std::string text, error;
        if (!readWholeFile(m_path, text, error, std::numeric_limits<size_t>::max()))
            return refuse(m_reason, "Could not open file: %s\n", m_path.c_str());
        m_reader = TextReader(std::move(text), '#');
        return true;
    }

    int line() const { return m_reader.line(); }

    /// Upper bound on the tokens left: every token needs at least one character and one separator.
    size_t maxTokensLeft() const { return m_reader.remainingBytes() / 2 + 1; }

    bool fail(const std::string& what) const { return failAt(line(), what); }
    bool failAt(int line, const std::string& what) const {
        return refuse(m_reason, "loadTetMesh: %s (%s:%d)\n", what.c_str(), m_path.c_str(), line);
    }

    bool readInt(long long& value, const char* what) {
        std::string_view view;
        if (!m_reader.readToken(view)) return fail(std::string("file ends before ") + what);
        // The plain decimal a TetGen file holds, straight from the text; anything else (a sign
        // "+", an overflow, a malformed token) takes the checked path below with its message.
        const char* last = view.data() + view.size();
        long long quickValue = 0;
        if (const auto quick = std::from_chars(view.data(), last, quickValue);
            quick.ec == std::errc() && quick.ptr == last) {
            value = quickValue;
            return true;
        }
        const std::string t(view);
        errno = 0;
        char* end = nullptr;
        const long long v = std::strtoll(t.c_str(), &end, 10);
        if (end == t.c_str() || *end != '\0' || errno == ERANGE)
            return fail(std::string("expected an integer for ") + what + ", found '" + shownToken(t) + "'");
        value = v;
        return true;
    }

    bool readReal(double& value, const char* what) {
        std::string_view view;
        if (!m_reader.readToken(view)) return fail(std::string("file ends before ") + what);
        // Both readers round correctly, so a token from_chars takes whole gives strtod's value; the
        // others (a sign "+", hexadecimal, out of range) take strtod's path below.
        const char* last = view.data() + view.size();
        double quickValue = 0.0;
        if (const auto quick = std::from_chars(view.data(), last, quickValue, std::chars_format::general);
            quick.ec == std::errc() && quick.ptr == last && std::isfinite(quickValue) &&
            std::fabs(quickValue) <= kMaxCoordinate) {
            value = quickValue;
            return true;
        }
        const std::string t(view);
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (end == t.c_str() || *end != '\0')
            return fail(std::string("expected a number for ") + what + ", found '" + shownToken(t) + "'");
        if (!std::isfinite(v)) return fail(std::string("non-finite ") + what);
        if (std::fabs(v) > kMaxCoordinate) return fail(std::string(what) + " " + shownToken(t) + " is beyond +-1e60");
        value = v;
        return true;
    }

    /// TetGen writes one record per line, so a record that shares its line with the one before
    /// or runs on to the next line means the header's column counts do not fit the file (values
    /// read from the wrong columns would make a silently scrambled mesh). recordStarts is called
    /// after the record's first token, with the line where the previous record (or the header)
    /// ended; recordEnds after its last token, with the line of its first.
    bool recordStarts(int lastLine, const char* record) const {
        if (line() != lastLine) return true;
        return failAt(lastLine, std::string("a line holds more values than the header announces for one ") + record);
    }
    bool recordEnds(int firstLine, const char* record) const {
        if (line() == firstLine) return true;
        return failAt(firstLine, std::string("a line holds fewer values than the header announces for one ") + record);
    }
    /// After the last record: nothing more on its line (lines after it are not read).
    bool recordsEnd(int lastLine, const char* record) {
        std::string_view t;
        if (!m_reader.readToken(t) || line() != lastLine) return true;
        return failAt(lastLine, std::string("a line holds more values than the header announces for one ") + record);
    }

    bool skip(long long count, const char* what) {
        std::string_view t;
        for (long long i = 0; i < count; ++i)
            if (!m_reader.readToken(t)) return fail(std::string("file ends before ") + what);
        return true;
    }

   private:
    std::string m_path;
    std::string* m_reason;
    TextReader m_reader{std::string(), '#'};
};

bool checkCount(const TetGenTokens& f, long long count, long long tokensPerRecord, const char* what) {
    if (count < 0) return f.fail(std::string("negative ") + what + " count");
    if (count > kMaxTetMeshCount ||
        static_cast<unsigned long long>(count) * static_cast<unsigned long long>(tokensPerRecord) > f.maxTokensLeft())
        return f.fail(std::string(what) + " count exceeds what the file holds");
    return true;
}

bool readNodes(const std::string& path, std::vector<vec3>& verts, std::string* reason) {
    TetGenTokens f(path, reason);
    if (!f.open()) return false;
    long long n = 0, dim = 0, attributes = 0, markers = 0;
    if (!f.readInt(n, "vertex count") || !f.readInt(dim, "dimension") || !f.readInt(attributes, "attribute count") ||
        !f.readInt(markers, "boundary-marker flag"))
        return false;
    if (attributes < 0 || attributes > 1000) return f.fail("attribute count out of range");
    if (markers != 0 && markers != 1) return f.fail("boundary-marker flag must be 0 or 1");
    const long long extra = attributes + markers;
    if (!checkCount(f, n, 4 + extra, "vertex")) return false;
    verts.assign(static_cast<size_t>(n), vec3());
    int lastLine = f.line();
    for (long long i = 0; i < n; ++i) {
        long long number = 0;
        if (!f.readInt(number, "vertex number") || !f.recordStarts(lastLine, "vertex")) return false;
        const int firstLine = f.line();
        if (!f.readReal(verts[i].x, "x coordinate") || !f.readReal(verts[i].y, "y coordinate") ||
            !f.readReal(verts[i].z, "z coordinate") || !f.skip(extra, "vertex attributes") ||
            !f.recordEnds(firstLine, "vertex"))
            return false;
        lastLine = firstLine;
    }
    if (n > 0 && !f.recordsEnd(lastLine, "vertex")) return false;
    double extent = 0.0;
    if (!verts.empty()) {
        vec3 lo = verts[0], hi = verts[0];
        for (const vec3& p : verts)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    }
    // All vertices at one point is allowed (the model is then only centred); a span that cannot be
    // scaled up is not.
    if (extent > 0.0 && extent < kMinExtent)
        return refuse(reason,
                      "loadTetMesh: the vertices span only %g, less than the 1e-60 a mesh needs to be scaled (%s)\n",
                      extent, path.c_str());
    return true;
}

bool readElements(const std::string& path, long long vertexCount, std::vector<Tetra>& tets, std::string* reason) {
    TetGenTokens f(path, reason);
    if (!f.open()) return false;
    long long m = 0, nodesPerTet = 0, attributes = 0;
    if (!f.readInt(m, "tetrahedron count") || !f.readInt(nodesPerTet, "nodes per tetrahedron") ||
        !f.readInt(attributes, "attribute count"))
        return false;
    // The plain layout writes 0 here; TetGen writes 4 or 10 (second-order elements list extra nodes).
    if (nodesPerTet == 0) nodesPerTet = 4;
    if (nodesPerTet != 4 && nodesPerTet != 10) return f.fail("nodes per tetrahedron must be 4 or 10");
    if (attributes < 0 || attributes > 1000) return f.fail("attribute count out of range");
    if (!checkCount(f, m, 1 + nodesPerTet + attributes, "tetrahedron")) return false;
    tets.assign(static_cast<size_t>(m), Tetra());
    std::vector<int> lines(static_cast<size_t>(m), 0);
    long long minIndex = 0, maxIndex = -1;
    int lastLine = f.line();
    for (long long j = 0; j < m; ++j) {
        long long number = 0;
        if (!f.readInt(number, "tetrahedron number") || !f.recordStarts(lastLine, "tetrahedron")) return false;
        lines[j] = f.line();
        for (int k = 0; k < 4; ++k) {
            long long c = 0;
            if (!f.readInt(c, "corner index")) return false;
            if (c < -1 || c > 0x7fffffffLL)
                return refuse(reason, "loadTetMesh: corner index %lld out of range (%s:%d)\n", c, path.c_str(),
                              f.line());
            tets[j].vIdx[k] = static_cast<int>(c);
            if (j == 0 && k == 0) minIndex = maxIndex = c;
            minIndex = std::min(minIndex, c);
            maxIndex = std::max(maxIndex, c);
        }
        if (!f.skip(nodesPerTet - 4 + attributes, "tetrahedron attributes") || !f.recordEnds(lines[j], "tetrahedron"))
            return false;
        lastLine = lines[j];
    }
    if (m > 0 && !f.recordsEnd(lastLine, "tetrahedron")) return false;
    if (m == 0 || (minIndex >= 0 && maxIndex < vertexCount)) return true;

    // TetGen numbers from 1 unless told otherwise: a file that cannot be 0-based but fits 1..n is read so.
    if (maxIndex == vertexCount && minIndex >= 1) {
        for (Tetra& t : tets)
            for (int& c : t.vIdx) --c;
        diagPrintf("loadTetMesh: %s numbers its corners from 1; read as 1-based\n", path.c_str());
        return true;
    }
    for (long long j = 0; j < m; ++j)
        for (int c : tets[j].vIdx)
            if (c < 0 || c >= vertexCount)
                return refuse(reason, "loadTetMesh: corner index %d out of range (%s:%d)\n", c, path.c_str(), lines[j]);
    return false;
}

}  // namespace

bool loadTetMesh(TTetMesh& mesh, const std::string& basePath, std::string* reason) {
    diagPrintf("load tetMesh filepath = %s \n", basePath.c_str());
    mesh.m_verts.clear();
    mesh.m_tets.clear();
    if (reason) reason->clear();
    std::vector<vec3> verts;
    std::vector<Tetra> tets;
    if (!readNodes(basePath + ".node", verts, reason)) return false;
    if (!readElements(basePath + ".ele", static_cast<long long>(verts.size()), tets, reason)) return false;
    mesh.m_verts = std::move(verts);
    mesh.m_tets = std::move(tets);
    return true;
}

bool loadTetNodes(const std::string& nodePath, std::vector<vec3>& positions, std::string* reason) {
    positions.clear();
    if (reason) reason->clear();
    if (readNodes(nodePath, positions, reason)) return true;
    positions.clear();
    return false;
}
