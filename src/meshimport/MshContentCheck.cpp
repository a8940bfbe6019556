// MshContentCheck: the structure of a gmsh .msh file, versions 2.x, 4.0 and 4.1, ascii and binary.
// The node and element sections are walked entry by entry wherever their layout is known; where
// it is not (binary elements of a type without a fixed node count, binary version 4.0), the
// counts are bounded by the section's length.
#include <cstring>
#include <string_view>

#include "meshimport/ContentScan.h"

namespace meshcheck {

namespace {

enum class MshLayout { V2, V40, V41 };

// Version 2 is read with 32-bit signed integers.
constexpr uint64_t kMaxIntTag = 0x7fffffff;

/// Nodes of the element types of the gmsh format's documented table; 0 for others.
uint64_t nodesOfElementType(uint64_t type) {
    static const int kNodes[] = {0, 2,  3,  4,  4, 8,  6,  5,  3,  6,  9, 10, 27, 18, 14, 1,
                                 8, 20, 15, 13, 9, 10, 12, 15, 15, 21, 4, 5,  6,  20, 35, 56};
    if (type < sizeof kNodes / sizeof kNodes[0]) return static_cast<uint64_t>(kNodes[type]);
    if (type == 92) return 64;
    if (type == 93) return 125;
    return 0;
}

class MshCheck {
   public:
    explicit MshCheck(ContentScan& scan) : m_scan(scan) {}
    bool run();

   private:
    bool header();
    bool section(std::string_view name);
    bool expectEnd(std::string_view name);
    bool skipToEnd(std::string_view name, size_t& end);

    bool countToken(const char* what, uint64_t& value);
    bool restOfLineBlank();
    bool fits(uint64_t count, uint64_t minBytes, const std::string& what, size_t available);

    bool binaryInt(uint64_t& value);   // 4 bytes
    bool binarySize(uint64_t& value);  // 8 bytes
    bool skipBinary(uint64_t count, uint64_t bytesEach, const char* what);

    bool asciiNodes();
    bool asciiElements();
    bool binaryNodes();
    bool binaryElements();
    /// Bounds count entries of at least minBytes each by the section's length and moves past its
    /// end line: for content whose layout is not walked.
    bool boundedBySection(std::string_view name, uint64_t count, uint64_t minBytes, const char* what);
    bool dataSection(std::string_view name);
    bool physicalNames();
    bool entities();

