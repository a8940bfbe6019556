// VtkContentCheck: the structure of a legacy VTK file of any version up to 5.1, ascii or binary
// (big-endian): the header, POINTS, the cells of an UNSTRUCTURED_GRID or POLYDATA dataset with
// every index inside the points (version 5: offsets and connectivity), and the point and cell
// attributes after them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "meshimport/ContentScan.h"

namespace meshcheck {

namespace {

/// Bytes per value of a binary attribute type; 0 for "bit" (packed), -1 for an unknown type.
/// VTK writes vtkIdType values as 32-bit integers.
int bytesOfType(std::string_view type) {
    if (type == "bit") return 0;
    if (type == "unsigned_char" || type == "char" || type == "signed_char") return 1;
    if (type == "unsigned_short" || type == "short") return 2;
    if (type == "unsigned_int" || type == "int" || type == "float" || type == "vtkIdType") return 4;
    if (type == "unsigned_long" || type == "long" || type == "double" || type == "vtktypeint64" ||
        type == "vtktypeuint64")
        return 8;
    return -1;
}

class VtkCheck {
   public:
    explicit VtkCheck(ContentScan& scan) : m_scan(scan) {}
    bool run();

   private:
    bool header();
    bool keywordLine(std::string_view& line, bool required, const char* expected);
    bool points(std::string_view line);
    bool cells(std::string_view line, uint64_t& count);
    bool cellsVersion5(std::string_view line, uint64_t& count);
    bool indexArrayHeader(const char* keyword, int& bytes);
    bool cellTypes(std::string_view line, uint64_t count);
    bool attributes();
    bool values(uint64_t count, std::string_view type, const char* what);
    bool integer(uint64_t& value, const char* what, int bytes = 4);
    void skipMetadata();
    void optionalMetadata();

