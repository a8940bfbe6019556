// Project file reader and writer.
#include "io/ProjectRecord.h"

#include <cmath>

#include "linalg/Diagnostics.h"

const char* projectKeyword(ProjectKey key) {
    switch (key) {
        case ProjectKey::PhaseField:
            return "#PhaseField";
        case ProjectKey::AmpliField:
            return "#AmpliField";
        case ProjectKey::OrienField:
            return "#OrienField";
        case ProjectKey::GlobalExcitation:
            return "#GlobalExcitation";
        case ProjectKey::IterationN:
            return "#IterationN";
        case ProjectKey::GlobalAmplitudeVent:
            return "#GlobalAmplitudeVent";
        case ProjectKey::GlobalPropagationMode:
            return "#GlobalPropagationMode";
        case ProjectKey::GlobalNumOfWave:
            return "#GlobalNumOfWave";
        case ProjectKey::GlobalPropagationModeA:
            return "#GlobalPropagationModeA";
        case ProjectKey::GlobalNumOfWaveA:
            return "#GlobalNumOfWaveA";
        case ProjectKey::GlobalAmplitudeA:
            return "#GlobalAmplitudeA";
        case ProjectKey::OtherGravity:
            return "#OtherGravity";
        case ProjectKey::VtxOrigPos:
            return "#VtxOrigPos";
        case ProjectKey::VtxIsVentriOrAtrium:
            return "#VtxIsVentriOrAtrium";
        case ProjectKey::VentAtriWalls:
            return "#VentAtriWalls";
        case ProjectKey::RuleBasedFibres:
            return "#RuleBasedFibres";
        case ProjectKey::CrossFibreExponent:
            return "#CrossFibreExponent";
        case ProjectKey::VtxFrames:
            return "#VtxFrames";
        case ProjectKey::SimulationLattice:
            return "#SimulationLattice";
    }
    return "";
}

namespace {

struct KeywordKey {
    const char* keyword;
    ProjectKey key;
};

// Keywords that carry a single value into an entry.
constexpr KeywordKey kIntKeys[] = {{"#IterationN", ProjectKey::IterationN},
                                   {"#GlobalPropagationMode", ProjectKey::GlobalPropagationMode},
                                   {"#GlobalPropagationModeA", ProjectKey::GlobalPropagationModeA}};
constexpr KeywordKey kRealKeys[] = {{"#GlobalAmplitudeVent", ProjectKey::GlobalAmplitudeVent},
                                    {"#GlobalNumOfWave", ProjectKey::GlobalNumOfWave},
                                    {"#GlobalNumOfWaveA", ProjectKey::GlobalNumOfWaveA},
                                    {"#GlobalAmplitudeA", ProjectKey::GlobalAmplitudeA},
                                    {"#OtherGravity", ProjectKey::OtherGravity}};
// Keywords older files carry whose single value is read and dropped.
constexpr const char* kIgnoredIntKeywords[] = {"#GlobalVolumePreserve", "#GlobalVolumePreserveA"};
constexpr const char* kIgnoredRealKeywords[] = {"#GlobalAmplitudeVentIn", "#GlobalAmplitudeVentOut", "#OtherFriction"};

bool readTriangles(TextReader& in, std::vector<TWallTriangle>* into) {
    std::string_view label;
    int count = 0;
    if (!in.readRequiredToken(label) || !in.readCount(count, 3)) return false;
    if (into) into->reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        TWallTriangle t;
        for (int& v : t)
            if (!in.readInt(v)) return false;
        if (into) into->push_back(t);
    }
    return true;
}

bool readShorts(TextReader& in, int count, std::vector<int16_t>* into) {
    if (into) into->reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        int v = 0;
        if (!in.readInt(v)) return false;
        if (into) into->push_back(static_cast<int16_t>(v));  // stored as 16-bit, as the model keeps them
    }
    return true;
}

