// ProjectRecord: the content of a ".vm" project file as plain records in file order, with the
// reader and the writer of the file format. Knows nothing of the heart model.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fields/Constraints.h"
#include "io/FieldBlocks.h"
#include "linalg/vec3.h"

/// The keywords whose values a project file carries into the model (the accepted-but-ignored
/// keywords "#GlobalVolumePreserve", "#GlobalAmplitudeVentIn", "#OtherFriction", "#AponeuroTris"
/// and the like are read past and leave no entry).
enum class ProjectKey {
    PhaseField,
    AmpliField,
    OrienField,
    GlobalExcitation,
    IterationN,
    GlobalAmplitudeVent,
    GlobalPropagationMode,
    GlobalNumOfWave,
    GlobalPropagationModeA,
    GlobalNumOfWaveA,
    GlobalAmplitudeA,
    OtherGravity,
    VtxOrigPos,
    VtxIsVentriOrAtrium,
    VentAtriWalls,
    RuleBasedFibres,     ///< optional: the helix angles of rule-based fibres, written only when in force
    CrossFibreExponent,  ///< optional: the ventricular cross-fibre exponent, written only when not -0.5
    VtxFrames,           ///< optional: per-vertex fibre frames that came with the mesh, written only when in force
    SimulationLattice,   ///< optional: the simulation lattice's vertex count, written only when one is set
};

/// The file keyword of a key ("#PhaseField" ...).
const char* projectKeyword(ProjectKey key);

using TWallTriangle = std::array<int, 3>;

/// One top-level record; only the members of its key are used.
struct ProjectEntry {
    ProjectKey key = ProjectKey::IterationN;
    std::vector<TConstraint> constraints;             ///< PhaseField, AmpliField; OrienField: depth constraints
    std::vector<TOrientationStroke> strokes;          ///< OrienField
    TChartPoints chartVent, chartAtri;                ///< GlobalExcitation
    int intValue = 0;                                 ///< IterationN, GlobalPropagationMode(A), SimulationLattice
    double realValue = 0.0;                           ///< the real-valued "#Global..." and "#OtherGravity"
    double realValue2 = 0.0;                          ///< RuleBasedFibres: epicardial angle (realValue: endocardial)
    std::vector<vec3> positions;                      ///< VtxOrigPos
    std::vector<int16_t> labels;                      ///< VtxIsVentriOrAtrium
    std::vector<int16_t> polygonIDs;                  ///< VentAtriWalls
    std::array<std::vector<TWallTriangle>, 4> walls;  ///< VentAtriWalls: VR, VL, AR, AL
    /// VtxFrames: fibre, depth and third direction per vertex; empty when they are not in force.
    std::vector<std::array<vec3, 3>> frames;
};

/// A whole project file: its records in the order they stand in the file.
struct ProjectRecord {
    std::vector<ProjectEntry> entries;
    /// True when "#VelmoraSaveFileEnd" was reached; false when the text ended or a read failed first.
    bool endMarkerFound = false;
    /// Why reading stopped early ("" when the end marker was reached); the entry being read then
    /// is not in entries.
    std::string damage;
    /// The last token read (the end marker for a complete file).
    std::string lastToken;
};

/// Parses a project file's text. Prints the reader's console lines (the first token, "load global
/// excitation! ", "strange token ...", the block marker errors). Never fails as a whole: a read
/// that fails ends the reading and is described in record.damage.
void parseProjectText(const std::string& text, ProjectRecord& record);

/// Formats the records in order between "#VelmoraSaveFile" and "#VelmoraSaveFileEnd". False (with
/// the record named in error) when a real is not finite: such a file could not be read back. An
/// optional record that is not in force (RuleBasedFibres with intValue 0, CrossFibreExponent at
/// -0.5, VtxFrames without frames, SimulationLattice at 0) writes nothing, so files without these
/// settings stay as they were.
bool formatProjectText(const ProjectRecord& record, std::string& text, std::string& error);

/// Reads and parses a project file; false (with the reason) only when it cannot be opened or read.
bool readProjectFile(const std::string& path, ProjectRecord& record, std::string& error);

/// Formats and writes a project file atomically (the previous file survives any failure).
bool writeProjectFile(const std::string& path, const ProjectRecord& record, std::string& error);
