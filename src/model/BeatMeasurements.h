// BeatMeasurements: the figures of a headless run of the main loop (chamber volume ranges, left-
// ventricular ejection fraction, largest displacement, finiteness, the deformation indices at every
// tick, at end-systole and at their peaks), shared by every headless face.
#pragma once

#include <array>

#include "model/DeformationIndices.h"

class TLSMModel;

/// The most negative longitudinal and circumferential strain, the largest radial strain and
/// twist over the ticks so far, each with its tick (1-based, the earliest on ties; 0 before any).
struct DeformationPeaks {
    double longitudinal = 0.0;
    int longitudinalTick = 0;
    double circumferential = 0.0;
    int circumferentialTick = 0;
    double radial = 0.0;
    int radialTick = 0;
    double twist = 0.0;
    int twistTick = 0;
};

/// Running measurements over the ticks of one run. Created before the first tick and fed after
/// every tick with the model the tick moved; one thread at a time (the deformation indices may use
/// OpenMP inside a tick's measurement).
class BeatMeasurements {
   public:
    /// Starts empty; finite() starts as the finiteness of the model's current positions. The
    /// deformation indices are set up from the model's rest state and walls as they are now.
    explicit BeatMeasurements(const TLSMModel& model);

    /// Measures the model after one tick: its four chamber volumes (right ventricle, left
    /// ventricle, right atrium, left atrium; model units cubed) extend the ranges, every vertex's
    /// distance from its rest position the largest displacement; the deformation indices of its
    /// positions become lastIndices() and update the end-systole and the peaks. Returns the volumes.
    std::array<double, 4> addTick(const TLSMModel& model);

    /// The deformation indices' set-up; when it is not ready(), refusal() says why and the indices
    /// below stay unavailable.
    const DeformationIndices& deformationIndices() const { return m_indices; }
    /// The indices of the last tick.
    const DeformationIndexValues& lastIndices() const { return m_lastIndices; }
    /// End-systole: the tick (1-based) of the smallest left-ventricular volume so far, the earliest
    /// on ties, and the indices measured at it; tick 0 and unavailable indices before any measured tick.
    int endSystoleTick() const { return m_endSystoleTick; }
    const DeformationIndexValues& endSystoleIndices() const { return m_endSystole; }
    /// The peaks of the indices so far.
    const DeformationPeaks& peaks() const { return m_peaks; }

    /// Left-ventricular ejection fraction in percent, (max - min) / max * 100 of the left
    /// ventricle's volume over the ticks so far; 0 when the model has no left-ventricular wall,
    /// no tick was measured or the largest volume is 0.
    double leftVentricularEjectionFraction(const TLSMModel& model) const;

    const std::array<double, 4>& volumesMin() const { return m_volumesMin; }
    const std::array<double, 4>& volumesMax() const { return m_volumesMax; }
    double maxDisplacement() const { return m_maxDisplacement; }
    /// False once a position or a volume was not a finite number.
    bool finite() const { return m_finite; }
    int ticks() const { return m_ticks; }

   private:
    std::array<double, 4> m_volumesMin;
    std::array<double, 4> m_volumesMax;
    double m_maxDisplacement = 0.0;
    bool m_finite = true;
    int m_ticks = 0;
    DeformationIndices m_indices;
    DeformationIndexValues m_lastIndices;
    DeformationIndexValues m_endSystole;
    int m_endSystoleTick = 0;
    double m_endSystoleVolume = 0.0;
    DeformationPeaks m_peaks;
};

/// Signed volume enclosed by all tetrahedra at the current positions (model units cubed).
double signedTotalVolume(const TLSMModel& model);
