// FieldExport: the authored state of a model as a VTK unstructured grid (.vtu) for other tools.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "linalg/vec3.h"

class TLSMModel;

/// Writes the model's tetrahedra at the given positions (one per vertex) as an ASCII VTK XML
/// unstructured grid with point data phase, amplitude, depth, label (int: 0 neither, 1 ventricle,
/// 2 atrium) and the fibre frame as vectors fibre, sheet (along the depth gradient) and normal;
/// contraction (the per-vertex contraction factors) is added when withContraction is set, and
/// transmural (0 on the chamber walls, 1 on the outer surface) when transmural holds one value per
/// vertex. Values are written with 17 significant digits, so a reader gets the same doubles back.
/// False with a reason in error when the file cannot be written or the model's arrays do not match
/// its size.
bool writeModelVtu(const TLSMModel& model, const std::vector<vec3>& positions, bool withContraction,
                   const std::string& path, std::string& error, const std::vector<double>* transmural = nullptr);

/// Exports the authored fields on the rest mesh, in the coordinates of the model's TetGen base
/// (re-read from model.m_filePath + ".node", so the file lines up with the mesh the model came
/// from); when that file no longer matches the model, the model's own rest positions are written
/// with a console line saying so. The transmural coordinate is included when the model has chamber
/// walls to compute it from. False with a reason when the file cannot be written.
bool exportModelFields(const TLSMModel& model, const std::string& path, std::string& error);

/// Flushes and closes a file written with stdio (always closing it). False with "cannot write
/// PATH: REASON" in error when a write failed earlier, or the flush or the close fails: a full
/// disk often shows only there, once the buffered rest is written.
bool closeWrittenFile(std::FILE* file, const std::string& path, std::string& error);
