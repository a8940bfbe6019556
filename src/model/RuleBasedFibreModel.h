// RuleBasedFibreModel: the transmural coordinate and the rule-based fibres on the heart model (its
// chamber walls, labels and left-ventricular long axis), and their measurement in the wall.
#pragma once

#include <string>
#include <vector>

class TLSMModel;

/// The vertices of the four chamber walls' triangles, ascending, each once.
std::vector<int> chamberWallVertices(const TLSMModel& model);

/// The transmural coordinate of the model at rest: 0 on the chamber walls' vertices, 1 on the other
/// surface vertices, harmonic inside (see computeTransmuralCoordinate). False with the reason.
bool computeModelTransmural(const TLSMModel& model, std::vector<double>& t, std::string& error);

/// What applying the rule did.
struct RuleBasedFibreSummary {
    double tMin = 0.0, tMax = 0.0;
    int framesSet = 0;  ///< ventricle vertices given rule frames
    int skipped = 0;    ///< ventricle vertices whose wall frame could not be formed (frames kept)
};

/// Sets the ventricle vertices' frames by the rule (helix angle endo + (epi - endo) t, degrees)
/// with the long axis of the deformation indices (apex to base) (where the transmural gradient runs
/// within about 26 degrees of the axis on the left ventricle's side, the left wall's normal of the
/// indices' wall frame stands for it), marks the rule in force on the
/// orientation field, traces the fibre lines again and, when setUpSimulator, sets up the simulator
/// with the new frames. False with nothing changed and the reason in error when an angle is not a
/// number within [-90, 90], the model has no left-ventricular wall (the deformation indices'
/// refusal), no axis can be found or the transmural solve fails.
bool applyRuleBasedFibres(TLSMModel& model, double endoDegrees, double epiDegrees, bool setUpSimulator,
                          std::string& error, RuleBasedFibreSummary* summary = nullptr);

/// The helix angle of the model's fibres in one transmural band of the left-ventricular free wall.
struct HelixBand {
    double tLow = 0.0, tHigh = 0.0;
    int vertices = 0;
    double meanDegrees = 0.0;  ///< mean measured helix angle
    double ruleDegrees = 0.0;  ///< mean of the rule's angle over the same vertices
};

/// Measures the fibres (frames' primary directions) of the left-ventricular free wall in five
/// bands of t (fifths): the free wall is the ventricle vertices at heights 0 to 1 of the long axis
/// that are no farther from the left wall than from the right one, outside the septal segments
/// (all such vertices without a right wall). The helix angle is measured in the wall frame of the
/// deformation indices (the left wall's outward normal at the nearest wall vertex, the long axis
/// within the wall, their cross product). rmsDegrees: the root mean square of measured minus rule
/// over all free-wall vertices. False with the reason when the model has no left-ventricular wall
/// or t does not hold one value per vertex.
bool measureFreeWallHelix(const TLSMModel& model, const std::vector<double>& t, double endoDegrees, double epiDegrees,
                          std::vector<HelixBand>& bands, double& rmsDegrees, std::string& error);