/// Reads the values of one keyword. Returns false when the reader failed; entry is filled and
/// `keep` set when the keyword yields an entry.
bool readRecord(TextReader& in, std::string_view keyword, ProjectEntry& entry, bool& keep) {
    keep = true;
    for (const KeywordKey& k : kIntKeys)
        if (keyword == k.keyword) {
            entry.key = k.key;
            return in.readInt(entry.intValue);
        }
    for (const KeywordKey& k : kRealKeys)
        if (keyword == k.keyword) {
            entry.key = k.key;
            return in.readReal(entry.realValue);
        }
    keep = false;
    int ignoredInt = 0;
    double ignoredReal = 0.0;
    for (const char* k : kIgnoredIntKeywords)
        if (keyword == k) return in.readInt(ignoredInt);
    for (const char* k : kIgnoredRealKeywords)
        if (keyword == k) return in.readReal(ignoredReal);
    if (keyword == "#AponeuroTris") {
        std::string_view label;
        int count = 0;
        if (!in.readRequiredToken(label) || !in.readCount(count, 1) || !readShorts(in, count, nullptr)) return false;
        if (!readTriangles(in, nullptr)) return false;
        if (!in.readRequiredToken(label) || !in.readCount(count, 2)) return false;
        for (int i = 0; i < 2 * count; ++i)
            if (!in.readInt(ignoredInt)) return false;
        return true;
    }
    keep = true;
    if (keyword == "#PhaseField" || keyword == "#AmpliField") {
        entry.key = keyword == "#PhaseField" ? ProjectKey::PhaseField : ProjectKey::AmpliField;
        return readSmoothFieldBlock(in, entry.constraints);
    }
    if (keyword == "#OrienField") {
        entry.key = ProjectKey::OrienField;
        return readTensorFieldBlock(in, entry.constraints, entry.strokes);
    }
    if (keyword == "#GlobalExcitation") {
        entry.key = ProjectKey::GlobalExcitation;
        diagPrintf("load global excitation! \n");
        return readChartBlock(in, entry.chartVent) && readChartBlock(in, entry.chartAtri);
    }
    if (keyword == "#VtxOrigPos") {
        entry.key = ProjectKey::VtxOrigPos;
        int count = 0;
        if (!in.readCount(count, 3)) return false;
        entry.positions.resize(static_cast<size_t>(count));
        for (vec3& p : entry.positions)
            if (!in.readReal(p.x) || !in.readReal(p.y) || !in.readReal(p.z)) return false;
        return true;
    }
    if (keyword == "#VtxIsVentriOrAtrium") {
        entry.key = ProjectKey::VtxIsVentriOrAtrium;
        int count = 0;
        return in.readCount(count, 1) && readShorts(in, count, &entry.labels);
    }
    if (keyword == "#VentAtriWalls") {
        entry.key = ProjectKey::VentAtriWalls;
        std::string_view label;
        int count = 0;
        if (!in.readRequiredToken(label) || !in.readCount(count, 1) || !readShorts(in, count, &entry.polygonIDs))
            return false;
        for (auto& wall : entry.walls)
            if (!readTriangles(in, &wall)) return false;
        return true;
    }
    if (keyword == "#RuleBasedFibres") {
        entry.key = ProjectKey::RuleBasedFibres;
        entry.intValue = 1;
        return in.readReal(entry.realValue) && in.readReal(entry.realValue2);
    }
    if (keyword == "#CrossFibreExponent") {
        entry.key = ProjectKey::CrossFibreExponent;
        return in.readReal(entry.realValue);
    }
    if (keyword == "#SimulationLattice") {
        entry.key = ProjectKey::SimulationLattice;
        return in.readInt(entry.intValue);
    }
    if (keyword == "#VtxFrames") {
        entry.key = ProjectKey::VtxFrames;
        int count = 0;
        if (!in.readCount(count, 9)) return false;
        entry.frames.resize(static_cast<size_t>(count));
        for (auto& frame : entry.frames)
            for (vec3& d : frame)
                if (!in.readReal(d.x) || !in.readReal(d.y) || !in.readReal(d.z)) return false;
        return true;
    }
    keep = false;
    diagPrintf("strange token %s\n", shownToken(keyword).c_str());
    return true;
}

bool finite(double v) { return std::isfinite(v); }

bool constraintsFinite(const std::vector<TConstraint>& list) {
    for (const TConstraint& c : list) {
        if (!finite(c.m_target)) return false;
        for (double w : c.m_weight)
            if (!finite(w)) return false;
    }
    return true;
}

bool entryFinite(const ProjectEntry& e) {
    if (!finite(e.realValue) || !finite(e.realValue2) || !constraintsFinite(e.constraints)) return false;
    for (const TOrientationStroke& s : e.strokes)
        for (const TTetSample& sample : s)
            for (double w : sample.m_weight)
                if (!finite(w)) return false;
    for (const TChartPoints* chart : {&e.chartVent, &e.chartAtri})
        for (const auto& [x, y] : *chart)
            if (!finite(x) || !finite(y)) return false;
    for (const vec3& p : e.positions)
        if (!isFinite(p)) return false;
    for (const auto& frame : e.frames)
        for (const vec3& d : frame)
            if (!isFinite(d)) return false;
    return true;
}

void appendKeyValueLine(std::string& out, const char* keyword, const ProjectEntry& e, bool integer) {
    appendPadded(out, keyword, 24);
    if (integer)
        appendInt(out, e.intValue);
    else
        appendReal(out, e.realValue);
    out += '\n';
}

void appendCountLine(std::string& out, const char* keyword, size_t count) {
    out += keyword;
    out += ' ';
    appendInt(out, static_cast<long long>(count));
    out += '\n';
}

