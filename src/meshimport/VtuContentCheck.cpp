// VtuContentCheck: the XML markup of a VTK .vtu file up to its appended data: a VTKFile of type
// UnstructuredGrid, well nested, with no document type or entity declarations, no attribute that
// names another file, and pieces whose declared counts a model can hold.
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/TetMeshLimits.h"
#include "meshimport/ContentScan.h"

namespace meshcheck {

namespace {

// Elements nest four deep in a .vtu (VTKFile, UnstructuredGrid, Piece, Points, DataArray);
// anything far deeper is not one.
constexpr size_t kMaxDepth = 16;

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '-' || c == '.' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct Attribute {
    std::string_view name, value;
};

class VtuCheck {
   public:
    explicit VtuCheck(ContentScan& scan) : m_scan(scan), m_data(scan.data()), m_size(scan.size()) {}
    bool run();

   private:
    bool skipPast(const char* end, size_t from, const char* what);
    bool startTag(size_t at);
    bool endTag(size_t at);
    bool attributes(size_t& i, std::vector<Attribute>& found);
    bool element(size_t at, std::string_view name, const std::vector<Attribute>& found);
    bool failAt(size_t at, const std::string& detail) {
        m_scan.seek(at);
        return m_scan.fail(detail);
    }
    std::string_view text(size_t from, size_t to) const { return std::string_view(m_data + from, to - from); }

