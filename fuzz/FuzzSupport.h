// Shared pieces of the file-reader fuzz targets: a private scratch directory, quiet diagnostics,
// the small fixed mesh that project, stroke and chart inputs are applied to, and the model loading
// sequence without its slow orientation-field step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TLSMModel;
struct TTetMesh;

namespace fuzzsupport {

/// A directory of this process (under $TMPDIR, /tmp by default), created on first use and removed
/// with its files at exit. Every input is written there because the readers take paths.
const std::string& scratchDir();

/// Replaces the file at path with the bytes given.
void writeBytes(const std::string& path, const uint8_t* data, size_t size);

/// Diagnostics are formatted as usual but thrown away, so that a run prints only libFuzzer's own
/// lines; VELMORA_FUZZ_VERBOSE=1 in the environment keeps them on standard error.
void quietDiagnostics();

/// Writes the fixed mesh (a 2 x 2 x 2 grid of boxes, 27 vertices, 48 tetrahedra, 0-based plain
/// layout) to <scratch>/fixed.node and .ele once; returns the base path.
const std::string& fixedMeshBase();

/// Number of vertices of the fixed mesh.
constexpr int kFixedVertexCount = 27;

/// Builds model from a mesh as TLSMModel::loadModel does (the mesh set-up, default phase and
/// amplitude fields with their smoothing matrix and harmonic solve), except the orientation field,
/// whose fixed 22,000 traced fibre-line seeds would take most of every run, and the simulator
/// set-up. model.m_filePath is left empty; no project file is read.
void buildModelWithoutOrientation(TLSMModel& model, TTetMesh&& mesh);

/// The model of the fixed mesh, built as above; aborts when the mesh cannot be read.
std::unique_ptr<TLSMModel> makeFixedModel();

/// Writes the bytes to <scratch>/name and returns the path.
std::string writeInput(const std::string& name, const uint8_t* data, size_t size);

}  // namespace fuzzsupport