void appendEntry(std::string& out, const ProjectEntry& e) {
    switch (e.key) {
        case ProjectKey::PhaseField:
        case ProjectKey::AmpliField:
            out += projectKeyword(e.key);
            out += '\n';
            writeSmoothFieldBlock(out, e.constraints);
            break;
        case ProjectKey::OrienField:
            out += "#OrienField\n";
            writeTensorFieldBlock(out, e.constraints, e.strokes);
            break;
        case ProjectKey::GlobalExcitation:
            out += "#GlobalExcitation          \n";
            writeChartBlock(out, e.chartVent);
            writeChartBlock(out, e.chartAtri);
            break;
        case ProjectKey::IterationN:
            out += "#IterationN ";
            appendInt(out, e.intValue);
            out += '\n';
            break;
        case ProjectKey::GlobalPropagationMode:
        case ProjectKey::GlobalPropagationModeA:
            appendKeyValueLine(out, projectKeyword(e.key), e, true);
            break;
        case ProjectKey::GlobalAmplitudeVent:
        case ProjectKey::GlobalNumOfWave:
        case ProjectKey::GlobalNumOfWaveA:
        case ProjectKey::GlobalAmplitudeA:
        case ProjectKey::OtherGravity:
            appendKeyValueLine(out, projectKeyword(e.key), e, false);
            break;
        case ProjectKey::VtxOrigPos:
            appendCountLine(out, "#VtxOrigPos", e.positions.size());
            for (const vec3& p : e.positions) appendVec3Line(out, p);
            break;
        case ProjectKey::VtxIsVentriOrAtrium:
            appendCountLine(out, "#VtxIsVentriOrAtrium", e.labels.size());
            for (int16_t label : e.labels) {
                appendInt(out, label);
                out += '\n';
            }
            break;
        case ProjectKey::VentAtriWalls: {
            out += "#VentAtriWalls\n";
            appendCountLine(out, "#PolygonIDs", e.polygonIDs.size());
            for (int16_t id : e.polygonIDs) {
                appendInt(out, id);
                out += '\n';
            }
            const char* names[4] = {"#VR", "#VL", "#AR", "#AL"};
            for (int w = 0; w < 4; ++w) {
                appendCountLine(out, names[w], e.walls[w].size());
                for (const TWallTriangle& t : e.walls[w]) {
                    appendInt(out, t[0]);
                    out += ' ';
                    appendInt(out, t[1]);
                    out += ' ';
                    appendInt(out, t[2]);
                    out += '\n';
                }
            }
            break;
        }
        case ProjectKey::RuleBasedFibres:
            if (e.intValue == 0) break;
            out += "#RuleBasedFibres ";
            appendReal(out, e.realValue);
            out += ' ';
            appendReal(out, e.realValue2);
            out += '\n';
            break;
        case ProjectKey::CrossFibreExponent:
            if (e.realValue == -0.5) break;
            appendKeyValueLine(out, projectKeyword(e.key), e, false);
            break;
        case ProjectKey::SimulationLattice:
            if (e.intValue <= 0) break;
            appendKeyValueLine(out, projectKeyword(e.key), e, true);
            break;
        case ProjectKey::VtxFrames:
            if (e.frames.empty()) break;
            appendCountLine(out, "#VtxFrames", e.frames.size());
            for (const auto& frame : e.frames)
                for (int r = 0; r < 3; ++r) {
                    appendReal(out, frame[r].x);
                    out += ' ';
                    appendReal(out, frame[r].y);
                    out += ' ';
                    appendReal(out, frame[r].z);
                    out += r == 2 ? '\n' : ' ';
                }
            break;
    }
}

}  // namespace

void parseProjectText(const std::string& text, ProjectRecord& record) {
    record = ProjectRecord();
    TextReader in(text);
    std::string_view token;
    if (!in.readToken(token)) {
        record.damage = "the file is empty";
        return;
    }
    diagPrintf("%s\n", shownToken(token).c_str());
    record.lastToken = shownToken(token);
    while (true) {
        if (!in.readToken(token)) {
            record.damage = "the file ends before #VelmoraSaveFileEnd";
            return;
        }
        record.lastToken = shownToken(token);
        if (token == "#VelmoraSaveFileEnd") {
            record.endMarkerFound = true;
            return;
        }
        const std::string keyword(token);
        ProjectEntry entry;
        bool keep = false;
        if (!readRecord(in, keyword, entry, keep)) {
            record.damage = "record " + shownToken(keyword) + ": " + in.error();
            return;
        }
        // Without whitespace after its last token the record may have been cut inside that token
        // ("12" read as "1"); the end marker cannot follow anyway.
        if (in.lastTokenAtEnd()) {
            record.damage = "record " + shownToken(keyword) + ": the file ends inside it";
            return;
        }
        if (keep) record.entries.push_back(std::move(entry));
    }
}

bool formatProjectText(const ProjectRecord& record, std::string& text, std::string& error) {
    text = "#VelmoraSaveFile\n";
    for (const ProjectEntry& e : record.entries) {
        if (!entryFinite(e)) {
            error = std::string(projectKeyword(e.key)) + " holds a value that is not a finite number";
            text.clear();
            return false;
        }
        appendEntry(text, e);
    }
    text += "#VelmoraSaveFileEnd\n";
    return true;
}

bool readProjectFile(const std::string& path, ProjectRecord& record, std::string& error) {
    std::string text;
    if (!readWholeFile(path, text, error)) return false;
    parseProjectText(text, record);
    return true;
}

bool writeProjectFile(const std::string& path, const ProjectRecord& record, std::string& error) {
    std::string text;
    if (!formatProjectText(record, text, error)) {
        error = "saving " + path + " failed: " + error;
        return false;
    }
    return writeFileAtomically(path, text, error);
}