    ContentScan& m_scan;
    bool m_binary = false;
    bool m_grid = false;
    bool m_version5 = false;  ///< cells as offsets and connectivity
    uint64_t m_points = 0;
    uint64_t m_cells = 0;
};

/// The legacy header: version line, title (at most 255 characters, the readers' line buffer),
/// ASCII or BINARY, the DATASET line.
bool VtkCheck::header() {
    const std::string tag = "# vtk DataFile Version ";
    std::string_view line;
    m_scan.readLine(line);
    if (line.compare(0, tag.size(), tag) != 0 || line.size() == tag.size())
        return m_scan.failPlain("is not a legacy VTK file (no '# vtk DataFile Version' line)");
    std::string_view version = line.substr(tag.size());
    while (!version.empty() && version.back() == ' ') version.remove_suffix(1);
    if (!isNumber(version) || version[0] < '0' || version[0] > '9')
        return m_scan.fail("version " + m_scan.shown(version) + " is not a number");
    // Version 5 (VTK 9 and meshio write 5.1) stores cells as offsets and connectivity; a later
    // layout is unknown to the reader.
    const size_t majorDigits = std::min(version.find_first_not_of("0123456789"), version.size());
    if (majorDigits > 1 || version[0] > '5')
        return m_scan.failPlain("is legacy VTK version " + m_scan.plain(version) +
                                ", which cannot be imported; write it as version 5.1 or older");
    m_version5 = version[0] == '5';
    if (!m_scan.readLine(line)) return m_scan.fail("the file ends after its version line");
    if (line.size() > 255) return m_scan.fail("the title line is longer than 255 characters");
    if (!m_scan.readLine(line)) return m_scan.fail("the file ends after its title line");
    LineTokens tokens(line);
    std::string_view format, extra;
    if (!tokens.next(format) || (format != "ASCII" && format != "BINARY") || tokens.next(extra))
        return m_scan.fail("expected ASCII or BINARY, found " + m_scan.shown(line));
    m_binary = format == "BINARY";
    if (!keywordLine(line, true, "DATASET")) return false;
    LineTokens dataset(line);
    std::string_view keyword, kind;
    dataset.next(keyword);
    if (keyword != "DATASET" || !dataset.next(kind) || dataset.next(extra))
        return m_scan.fail("expected 'DATASET UNSTRUCTURED_GRID', found " + m_scan.shown(line));
    if (kind != "UNSTRUCTURED_GRID" && kind != "POLYDATA")
        return m_scan.failPlain("holds a " + m_scan.plain(kind) +
                                " dataset; only UNSTRUCTURED_GRID and POLYDATA can be imported");
    m_grid = kind == "UNSTRUCTURED_GRID";
    return true;
}

/// The next line that is not blank, which holds a keyword and its parameters; binary data
/// begins right after its line end.
bool VtkCheck::keywordLine(std::string_view& line, bool required, const char* expected) {
    if (m_scan.readNonBlankLine(line)) return true;
    if (!required) return false;
    return m_scan.fail(std::string("the file ends before ") + expected);
}

/// One non-negative integer: a token (ascii) or a big-endian signed integer of the given size.
bool VtkCheck::integer(uint64_t& value, const char* what, int bytes) {
    if (m_binary) {
        const char* p = nullptr;
        if (!m_scan.readBytes(static_cast<size_t>(bytes), p))
            return m_scan.failAtByte(std::string("the file ends inside the ") + what);
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        uint64_t bits = 0;
        for (int k = 0; k < bytes; ++k) bits = bits << 8 | b[k];
        if (bits >> (8 * bytes - 1) & 1) return m_scan.failAtByte(std::string("a negative number in the ") + what);
        value = bits;
        return true;
    }
    std::string_view token;
    if (!m_scan.readToken(token)) return m_scan.fail(std::string("the file ends inside the ") + what);
    if (!parseCount(token, value))
        return m_scan.fail(std::string("expected an index or count in the ") + what + ", found " + m_scan.shown(token));
    return true;
}

/// A METADATA block: its lines up to a blank one.
void VtkCheck::skipMetadata() {
    std::string_view line;
    while (m_scan.readLine(line) && line.find_first_not_of(" \t") != std::string_view::npos) {
    }
}

/// A METADATA block, if one follows (VTK writes them after arrays with information keys, such as
/// the points' L2_NORM_RANGE).
void VtkCheck::optionalMetadata() {
    const size_t mark = m_scan.pos();
    std::string_view next;
    if (keywordLine(next, false, "") && next.substr(0, 8) == "METADATA")
        skipMetadata();
    else
        m_scan.seek(mark);
}

/// count values of the type: number tokens (ascii) or count times the type's size in bytes.
bool VtkCheck::values(uint64_t count, std::string_view type, const char* what) {
    if (!m_binary) {
        if (count > m_scan.remaining() / 2)
            return m_scan.fail("it declares " + m_scan.number(count) + " " + what + ", more than the file can hold");
        return m_scan.numberTokens(count, what);
    }
    const int size = bytesOfType(type);
    if (size < 0) return m_scan.fail("unknown data type " + m_scan.shown(type));
    const uint64_t bytes = size == 0 ? (count + 7) / 8 : (count <= m_scan.remaining() / size ? count * size : ~0ull);
    const char* p = nullptr;
    if (bytes > m_scan.remaining() || !m_scan.readBytes(static_cast<size_t>(bytes), p))
        return m_scan.fail("it declares " + m_scan.number(count) + " " + what + ", more than the file can hold");
    return true;
}

/// "POINTS n float|double", then 3 n coordinates (binary ones finite).
bool VtkCheck::points(std::string_view line) {
    LineTokens tokens(line);
    std::string_view keyword, count, type, extra;
    tokens.next(keyword);
    if (keyword != "POINTS" || !tokens.next(count) || !tokens.next(type) || tokens.next(extra) ||
        !parseCount(count, m_points))
        return m_scan.fail("expected 'POINTS n double', found " + m_scan.shown(line));
    if (type != "float" && type != "double")
        return m_scan.fail("POINTS of type " + m_scan.shown(type) + "; float or double can be imported");
    if (m_points == 0) return m_scan.fail("POINTS declares no points");
    const uint64_t size = type == "float" ? 4 : 8;
    if (m_points > m_scan.remaining() / (m_binary ? 3 * size : 6))
        return m_scan.fail("POINTS declares " + m_scan.number(m_points) + " points, more than the file can hold");
    if (!m_binary) return values(3 * m_points, type, "point coordinates");
    for (uint64_t i = 0; i < 3 * m_points; ++i) {
        const char* p = nullptr;
        m_scan.readBytes(size, p);
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        uint64_t bits = 0;
        for (uint64_t k = 0; k < size; ++k) bits = bits << 8 | b[k];
        double value;
        if (size == 4) {
            const uint32_t narrow = static_cast<uint32_t>(bits);
            float f;
            std::memcpy(&f, &narrow, sizeof f);
            value = f;
        } else {
            std::memcpy(&value, &bits, sizeof value);
        }
        if (!std::isfinite(value))
            return m_scan.failAtByte("point " + m_scan.number(i / 3) + " has a coordinate that is not a finite number");
    }
    return true;
}

/// "CELLS|POLYGONS|... n size", then n cells "k i1 .. ik" with every index below the point
/// count, size integers in all.
bool VtkCheck::cells(std::string_view line, uint64_t& count) {
    if (m_version5) return cellsVersion5(line, count);
    LineTokens tokens(line);
    std::string_view keyword, countToken, sizeToken, extra;
    uint64_t size = 0;
    tokens.next(keyword);
    if (!tokens.next(countToken) || !tokens.next(sizeToken) || tokens.next(extra) || !parseCount(countToken, count) ||
        !parseCount(sizeToken, size))
        return m_scan.fail("expected '" + m_scan.plain(keyword) + " n size', found " + m_scan.shown(line));
    if (size > m_scan.remaining() / (m_binary ? 4 : 2) || count > size)
        return m_scan.fail(m_scan.plain(keyword) + " declares " + m_scan.number(count) + " cells of " +
                           m_scan.number(size) + " integers, more than the file can hold");
    uint64_t used = 0;
    for (uint64_t c = 0; c < count; ++c) {
        uint64_t corners = 0, index = 0;
        if (!integer(corners, "cells")) return false;
        if (corners >= size - used)
            return m_scan.fail("the cells hold more than the " + m_scan.number(size) + " integers declared");
        used += 1 + corners;
        for (uint64_t k = 0; k < corners; ++k) {
            if (!integer(index, "cells")) return false;
            if (index >= m_points)
                return m_scan.fail("cell " + m_scan.number(c) + " names point " + m_scan.number(index) + " of " +
                                   m_scan.number(m_points));
        }
    }
    if (used != size)
        return m_scan.fail("the cells hold " + m_scan.number(used) + " integers, not the " + m_scan.number(size) +
                           " declared");
    return true;
}

/// "OFFSETS|CONNECTIVITY vtktypeint64|vtktypeint32": the line before a version 5 index array.
bool VtkCheck::indexArrayHeader(const char* keyword, int& bytes) {
    std::string_view line, word, type, extra;
    if (!keywordLine(line, true, keyword)) return false;
    LineTokens tokens(line);
    if (!tokens.next(word) || word != keyword || !tokens.next(type) || tokens.next(extra))
        return m_scan.fail(std::string("expected '") + keyword + " vtktypeint64', found " + m_scan.shown(line));
    if (type == "vtktypeint64")
        bytes = 8;
    else if (type == "vtktypeint32")
        bytes = 4;
    else
        return m_scan.fail(std::string(keyword) + " of type " + m_scan.shown(type) +
                           "; vtktypeint64 or vtktypeint32 can be read");
    return true;
}

/// Version 5: "CELLS|POLYGONS|... offsets size", then "OFFSETS type" with the offsets (0 first,
/// never decreasing, size last) and "CONNECTIVITY type" with size indices, each below the point
/// count; offsets - 1 cells.
bool VtkCheck::cellsVersion5(std::string_view line, uint64_t& count) {
    LineTokens tokens(line);
    std::string_view keyword, offsetToken, sizeToken, extra;
    uint64_t offsets = 0, size = 0;
    tokens.next(keyword);
    if (!tokens.next(offsetToken) || !tokens.next(sizeToken) || tokens.next(extra) ||
        !parseCount(offsetToken, offsets) || !parseCount(sizeToken, size))
        return m_scan.fail("expected '" + m_scan.plain(keyword) + " offsets size', found " + m_scan.shown(line));
    int bytes = 0;
    if (!indexArrayHeader("OFFSETS", bytes)) return false;
    const uint64_t least = m_binary ? static_cast<uint64_t>(bytes) : 2;
    if (offsets > m_scan.remaining() / least || size > m_scan.remaining() / least)
        return m_scan.fail(m_scan.plain(keyword) + " declares " + m_scan.number(offsets) + " offsets and " +
                           m_scan.number(size) + " indices, more than the file can hold");
    if (offsets == 0 && size != 0) return m_scan.fail(m_scan.plain(keyword) + " declares indices without offsets");
    uint64_t previous = 0;
    for (uint64_t i = 0; i < offsets; ++i) {
        uint64_t offset = 0;
        if (!integer(offset, "offsets", bytes)) return false;
        if ((i == 0 && offset != 0) || offset < previous || offset > size)
            return m_scan.fail("offset " + m_scan.number(i) + " is " + m_scan.number(offset) +
                               "; offsets must rise from 0 to the " + m_scan.number(size) + " indices declared");
        previous = offset;
    }
    optionalMetadata();
    if (previous != size)
        return m_scan.fail("the offsets end at " + m_scan.number(previous) + ", not at the " + m_scan.number(size) +
                           " indices declared");
    if (!indexArrayHeader("CONNECTIVITY", bytes)) return false;
    for (uint64_t i = 0; i < size; ++i) {
        uint64_t index = 0;
        if (!integer(index, "connectivity", bytes)) return false;
        if (index >= m_points)
            return m_scan.fail("connectivity entry " + m_scan.number(i) + " names point " + m_scan.number(index) +
                               " of " + m_scan.number(m_points));
    }
    optionalMetadata();
    count = offsets == 0 ? 0 : offsets - 1;
    return true;
}

bool VtkCheck::cellTypes(std::string_view line, uint64_t count) {
    LineTokens tokens(line);
    std::string_view keyword, countToken, extra;
    uint64_t types = 0;
    tokens.next(keyword);
    if (keyword != "CELL_TYPES" || !tokens.next(countToken) || tokens.next(extra) || !parseCount(countToken, types))
        return m_scan.fail("expected 'CELL_TYPES n', found " + m_scan.shown(line));
    if (types != count)
        return m_scan.fail("CELL_TYPES declares " + m_scan.number(types) + " types for " + m_scan.number(count) +
                           " cells");
    for (uint64_t i = 0; i < types; ++i) {
        uint64_t type = 0;
        if (!integer(type, "cell types")) return false;
    }
    return true;
}

/// POINT_DATA and CELL_DATA with their arrays (SCALARS with an optional LOOKUP_TABLE line,
/// VECTORS, NORMALS, TENSORS, TEXTURE_COORDINATES, COLOR_SCALARS, LOOKUP_TABLE, FIELD) and
/// METADATA blocks, which end at a blank line.
bool VtkCheck::attributes() {
    uint64_t entries = 0;
    bool inData = false;
    std::string_view line;
    while (keywordLine(line, false, "")) {
        LineTokens tokens(line);
        std::string_view keyword, a, b, c, d, extra;
        tokens.next(keyword);
        const bool hasA = tokens.next(a), hasB = hasA && tokens.next(b), hasC = hasB && tokens.next(c);
        const bool hasD = hasC && tokens.next(d), hasExtra = hasD && tokens.next(extra);
        uint64_t n = 0, components = 1;
        const std::string shownLine = m_scan.shown(line);
        if (keyword == "POINT_DATA" || keyword == "CELL_DATA") {
            const uint64_t expected = keyword == "POINT_DATA" ? m_points : m_cells;
            if (!hasA || hasB || !parseCount(a, n) || n != expected)
                return m_scan.fail(m_scan.plain(keyword) + " must give the " + m_scan.number(expected) +
                                   (keyword == "POINT_DATA" ? " points" : " cells") + ", found " + shownLine);
            entries = n;
            inData = true;
            continue;
        }
        if (keyword == "METADATA") {
            skipMetadata();
            continue;
        }
        if (keyword == "LOOKUP_TABLE") {
            if (!hasB || hasC || !parseCount(b, n))
                return m_scan.fail("expected 'LOOKUP_TABLE name size', found " + shownLine);
            if (!values(4 * std::min<uint64_t>(n, uint64_t(1) << 60), m_binary ? "unsigned_char" : "float",
                        "lookup table"))
                return false;
            continue;
        }
        if (keyword == "FIELD") {
            uint64_t arrays = 0;
            if (!hasB || hasC || !parseCount(b, arrays))
                return m_scan.fail("expected 'FIELD name n', found " + shownLine);
            for (uint64_t i = 0; i < arrays; ++i) {
                std::string_view arrayLine, name, comps, tuples, type, more;
                if (!keywordLine(arrayLine, true, "a FIELD array")) return false;
                LineTokens array(arrayLine);
                uint64_t tupleCount = 0;
                if (!array.next(name) || !array.next(comps) || !array.next(tuples) || !array.next(type) ||
                    array.next(more) || !parseCount(comps, components) || !parseCount(tuples, tupleCount) ||
                    components == 0 || components > m_scan.remaining())
                    return m_scan.fail("expected 'name components tuples type', found " + m_scan.shown(arrayLine));
                if (tupleCount > m_scan.remaining() / components)
                    return m_scan.fail("a FIELD array declares " + m_scan.number(tupleCount) +
                                       " tuples, more than the file can hold");
                if (!values(components * tupleCount, type, "field values")) return false;
                optionalMetadata();
            }
            continue;
        }
        if (!inData) return m_scan.fail("expected POINT_DATA or CELL_DATA, found " + shownLine);
        std::string_view type = b;
        bool valid = hasB;
        if (keyword == "SCALARS") {
            valid = hasB && !hasD && (!hasC || (parseCount(c, components) && components >= 1 && components <= 4));
            // The lookup table line is optional here.
            const size_t mark = m_scan.pos();
            std::string_view next, first, name, more;
            bool lookupTable = false;
            if (keywordLine(next, false, "")) {
                LineTokens nextTokens(next);
                lookupTable = nextTokens.next(first) && first == "LOOKUP_TABLE" && nextTokens.next(name) &&
                              !nextTokens.next(more);
            }
            if (!lookupTable) m_scan.seek(mark);
        } else if (keyword == "VECTORS" || keyword == "NORMALS") {
            valid = hasB && !hasC;
            components = 3;
        } else if (keyword == "TENSORS" || keyword == "TENSORS6") {
            valid = hasB && !hasC;
            components = keyword == "TENSORS" ? 9 : 6;
        } else if (keyword == "TEXTURE_COORDINATES") {
            valid = hasC && !hasD && parseCount(b, components) && components >= 1 && components <= 3;
            type = c;
        } else if (keyword == "COLOR_SCALARS") {
            valid = hasB && !hasC && parseCount(b, components) && components >= 1 && components <= 4;
            type = m_binary ? "unsigned_char" : "float";
        } else {
            return m_scan.fail("unexpected " + shownLine);
        }
        if (!valid || hasExtra) return m_scan.fail("malformed " + shownLine);
        if (!values(entries * components, type, "attribute values")) return false;
    }
    return true;
}

bool VtkCheck::run() {
    if (!header()) return false;
    std::string_view line;
    if (!keywordLine(line, true, "POINTS")) return false;
    if (line.compare(0, 6, "POINTS") != 0) return m_scan.fail("expected POINTS, found " + m_scan.shown(line));
    if (!points(line)) return false;
    optionalMetadata();
    size_t mark = m_scan.pos();
    if (!keywordLine(line, true, "the cells")) return false;
    LineTokens tokens(line);
    std::string_view keyword;
    tokens.next(keyword);
    if (m_grid) {
        if (keyword != "CELLS") return m_scan.fail("expected CELLS, found " + m_scan.shown(line));
        if (!cells(line, m_cells)) return false;
        if (!keywordLine(line, true, "CELL_TYPES") || !cellTypes(line, m_cells)) return false;
        return attributes();
    }
    // POLYDATA: blocks of vertices, lines, polygons and strips, in any order.
    bool any = false;
    for (;;) {
        LineTokens blockTokens(line);
        blockTokens.next(keyword);
        if (keyword != "VERTICES" && keyword != "LINES" && keyword != "POLYGONS" && keyword != "TRIANGLE_STRIPS") break;
        uint64_t count = 0;
        if (!cells(line, count)) return false;
        m_cells += count;
        any = true;
        mark = m_scan.pos();
        if (!keywordLine(line, false, "")) return true;
    }
    if (!any) return m_scan.fail("expected POLYGONS, found " + m_scan.shown(line));
    m_scan.seek(mark);
    return attributes();
}

}  // namespace

bool checkVtkContent(ContentScan& scan) { return VtkCheck(scan).run(); }

}  // namespace meshcheck
