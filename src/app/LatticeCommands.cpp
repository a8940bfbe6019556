// LatticeCommands: builder installation, the staged build and the status texts.
#include "app/LatticeCommands.h"

#include <QLocale>

#include "app/StagedWork.h"
#include "interaction/LatticeChoice.h"
#include "meshimport/LatticeMesh.h"
#include "model/LoadProgress.h"
#include "model/TLSMModel.h"

const char* const kLatticePlacingStage = "placing the model in the lattice";

namespace {
// Counts with thousands separators, as the rest of the window's English texts.
QString grouped(int count) { return QLocale(QLocale::English, QLocale::UnitedStates).toString(count); }

// The share of a build done once its mesh is made.
constexpr double kMeshMadeFraction = 0.9;
// Stages of a lattice build as the dialog counts them: surface, mesh, placing, done.
constexpr int kLatticeStages = 4;
}  // namespace

void installWindowLatticeBuilder() {
    setLatticeMeshBuilder([](const LatticeMeshRequest& request, const LatticeBuildHooks& hooks,
                             LatticeMeshResult& result, std::string& error) {
        const bool made = buildLatticeMesh(request, hooks, result, error);
        if (made && hooks.progress) hooks.progress(kMeshMadeFraction, kLatticePlacingStage);
        return made;
    });
}

LatticeBuildHooks latticeHooksFor(LoadProgress& progress, bool reportStages) {
    LatticeBuildHooks hooks;
    if (reportStages) hooks.progress = [&progress](double, const std::string& stage) { progress.stage(stage.c_str()); };
    hooks.cancelled = [&progress] { return progress.cancelled(); };
    return hooks;
}

LatticeBuildOutcome buildLatticeInWindow(ShellHost& host, QWidget* parent, TLSMModel& model, int vertices,
                                         std::string& reason) {
    const int target = vertices > 0 ? vertices : model.simulationLatticeTarget();
    StagedWorkText text;
    text.title = QStringLiteral("Simulation lattice");
    text.action = QStringLiteral("Building a lattice of %1 vertices").arg(grouped(target));
    text.expectedStages = kLatticeStages;
    text.quietStage = QString::fromUtf8(kLatticePlacingStage);
    TLSMModel* changed = &model;
    const WorkOutcome outcome = runStagedWork(host, parent, text, [changed, vertices, &reason](LoadProgress& progress) {
        const LatticeBuildHooks hooks = latticeHooksFor(progress, true);
        return vertices > 0 ? changed->setSimulationLattice(vertices, &reason, hooks)
                            : changed->ensureSimulationLattice(&reason, hooks);
    });
    if (outcome == WorkOutcome::Cancelled) return LatticeBuildOutcome::Cancelled;
    return outcome == WorkOutcome::Succeeded ? LatticeBuildOutcome::Built : LatticeBuildOutcome::Failed;
}

QString latticeStatusText(const TLSMModel* model) {
    if (!model) return QString();
    if (const SimulationLattice* lattice = model->simulationLattice())
        return QStringLiteral("lattice %1 vertices").arg(grouped(lattice->vertexCount()));
    if (model->simulationLatticeTarget() > 0)
        return QStringLiteral("lattice of %1 vertices not built").arg(grouped(model->simulationLatticeTarget()));
    return QString();
}

QString latticeSuggestion(const TLSMModel& model, const QString& modelName) {
    if (model.vertexCount() <= kSuggestLatticeAboveVertices || model.simulationLatticeTarget() > 0) return QString();
    return QStringLiteral("%1 has %2 vertices: Rendering > Simulation lattice... beats it faster on a coarser lattice")
        .arg(modelName, grouped(model.vertexCount()));
}
