// BeatMeasurements: the figures of a headless run of the main loop (chamber volume ranges, left-
// ventricular ejection fraction, largest displacement, finiteness), shared by every headless face.
#pragma once

#include <array>

class TLSMModel;

/// Running measurements over the ticks of one run. Created before the first tick and fed after
/// every tick with the model the tick moved; plain value, no threads.
class BeatMeasurements {
public:
    /// Starts empty; finite() starts as the finiteness of the model's current positions.
    explicit BeatMeasurements(const TLSMModel& model);

    /// Measures the model after one tick: its four chamber volumes (right ventricle, left
    /// ventricle, right atrium, left atrium; model units cubed) extend the ranges, every vertex's
    /// distance from its rest position the largest displacement. Returns the volumes.
    std::array<double, 4> addTick(const TLSMModel& model);

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
};

/// Signed volume enclosed by all tetrahedra at the current positions (model units cubed).
double signedTotalVolume(const TLSMModel& model);