    ContentScan& m_scan;
    MshLayout m_layout = MshLayout::V2;
    bool m_binary = false;
    bool m_bigEndian = false;
};

bool MshCheck::countToken(const char* what, uint64_t& value) {
    std::string_view token;
    if (!m_scan.readToken(token)) return m_scan.fail(std::string("the file ends before the ") + what);
    if (!parseCount(token, value))
        return m_scan.fail(std::string("expected the ") + what + ", found " + m_scan.shown(token));
    return true;
}

bool MshCheck::restOfLineBlank() {
    std::string_view line, token;
    m_scan.readLine(line);
    LineTokens tokens(line);
    if (tokens.next(token)) return m_scan.fail("unexpected " + m_scan.shown(token));
    return true;
}

bool MshCheck::fits(uint64_t count, uint64_t minBytes, const std::string& what, size_t available) {
    if (minBytes == 0 || count <= available / minBytes) return true;
    return m_scan.fail("it declares " + m_scan.number(count) + " " + what + ", more than the file can hold");
}

bool MshCheck::binaryInt(uint64_t& value) {
    const char* p = nullptr;
    if (!m_scan.readBytes(4, p)) return m_scan.failAtByte("the file ends inside binary data");
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    const uint32_t v = m_bigEndian ? uint32_t(b[3]) | uint32_t(b[2]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[0]) << 24
                                   : uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    value = v;
    return true;
}

bool MshCheck::binarySize(uint64_t& value) {
    const char* p = nullptr;
    if (!m_scan.readBytes(8, p)) return m_scan.failAtByte("the file ends inside binary data");
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    value = 0;
    for (int k = 0; k < 8; ++k) value |= uint64_t(b[m_bigEndian ? 7 - k : k]) << (8 * k);
    return true;
}

bool MshCheck::skipBinary(uint64_t count, uint64_t bytesEach, const char* what) {
    if (bytesEach > 0 && count > m_scan.remaining() / bytesEach)
        return m_scan.failAtByte("it declares " + m_scan.number(count) + " " + what + ", more than the file can hold");
    const char* p = nullptr;
    m_scan.readBytes(static_cast<size_t>(count * bytesEach), p);
    return true;
}

/// "$MeshFormat" on the first line (the reader recognises the file by that line alone), the
/// version, file type and data size, the binary endianness mark, "$EndMeshFormat".
bool MshCheck::header() {
    std::string_view line, token;
    m_scan.readLine(line);
    if (line != "$MeshFormat") return m_scan.failPlain("is not a gmsh mesh file (no $MeshFormat section)");
    if (!m_scan.readLine(line)) return m_scan.fail("the file ends inside $MeshFormat");
    LineTokens tokens(line);
    std::string_view version, fileType, dataSize;
    if (!tokens.next(version) || !tokens.next(fileType) || !tokens.next(dataSize) || tokens.next(token))
        return m_scan.fail("expected 'version file-type data-size', found " + m_scan.shown(line));
    if (!isNumber(version) || (version[0] != '2' && version[0] != '4') || (version.size() > 1 && version[1] != '.'))
        return m_scan.failPlain("is gmsh mesh format version " + m_scan.plain(version) +
                                "; versions 2 and 4 can be imported");
    if (version[0] == '2')
        m_layout = MshLayout::V2;
    else
        m_layout = version == "4" || version.substr(0, 3) == "4.0" ? MshLayout::V40 : MshLayout::V41;
    if (fileType != "0" && fileType != "1")
        return m_scan.fail("file type " + m_scan.shown(fileType) + "; 0 (ascii) or 1 (binary) expected");
    if (dataSize != "8") return m_scan.fail("data size " + m_scan.shown(dataSize) + "; 8 expected");
    m_binary = fileType == "1";
    if (m_binary) {
        const char* one = nullptr;
        if (!m_scan.readBytes(4, one)) return m_scan.failAtByte("the file ends inside $MeshFormat");
        if (std::memcmp(one, "\1\0\0\0", 4) == 0)
            m_bigEndian = false;
        else if (std::memcmp(one, "\0\0\0\1", 4) == 0)
            m_bigEndian = true;
        else
            return m_scan.failAtByte("the binary mark after the version is not the integer 1");
    }
    return expectEnd("MeshFormat");
}

bool MshCheck::expectEnd(std::string_view name) {
    std::string_view line, token;
    if (!m_scan.readNonBlankLine(line)) return m_scan.fail("the file ends before $End" + m_scan.plain(name));
    LineTokens tokens(line);
    tokens.next(token);
    if (token.substr(0, 4) != "$End" || token.substr(4) != name || tokens.next(token))
        return m_scan.fail("expected $End" + m_scan.plain(name) + ", found " + m_scan.shown(line));
    return true;
}

/// Finds the "$EndNAME" line of a section whose content is not walked; end is where it starts.
bool MshCheck::skipToEnd(std::string_view name, size_t& end) {
    const std::string marker = "$End" + std::string(name);
    const std::string_view data(m_scan.data(), m_scan.size());
    for (size_t at = data.find(marker, m_scan.pos()); at != std::string_view::npos; at = data.find(marker, at + 1)) {
        const size_t after = at + marker.size();
        const bool lineStart = at == m_scan.pos() || data[at - 1] == '\n';
        const bool lineEnd = after == data.size() || data[after] == '\n' || data[after] == '\r' || data[after] == ' ';
        if (lineStart && lineEnd) {
            end = at;
            return true;
        }
    }
    return m_scan.fail("section $" + m_scan.plain(name) + " has no $End" + m_scan.plain(name) + " line");
}

bool MshCheck::boundedBySection(std::string_view name, uint64_t count, uint64_t minBytes, const char* what) {
    size_t end = 0;
    if (!skipToEnd(name, end)) return false;
    if (!fits(count, minBytes, what, end - m_scan.pos())) return false;
    m_scan.seek(end);
    return expectEnd(name);
}

bool MshCheck::asciiNodes() {
    uint64_t blocks = 1, total = 0, seen = 0, tag = 0;
    if (m_layout != MshLayout::V2 && !countToken("number of node blocks", blocks)) return false;
    if (!countToken("number of nodes", total)) return false;
    if (m_layout == MshLayout::V41 && (!countToken("smallest node tag", tag) || !countToken("largest node tag", tag)))
        return false;
    if (!fits(total, 8, "nodes", m_scan.remaining()) || !fits(blocks, 8, "node blocks", m_scan.remaining()))
        return false;
    for (uint64_t b = 0; b < blocks; ++b) {
        uint64_t dim = 0, parametric = 0, count = total;
        if (m_layout != MshLayout::V2) {
            std::string_view entity;
            if (m_layout == MshLayout::V40 && !m_scan.readToken(entity)) return m_scan.fail("the file ends in $Nodes");
            if (!countToken("entity dimension", dim)) return false;
            if (m_layout == MshLayout::V41 && !m_scan.readToken(entity)) return m_scan.fail("the file ends in $Nodes");
            if (!isInteger(entity)) return m_scan.fail("expected an entity tag, found " + m_scan.shown(entity));
            if (!countToken("parametric flag", parametric) || !countToken("number of nodes in the block", count))
                return false;
            if (dim > 3 || parametric > 1)
                return m_scan.fail("a node block has dimension or parametric flag out of range");
        }
        if (count > total - seen)
            return m_scan.fail("node blocks hold more than the " + m_scan.number(total) + " nodes declared");
        seen += count;
        const uint64_t coordinates = 3 + (parametric ? dim : 0);
        if (m_layout == MshLayout::V41) {
            // The block's tags, then its coordinates.
            for (uint64_t i = 0; i < count; ++i)
                if (!countToken("node tag", tag)) return false;
            if (!m_scan.numberTokens(count * coordinates, "node coordinates")) return false;
        } else {
            for (uint64_t i = 0; i < count; ++i)
                if (!countToken("node tag", tag) || !m_scan.numberTokens(coordinates, "node coordinates")) return false;
            if (m_layout == MshLayout::V2 && tag > kMaxIntTag)
                return m_scan.fail("node tag " + m_scan.number(tag) + " is beyond the 32-bit tags of version 2");
        }
    }
    if (seen != total)
        return m_scan.fail("node blocks hold " + m_scan.number(seen) + " nodes, not the " + m_scan.number(total) +
                           " declared");
    return expectEnd("Nodes");
}

/// Elements one per line, integers only: "tag type tag-count tags... nodes..." (version 2) or
/// "tag nodes..." after a block line "entity-dim entity-tag type count" (version 4.1; 4.0 has the
/// entity tag first).
bool MshCheck::asciiElements() {
    uint64_t blocks = 1, total = 0, seen = 0, tag = 0;
    if (m_layout != MshLayout::V2 && !countToken("number of element blocks", blocks)) return false;
    if (!countToken("number of elements", total)) return false;
    if (m_layout == MshLayout::V41 &&
        (!countToken("smallest element tag", tag) || !countToken("largest element tag", tag)))
        return false;
    if (!restOfLineBlank()) return false;
    if (!fits(total, 4, "elements", m_scan.remaining()) || !fits(blocks, 8, "element blocks", m_scan.remaining()))
        return false;
    std::string_view line, token;
    for (uint64_t b = 0; b < blocks; ++b) {
        uint64_t count = total, type = 0, value = 0;
        if (m_layout != MshLayout::V2) {
            if (!countToken("entity tag or dimension", value) || !countToken("entity tag or dimension", value) ||
                !countToken("element type", type) || !countToken("number of elements in the block", count) ||
                !restOfLineBlank())
                return false;
        }
        if (count > total - seen)
            return m_scan.fail("element blocks hold more than the " + m_scan.number(total) + " elements declared");
        seen += count;
        for (uint64_t i = 0; i < count; ++i) {
            if (!m_scan.readNonBlankLine(line)) return m_scan.fail("the file ends inside $Elements");
            LineTokens tokens(line);
            uint64_t n = 0, elementType = type, tagCount = 0, expected = 0;
            while (tokens.next(token)) {
                // Tags of version 2 (partitions of ghost elements) may be negative.
                const bool tag = m_layout == MshLayout::V2 && n > 2 && n < 3 + tagCount;
                if (tag ? !isInteger(token) : !parseCount(token, value))
                    return m_scan.fail("expected an element, found " + m_scan.shown(line));
                if (tag) {
                    ++n;
                    continue;
                }
                if (m_layout == MshLayout::V2 && value > kMaxIntTag)
                    return m_scan.fail("element " + m_scan.shown(line) +
                                       " has a number beyond the 32-bit tags of version 2");
                if (m_layout == MshLayout::V2 && n == 1) elementType = value;
                if (m_layout == MshLayout::V2 && n == 2) tagCount = value;
                ++n;
            }
            const uint64_t nodes = nodesOfElementType(elementType);
            const uint64_t before = m_layout == MshLayout::V2 ? 3 + tagCount : 1;
            expected = before + (nodes ? nodes : 1);
            if (nodes ? n != expected : n < expected)
                return m_scan.fail("element " + m_scan.shown(line) + " does not have the numbers its type needs");
        }
    }
    if (seen != total)
        return m_scan.fail("element blocks hold " + m_scan.number(seen) + " elements, not the " + m_scan.number(total) +
                           " declared");
    return expectEnd("Elements");
}

bool MshCheck::binaryNodes() {
    uint64_t blocks = 1, total = 0, tag = 0;
    if (m_layout == MshLayout::V2) {
        // The count is text; tag and coordinates of each node follow in binary.
        if (!countToken("number of nodes", total)) return false;
        if (!m_scan.endHeaderLine()) return m_scan.fail("expected the end of the line after the node count");
        if (!skipBinary(total, 4 + 24, "nodes")) return false;
        return expectEnd("Nodes");
    }
    if (!binarySize(blocks) || !binarySize(total)) return false;
    if (m_layout == MshLayout::V40) return boundedBySection("Nodes", total, 4 + 24, "nodes");
    if (!binarySize(tag) || !binarySize(tag)) return false;
    if (blocks > m_scan.remaining() / 20 || total > m_scan.remaining() / 32)
        return m_scan.failAtByte("it declares " + m_scan.number(total) + " nodes in " + m_scan.number(blocks) +
                                 " blocks, more than the file can hold");
    uint64_t seen = 0;
    for (uint64_t b = 0; b < blocks; ++b) {
        uint64_t dim = 0, entity = 0, parametric = 0, count = 0;
        if (!binaryInt(dim) || !binaryInt(entity) || !binaryInt(parametric) || !binarySize(count)) return false;
        if (dim > 3 || parametric > 1)
            return m_scan.failAtByte("a node block has dimension or parametric flag out of range");
        if (count > total - seen)
            return m_scan.failAtByte("node blocks hold more than the " + m_scan.number(total) + " nodes declared");
        seen += count;
        if (!skipBinary(count, 8 + 8 * (3 + (parametric ? dim : 0)), "nodes")) return false;
    }
    if (seen != total)
        return m_scan.failAtByte("node blocks hold " + m_scan.number(seen) + " nodes, not the " + m_scan.number(total) +
                                 " declared");
    return expectEnd("Nodes");
}

bool MshCheck::binaryElements() {
    uint64_t blocks = 0, total = 0, tag = 0, seen = 0;
    if (m_layout == MshLayout::V2) {
        // The count is text; blocks of (type, count, tag count) and integers follow in binary.
        if (!countToken("number of elements", total)) return false;
        if (!m_scan.endHeaderLine()) return m_scan.fail("expected the end of the line after the element count");
        const size_t start = m_scan.pos();
        while (seen < total) {
            uint64_t type = 0, count = 0, tags = 0;
            if (!binaryInt(type) || !binaryInt(count) || !binaryInt(tags)) return false;
            const uint64_t nodes = nodesOfElementType(type);
            if (nodes == 0) {
                m_scan.seek(start);
                return boundedBySection("Elements", total, 8, "elements");
            }
            if (count > total - seen)
                return m_scan.failAtByte("element blocks hold more than the " + m_scan.number(total) +
                                         " elements declared");
            if (tags > m_scan.remaining()) return m_scan.failAtByte("an element block declares too many tags");
            seen += count;
            if (!skipBinary(count, 4 * (1 + tags + nodes), "elements")) return false;
        }
        return expectEnd("Elements");
    }
    if (!binarySize(blocks) || !binarySize(total)) return false;
    if (m_layout == MshLayout::V40) return boundedBySection("Elements", total, 8, "elements");
    if (!binarySize(tag) || !binarySize(tag)) return false;
    const size_t start = m_scan.pos();
    if (blocks > m_scan.remaining() / 20 || total > m_scan.remaining() / 16)
        return m_scan.failAtByte("it declares " + m_scan.number(total) + " elements in " + m_scan.number(blocks) +
                                 " blocks, more than the file can hold");
    for (uint64_t b = 0; b < blocks; ++b) {
        uint64_t dim = 0, entity = 0, type = 0, count = 0;
        if (!binaryInt(dim) || !binaryInt(entity) || !binaryInt(type) || !binarySize(count)) return false;
        const uint64_t nodes = nodesOfElementType(type);
        if (nodes == 0) {
            m_scan.seek(start);
            return boundedBySection("Elements", total, 16, "elements");
        }
        if (count > total - seen)
            return m_scan.failAtByte("element blocks hold more than the " + m_scan.number(total) +
                                     " elements declared");
        seen += count;
        if (!skipBinary(count, 8 * (1 + nodes), "elements")) return false;
    }
    if (seen != total)
        return m_scan.failAtByte("element blocks hold " + m_scan.number(seen) + " elements, not the " +
                                 m_scan.number(total) + " declared");
    return expectEnd("Elements");
}

/// $NodeData, $ElementData, $ElementNodeData: string, real and integer tags (the third integer
/// is the number of entries, the second the components of each), then the entries.
bool MshCheck::dataSection(std::string_view name) {
    uint64_t strings = 0, reals = 0, integers = 0;
    std::string_view line, token;
    if (!countToken("number of string tags", strings) || !restOfLineBlank()) return false;
    if (!fits(strings, 1, "string tags", m_scan.remaining())) return false;
    for (uint64_t i = 0; i < strings; ++i)
        if (!m_scan.readLine(line)) return m_scan.fail("the file ends inside the string tags");
    if (!countToken("number of real tags", reals) || !fits(reals, 2, "real tags", m_scan.remaining()) ||
        !m_scan.numberTokens(reals, "real tags"))
        return false;
    if (!countToken("number of integer tags", integers) || !fits(integers, 2, "integer tags", m_scan.remaining()))
        return false;
    if (integers < 3) return m_scan.fail("$" + m_scan.plain(name) + " needs at least three integer tags");
    uint64_t values[3] = {0, 0, 0};
    for (uint64_t i = 0; i < integers; ++i) {
        uint64_t value = 0;
        if (!countToken("integer tag", value)) return false;
        if (i < 3) values[i] = value;
    }
    const uint64_t components = values[1], entries = values[2];
    const bool perNode = name == "ElementNodeData";
    if (components == 0 || components > m_scan.remaining())
        return m_scan.fail("$" + m_scan.plain(name) + " declares " + m_scan.number(components) + " components");
    if (m_binary) {
        if (!m_scan.endHeaderLine()) return m_scan.fail("expected the end of the line after the integer tags");
        if (!perNode) {
            if (!skipBinary(entries, 4 + 8 * components, "data entries")) return false;
        } else {
            if (!fits(entries, 8, "data entries", m_scan.remaining())) return false;
            for (uint64_t i = 0; i < entries; ++i) {
                uint64_t tag = 0, nodes = 0;
                if (!binaryInt(tag) || !binaryInt(nodes)) return false;
                if (!skipBinary(nodes, 8 * components, "data values")) return false;
            }
        }
        return expectEnd(name);
    }
    if (!restOfLineBlank()) return false;
    if (!fits(entries, 2 * (1 + components), "data entries", m_scan.remaining())) return false;
    for (uint64_t i = 0; i < entries; ++i) {
        if (!m_scan.readNonBlankLine(line)) return m_scan.fail("the file ends inside $" + m_scan.plain(name));
        LineTokens tokens(line);
        uint64_t n = 0, nodes = 0;
        while (tokens.next(token)) {
            if (!isNumber(token)) return m_scan.fail("expected numbers, found " + m_scan.shown(token));
            if (perNode && n == 1 && !parseCount(token, nodes)) return m_scan.fail("expected a node count");
            ++n;
        }
        const uint64_t expected = perNode ? 2 + nodes * components : 1 + components;
        if (n != expected)
            return m_scan.fail("a data entry has " + m_scan.number(n) + " numbers, not " + m_scan.number(expected));
    }
    return expectEnd(name);
}

/// Text in binary files as well: a count, then "dimension tag "name"" per line.
bool MshCheck::physicalNames() {
    uint64_t count = 0;
    if (!countToken("number of physical names", count) || !restOfLineBlank()) return false;
    if (!fits(count, 8, "physical names", m_scan.remaining())) return false;
    std::string_view line;
    for (uint64_t i = 0; i < count; ++i) {
        if (!m_scan.readNonBlankLine(line)) return m_scan.fail("the file ends inside $PhysicalNames");
        LineTokens tokens(line);
        std::string_view dim, tag;
        if (!tokens.next(dim) || !tokens.next(tag) || !isInteger(dim) || !isInteger(tag))
            return m_scan.fail("expected 'dimension tag \"name\"', found " + m_scan.shown(line));
        const size_t open = line.find('"'), close = line.rfind('"');
        if (open == std::string_view::npos || close == open ||
            line.find_first_not_of(" \t", close + 1) != std::string_view::npos)
            return m_scan.fail("expected 'dimension tag \"name\"', found " + m_scan.shown(line));
    }
    return expectEnd("PhysicalNames");
}

/// Version 4: the counts of points, curves, surfaces and volumes, then numbers only.
bool MshCheck::entities() {
    uint64_t counts[4] = {0, 0, 0, 0};
    if (m_binary) {
        for (uint64_t& c : counts)
            if (!binarySize(c) || !fits(c, 28, "entities", m_scan.remaining())) return false;
        return boundedBySection("Entities", counts[0] + counts[1] + counts[2] + counts[3], 28, "entities");
    }
    for (uint64_t& c : counts)
        if (!countToken("number of entities", c) || !fits(c, 2, "entities", m_scan.remaining())) return false;
    std::string_view token;
    for (;;) {
        const size_t at = m_scan.pos();
        if (!m_scan.readToken(token)) return m_scan.fail("the file ends before $EndEntities");
        if (token == "$EndEntities") {
            m_scan.seek(at);
            return expectEnd("Entities");
        }
        if (!isNumber(token)) return m_scan.fail("expected numbers in $Entities, found " + m_scan.shown(token));
    }
}

bool MshCheck::section(std::string_view name) {
    if (name == "Nodes") return m_binary ? binaryNodes() : asciiNodes();
    if (name == "Elements") return m_binary ? binaryElements() : asciiElements();
    if (name == "NodeData" || name == "ElementData" || name == "ElementNodeData") return dataSection(name);
    if (name == "PhysicalNames") return physicalNames();
    if (name == "Entities" && m_layout != MshLayout::V2) return entities();
    // Sections the reader skips or does not need for a mesh: up to their end line.
    size_t end = 0;
    if (!skipToEnd(name, end)) return false;
    m_scan.seek(end);
    return expectEnd(name);
}

bool MshCheck::run() {
    if (!header()) return false;
    std::string_view line, first, extra;
    while (m_scan.readNonBlankLine(line)) {
        LineTokens tokens(line);
        tokens.next(first);
        if (first.size() < 2 || first[0] != '$' || first.substr(0, 4) == "$End" || tokens.next(extra))
            return m_scan.fail("expected a section such as $Nodes, found " + m_scan.shown(line));
        const std::string_view name = first.substr(1);
        for (char c : name)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
                return m_scan.fail("expected a section such as $Nodes, found " + m_scan.shown(line));
        if (name == "MeshFormat") return m_scan.fail("a second $MeshFormat section");
        if (!section(name)) return false;
    }
    return true;
}

}  // namespace

bool checkMshContent(ContentScan& scan) { return MshCheck(scan).run(); }

}  // namespace meshcheck
