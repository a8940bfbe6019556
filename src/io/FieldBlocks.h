// The text blocks shared by the project file and the chart files: contraction charts, the
// constraints of a smooth field and the orientation field's depth constraints and strokes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fields/Constraints.h"
#include "io/TextTokens.h"

/// Points (x, y) of one contraction chart, in list order (the model's chart type is the same).
using TChartPoints = std::vector<std::pair<double, double>>;

/// Appends a chart block: "#FunctionNew", "constraints P", P lines "x y", "#FunctionEnd".
void writeChartBlock(std::string& out, const TChartPoints& chart);

/// Reads a chart block into chart (emptied first). Accepts the "#FunctionNew" form and the older
/// "#Function" form with three point lists (only the first is kept); any other first token leaves
/// the chart empty. A wrong closing marker is reported and reading goes on. False only when the
/// reader fails (end of text inside the block, a malformed number, a count beyond the data).
bool readChartBlock(TextReader& in, TChartPoints& chart);

/// Appends a smooth-field block: "#SmoothFieldStart", "#m_constraints N", N constraint lines,
/// "#SmoothFieldStart".
void writeSmoothFieldBlock(std::string& out, const std::vector<TConstraint>& constraints);

/// Reads a smooth-field block into constraints (emptied first); wrong markers are reported and
/// reading goes on. False when the reader fails.
bool readSmoothFieldBlock(TextReader& in, std::vector<TConstraint>& constraints);

/// Appends a tensor-field block: "#TensorField", the depth constraints as a smooth-field block,
/// "#m_strokes S", each stroke as "#stroke M" and M sample lines, "#TensorField".
void writeTensorFieldBlock(std::string& out, const std::vector<TConstraint>& depthConstraints,
                           const std::vector<TOrientationStroke>& strokes);

/// Reads a tensor-field block into the depth constraints and the strokes (both emptied first);
/// wrong markers are reported and reading goes on. False when the reader fails.
bool readTensorFieldBlock(TextReader& in, std::vector<TConstraint>& depthConstraints,
                          std::vector<TOrientationStroke>& strokes);
