// LatticeCommands: the simulation lattice in the window: the mesher behind it, building it under
// the stage dialog, and what the status bar says about it.
#pragma once

#include <QString>
#include <string>

class LoadProgress;
class QWidget;
class ShellHost;
class TLSMModel;
struct LatticeBuildHooks;

/// Makes the mesher (meshimport's buildLatticeMesh) the process's lattice builder; once the mesh is
/// made the build reports kLatticePlacingStage, from which on it changes the model. Once, at start.
void installWindowLatticeBuilder();

/// The stage a lattice build enters when its mesh is made and it starts changing the model.
extern const char* const kLatticePlacingStage;

/// Hooks that hand a lattice build's stages and cancel to progress (stages: only when
/// reportStages).
LatticeBuildHooks latticeHooksFor(LoadProgress& progress, bool reportStages);

/// How a lattice build in the window ended.
enum class LatticeBuildOutcome { Built, Failed, Cancelled };

/// Builds a lattice of about `vertices` vertices for model (vertices 0: the one its project asks
/// for, ensureSimulationLattice) on a worker thread under the stage dialog with Cancel; the window
/// draws the model meanwhile and stops drawing only while the finished lattice is put in. On
/// failure *reason holds the core's one line and the model keeps what it had.
LatticeBuildOutcome buildLatticeInWindow(ShellHost& host, QWidget* parent, TLSMModel& model, int vertices,
                                         std::string& reason);

/// "lattice 19,874 vertices" while a lattice is in force, "lattice of 20,000 vertices not built"
/// while one is asked for but missing, "" otherwise (also without a model).
QString latticeStatusText(const TLSMModel* model);

/// The suggestion shown once for a model above kSuggestLatticeAboveVertices vertices without a
/// lattice ("" for any other model).
QString latticeSuggestion(const TLSMModel& model, const QString& modelName);
