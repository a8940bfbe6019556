// Fibre-stroke files: strokes as lists of points ("strokeInfo S", "stroke k M" and M "x y z"
// lines per stroke, "end").
#pragma once

#include <string>
#include <vector>

#include "linalg/vec3.h"

/// Writes the strokes (points already evaluated) atomically. False with a message when a point is
/// not finite or the file cannot be written; an existing file is then left as it was.
bool writeStrokeFile(const std::string& path, const std::vector<std::vector<vec3>>& strokes, std::string& error);

/// Reads a stroke file, printing its header lines on the console. strokes is replaced only when
/// the whole file was read; false with a message (strokes untouched) when it cannot be opened or
/// is malformed: a missing or negative count, a count beyond the data, a token that is not a
/// finite number, or no closing token.
bool readStrokeFile(const std::string& path, std::vector<std::vector<vec3>>& strokes, std::string& error);
