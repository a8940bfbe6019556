// Contraction-chart rules and the contraction-chart text file (name, count, x y pairs).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "io/FieldBlocks.h"

/// The chart becomes the single point (0, 0).
void resetChart(TChartPoints& chart);

/// Inserts (x, y) and re-sorts stably by x; returns the new point's index, or -1 (nothing added)
/// when a point with exactly this x exists.
int addChartPoint(TChartPoints& chart, double x, double y);

/// Reads a chart file: a name token and a count N, then up to N pairs (x y), fewer when the file
/// ends first. False with a message when the file cannot be read, has no count, or holds
/// something other than finite numbers where a pair is expected.
bool readChartFile(const std::string& path, std::vector<std::pair<double, double>>& pairs, std::string& error);

/// Loads a chart file into chart: pairs sorted by x with repeated x dropped (the first kept),
/// both coordinates clamped to [0, 1]; a pair at x <= 0.0001 sets the first point (0, y) with y
/// kept within [0.001, 0.999], the others are added. The chart is left untouched when the file
/// cannot be read or is malformed (false, with a message).
bool loadChartFile(const std::string& path, TChartPoints& chart, std::string& error);
