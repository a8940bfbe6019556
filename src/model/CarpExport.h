// CarpExport: a model written as an openCARP mesh (BASE.pts, BASE.elem, BASE.lon) with its fibres.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "linalg/vec3.h"

class TLSMModel;

/// Writes outBase.pts (vertex count, then x y z per line), outBase.elem (element count, then
/// "Tt n1 n2 n3 n4 region", 0-based) and, when fibres has one entry per tetrahedron, outBase.lon
/// (first line 2 with sheets, 1 without, then the fibre and the sheet of each element). Positions
/// with 17 significant digits. The three files are written beside their final names first and
/// renamed only when all are complete, so a failure leaves any earlier files whole. False with a
/// reason in error.
bool writeCarpMesh(const std::string& outBase, const std::vector<vec3>& points,
                   const std::vector<std::array<int, 4>>& tets, const std::vector<int>& regions,
                   const std::vector<vec3>& fibres, const std::vector<vec3>& sheets, std::string& error);

/// The fibre and sheet of each tetrahedron from the frames of its corners: the mean of the four
/// fibres, each turned to agree with the first corner's (directions are lines), normalised; the
/// sheet likewise from the depth directions, made orthogonal to the element's fibre.
void elementFibresOfFrames(const TLSMModel& model, std::vector<vec3>& fibres, std::vector<vec3>& sheets);

/// The region of each tetrahedron: the label (0 neither, 1 ventricle, 2 atrium) most of its four
/// corners carry, the smallest such label on a tie.
std::vector<int> majorityLabels(const TLSMModel& model);

/// Writes the model as an openCARP mesh at outBase: its rest mesh in the coordinates of its
/// TetGen base (re-read from model.m_filePath + ".node", as exportModelFields does; the model's
/// own rest positions when that file no longer matches), majorityLabels as the regions and
/// elementFibresOfFrames in the .lon. False with a reason in error.
bool exportModelCarp(const TLSMModel& model, const std::string& outBase, std::string& error);