    ContentScan& m_scan;
    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    std::vector<std::string_view> m_open;
    bool m_sawRoot = false;
    bool m_appended = false;    ///< the AppendedData element began: raw bytes follow
    bool m_compressed = false;  ///< the VTKFile names a compressor
    uint64_t m_points = 0, m_cells = 0;
};

/// Moves m_pos past the next occurrence of end at or after from.
bool VtuCheck::skipPast(const char* end, size_t from, const char* what) {
    const size_t found = std::string_view(m_data, m_size).find(end, from);
    if (found == std::string_view::npos) return failAt(from, std::string("the file ends inside a ") + what);
    m_pos = found + std::string_view(end).size();
    return true;
}

/// name="value" or name='value' pairs up to the end of the tag (i then at '>' or "/>").
bool VtuCheck::attributes(size_t& i, std::vector<Attribute>& found) {
    for (;;) {
        const size_t before = i;
        while (i < m_size && isXmlSpace(m_data[i])) ++i;
        if (i >= m_size) return failAt(before, "the file ends inside a tag");
        if (m_data[i] == '>' || m_data[i] == '/') return true;
        if (i == before) return failAt(i, "expected white space between attributes");
        const size_t nameStart = i;
        while (i < m_size && isNameChar(m_data[i])) ++i;
        if (i == nameStart) return failAt(i, "unexpected " + ContentScan::shown(text(i, std::min(i + 1, m_size))));
        const std::string_view name = text(nameStart, i);
        while (i < m_size && isXmlSpace(m_data[i])) ++i;
        if (i >= m_size) return failAt(nameStart, "the file ends inside a tag");
        if (m_data[i] != '=') return failAt(i, "attribute " + ContentScan::shown(name) + " has no value");
        ++i;
        while (i < m_size && isXmlSpace(m_data[i])) ++i;
        if (i >= m_size || (m_data[i] != '"' && m_data[i] != '\''))
            return failAt(i, "the value of " + ContentScan::shown(name) + " is not quoted");
        const char quote = m_data[i++];
        const size_t valueStart = i;
        while (i < m_size && m_data[i] != quote && m_data[i] != '<') ++i;
        if (i >= m_size || m_data[i] != quote)
            return failAt(valueStart, "the value of " + ContentScan::shown(name) + " is not closed");
        found.push_back({name, text(valueStart, i)});
        ++i;
    }
}

/// What the elements the reader acts on must say.
bool VtuCheck::element(size_t at, std::string_view name, const std::vector<Attribute>& found) {
    for (const Attribute& a : found) {
        // A parallel file's pieces name the files that hold them; a .vtu that did so would have
        // the reader open a path of the file's choosing.
        const std::string key = lowered(a.name);
        if (key == "source" || key == "filename" || key == "href" || key.find(":href") != std::string::npos)
            return m_scan.failPlain("refers to another file (" + ContentScan::plain(a.name) + "=" +
                                    ContentScan::shown(a.value) + "); only a self-contained .vtu can be imported");
    }
    auto value = [&found](const char* key, std::string_view& out) {
        for (const Attribute& a : found)
            if (a.name == key) {
                out = a.value;
                return true;
            }
        return false;
    };
    std::string_view v;
    if (m_open.empty()) {
        if (m_sawRoot) return failAt(at, "a second root element " + ContentScan::shown(name));
        m_sawRoot = true;
        if (name != "VTKFile") return m_scan.failPlain("is not a VTK XML file (no VTKFile element)");
        if (!value("type", v)) return failAt(at, "the VTKFile element has no type");
        if (v == "PUnstructuredGrid" || v == "vtkMultiBlockDataSet")
            return m_scan.failPlain("is a " + ContentScan::plain(v) +
                                    " file, which refers to other files; import one of its .vtu pieces instead");
        if (v != "UnstructuredGrid")
            return m_scan.failPlain("holds a " + ContentScan::plain(v) +
                                    " dataset; only UnstructuredGrid can be imported from a .vtu");
        m_compressed = value("compressor", v);
        if (m_compressed && v != "vtkZLibDataCompressor" && v != "vtkLZ4DataCompressor" && v != "vtkLZMADataCompressor")
            return failAt(at, "unknown compressor " + ContentScan::shown(v));
        return true;
    }
    if (name == "Piece") {
        uint64_t points = 0, cells = 0;
        std::string_view p, c;
        if (!value("NumberOfPoints", p) || !parseCount(p, points) || !value("NumberOfCells", c) ||
            !parseCount(c, cells))
            return failAt(at, "a Piece without its NumberOfPoints and NumberOfCells");
        m_points += points;
        m_cells += cells;
        const auto limit = static_cast<uint64_t>(kMaxTetMeshCount);
        if (m_points > limit || m_cells > limit)
            return failAt(at, "it declares " + m_scan.number(m_points) + " points and " + m_scan.number(m_cells) +
                                  " cells, more than the " + m_scan.number(limit) + " a model can hold");
        // The reader allocates for the counts before it reads: uncompressed, every point takes
        // three values and every cell at least three (connectivity, offset, type) of a byte or more.
        if (!m_compressed && 3 * (m_points + m_cells) > m_size)
            return failAt(at, "it declares " + m_scan.number(m_points) + " points and " + m_scan.number(m_cells) +
                                  " cells, more than the file can hold");
    } else if (name == "AppendedData") {
        if (!value("encoding", v) || (v != "raw" && v != "base64"))
            return failAt(at, "AppendedData of encoding " + ContentScan::shown(v) + "; raw or base64 can be read");
    }
    return true;
}

bool VtuCheck::startTag(size_t at) {
    size_t i = at + 1;
    while (i < m_size && isNameChar(m_data[i])) ++i;
    const std::string_view name = text(at + 1, i);
    if (name.empty()) return failAt(at, "unexpected '<'");
    std::vector<Attribute> found;
    if (!attributes(i, found)) return false;
    const bool empty = m_data[i] == '/';
    if (empty && (i + 1 >= m_size || m_data[i + 1] != '>')) return failAt(i, "expected '/>'");
    m_pos = i + (empty ? 2 : 1);
    if (!element(at, name, found)) return false;
    if (!empty) {
        if (m_open.size() >= kMaxDepth) return failAt(at, "elements nest deeper than a .vtu's");
        m_open.push_back(name);
        // The appended block is raw bytes after an '_': the markup ends here for the check.
        if (name == "AppendedData") m_appended = true;
    }
    return true;
}

bool VtuCheck::endTag(size_t at) {
    size_t i = at + 2;
    while (i < m_size && isNameChar(m_data[i])) ++i;
    const std::string_view name = text(at + 2, i);
    while (i < m_size && isXmlSpace(m_data[i])) ++i;
    if (i >= m_size || m_data[i] != '>') return failAt(at, "a malformed end tag");
    if (m_open.empty() || m_open.back() != name)
        return failAt(at, "end tag " + ContentScan::shown(name) + " does not close " +
                              (m_open.empty() ? std::string("any element") : ContentScan::shown(m_open.back())));
    m_open.pop_back();
    m_pos = i + 1;
    return true;
}

bool VtuCheck::run() {
    const std::string_view all(m_data, m_size);
    if (all.compare(0, 3, "\xEF\xBB\xBF") == 0) m_pos = 3;
    while (!m_appended) {
        const size_t tag = all.find('<', m_pos);
        // Outside the root only white space; inside it the inline data (numbers or base64).
        const size_t textEnd = tag == std::string_view::npos ? m_size : tag;
        if (m_open.empty())
            for (size_t i = m_pos; i < textEnd; ++i)
                if (!isXmlSpace(m_data[i])) {
                    if (!m_sawRoot) return m_scan.failPlain("is not a VTK XML file (no VTKFile element)");
                    return failAt(i, "text after the VTKFile element");
                }
        if (tag == std::string_view::npos) break;
        const std::string_view rest = all.substr(tag);
        if (rest.compare(0, 4, "<!--") == 0) {
            if (!skipPast("-->", tag + 4, "comment")) return false;
        } else if (rest.compare(0, 2, "<?") == 0) {
            if (!skipPast("?>", tag + 2, "processing instruction")) return false;
        } else if (rest.compare(0, 2, "<!") == 0) {
            // Entity declarations can expand without bound or name outside files.
            return failAt(tag, "a document type, entity or CDATA section, which a .vtu never holds");
        } else if (rest.compare(0, 2, "</") == 0) {
            if (!endTag(tag)) return false;
        } else if (!startTag(tag)) {
            return false;
        }
    }
    if (!m_sawRoot) return m_scan.failPlain("is not a VTK XML file (no VTKFile element)");
    if (!m_appended && !m_open.empty())
        return failAt(m_size, "the file ends inside the element " + ContentScan::shown(m_open.back()));
    return true;
}

}  // namespace

bool checkVtuContent(ContentScan& scan) { return VtuCheck(scan).run(); }

}  // namespace meshcheck
