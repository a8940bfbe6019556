// Fibre-stroke file writer and reader.
#include "io/StrokeFile.h"

#include "io/TextTokens.h"
#include "linalg/Diagnostics.h"

bool writeStrokeFile(const std::string& path, const std::vector<std::vector<vec3>>& strokes, std::string& error) {
    std::string out = "strokeInfo ";
    appendInt(out, static_cast<long long>(strokes.size()));
    out += '\n';
    for (size_t k = 0; k < strokes.size(); ++k) {
        out += "stroke ";
        appendInt(out, static_cast<long long>(k));
        out += ' ';
        appendInt(out, static_cast<long long>(strokes[k].size()));
        out += '\n';
        for (const vec3& p : strokes[k]) {
            if (!isFinite(p)) {
                error = "saving " + path + " failed: stroke " + std::to_string(k) + " has a point that is not finite";
                return false;
            }
            appendVec3Line(out, p);
        }
    }
    out += "end\n";
    return writeFileAtomically(path, out, error);
}

bool readStrokeFile(const std::string& path, std::vector<std::vector<vec3>>& strokes, std::string& error) {
    std::string text;
    if (!readWholeFile(path, text, error)) return false;
    TextReader in(std::move(text));
    std::string_view token;
    int strokeCount = 0;
    std::vector<std::vector<vec3>> read;
    if (in.readRequiredToken(token) && in.readCount(strokeCount, 3)) {
        diagPrintf("%s %d\n", shownToken(token).c_str(), strokeCount);
        read.resize(static_cast<size_t>(strokeCount));
        for (std::vector<vec3>& stroke : read) {
            int number = 0, sampleCount = 0;
            if (!in.readRequiredToken(token) || !in.readInt(number) || !in.readCount(sampleCount, 3)) break;
            diagPrintf("%s %d %d\n", shownToken(token).c_str(), number, sampleCount);
            stroke.resize(static_cast<size_t>(sampleCount));
            for (vec3& p : stroke)
                if (!in.readReal(p.x) || !in.readReal(p.y) || !in.readReal(p.z)) break;
            if (in.fail()) break;
        }
        if (in.readRequiredToken(token)) diagPrintf("%s", shownToken(token).c_str());
    }
    if (in.fail()) {
        error = path + ": " + in.error();
        return false;
    }
    strokes = std::move(read);
    return true;
}
