// Chart, smooth-field and tensor-field blocks: writers and token readers.
#include "io/FieldBlocks.h"

#include "linalg/Diagnostics.h"

namespace {

void appendSample(std::string& out, const TTetSample& s) {
    for (int k = 0; k < 4; ++k) {
        appendInt(out, s.m_tetVertex[k]);
        out += ' ';
    }
    for (int k = 0; k < 4; ++k) {
        appendReal(out, s.m_weight[k]);
        out += k < 3 ? " " : "";
    }
}

bool readSample(TextReader& in, TTetSample& s) {
    for (int k = 0; k < 4; ++k)
        if (!in.readInt(s.m_tetVertex[k])) return false;
    for (int k = 0; k < 4; ++k)
        if (!in.readReal(s.m_weight[k])) return false;
    return true;
}

/// "%s%d": a token that is not checked, then a count of items of tokensPerItem tokens each.
bool readLabelledCount(TextReader& in, int& count, int tokensPerItem) {
    std::string_view label;
    return in.readRequiredToken(label) && in.readCount(count, tokensPerItem);
}

bool readPoints(TextReader& in, int count, TChartPoints* into) {
    for (int i = 0; i < count; ++i) {
        double x, y;
        if (!in.readReal(x) || !in.readReal(y)) return false;
        if (into) into->emplace_back(x, y);
    }
    return true;
}

}  // namespace

void writeChartBlock(std::string& out, const TChartPoints& chart) {
    out += "#FunctionNew\nconstraints ";
    appendInt(out, static_cast<long long>(chart.size()));
    out += '\n';
    for (const auto& [x, y] : chart) {
        appendReal(out, x);
        out += ' ';
        appendReal(out, y);
        out += '\n';
    }
    out += "#FunctionEnd\n";
}

bool readChartBlock(TextReader& in, TChartPoints& chart) {
    chart.clear();
    std::string_view token;
    if (!in.readRequiredToken(token)) return false;
    int count = 0;
    if (token == "#FunctionNew") {
        if (!readLabelledCount(in, count, 2) || !readPoints(in, count, &chart)) return false;
    } else if (token == "#Function") {
        for (int list = 0; list < 3; ++list)
            if (!readLabelledCount(in, count, 2) || !readPoints(in, count, list == 0 ? &chart : nullptr)) return false;
    } else {
        return true;  // not a chart: the chart stays empty and the token is used up
    }
    if (!in.readRequiredToken(token)) return false;
    if (token != "#FunctionEnd") diagPrintf("erorr 32421783491\n");
    return true;
}

void writeSmoothFieldBlock(std::string& out, const std::vector<TConstraint>& constraints) {
    out += "#SmoothFieldStart\n#m_constraints ";
    appendInt(out, static_cast<long long>(constraints.size()));
    out += '\n';
    for (const TConstraint& c : constraints) {
        appendSample(out, c);
        out += ' ';
        appendReal(out, c.m_target);
        out += '\n';
    }
    out += "#SmoothFieldStart\n";
}

bool readSmoothFieldBlock(TextReader& in, std::vector<TConstraint>& constraints) {
    constraints.clear();
    std::string_view token;
    if (!in.readRequiredToken(token)) return false;
    if (token != "#SmoothFieldStart") diagPrintf("error 314322981\n");
    int count = 0;
    if (!readLabelledCount(in, count, 9)) return false;
    constraints.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        TConstraint c;
        if (!readSample(in, c) || !in.readReal(c.m_target)) return false;
        constraints.push_back(c);
    }
    if (!in.readRequiredToken(token)) return false;
    if (token != "#SmoothFieldStart") diagPrintf("error 00848321890\n");
    return true;
}

void writeTensorFieldBlock(std::string& out, const std::vector<TConstraint>& depthConstraints,
                           const std::vector<TOrientationStroke>& strokes) {
    out += "#TensorField\n";
    writeSmoothFieldBlock(out, depthConstraints);
    out += "#m_strokes ";
    appendInt(out, static_cast<long long>(strokes.size()));
    out += '\n';
    for (const TOrientationStroke& stroke : strokes) {
        out += "#stroke ";
        appendInt(out, static_cast<long long>(stroke.size()));
        out += '\n';
        for (const TTetSample& s : stroke) {
            appendSample(out, s);
            out += '\n';
        }
    }
    out += "#TensorField\n";
}

bool readTensorFieldBlock(TextReader& in, std::vector<TConstraint>& depthConstraints,
                          std::vector<TOrientationStroke>& strokes) {
    strokes.clear();
    depthConstraints.clear();
    std::string_view token;
    if (!in.readRequiredToken(token)) return false;
    if (token != "#TensorField") diagPrintf("%s error 123498\n", shownToken(token).c_str());
    if (!readSmoothFieldBlock(in, depthConstraints)) return false;
    int strokeCount = 0;
    if (!readLabelledCount(in, strokeCount, 2)) return false;
    strokes.reserve(static_cast<size_t>(strokeCount));
    for (int i = 0; i < strokeCount; ++i) {
        TOrientationStroke& stroke = strokes.emplace_back();
        int sampleCount = 0;
        if (!readLabelledCount(in, sampleCount, 8)) return false;
        stroke.reserve(static_cast<size_t>(sampleCount));
        for (int k = 0; k < sampleCount; ++k) {
            TTetSample s;
            if (!readSample(in, s)) return false;
            stroke.push_back(s);
        }
    }
    if (!in.readRequiredToken(token)) return false;
    if (token != "#TensorField") diagPrintf("error 123498\n");
    return true;
}
