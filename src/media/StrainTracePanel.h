// StrainTracePanel: the left ventricle's global strains and twist of a movie drawn as curves over
// its ticks, for a panel beside the heart (below the volume plot).
#pragma once

#include <array>
#include <vector>

#include "media/RgbImage.h"

/// Collects the global longitudinal, circumferential and radial strain (percent) and the twist
/// (degrees) tick by tick and paints them in the colours of the window's strain plot, in the style
/// of VolumeTracePanel: black background, a legend at the top, a symmetric value axis (the largest
/// magnitude so far rounded up to a multiple of 10, at least 10) with labelled guide lines and a
/// brighter zero line, "%/DEG" over the value labels and "TICK" under the time axis, one curve per
/// index from the first tick to the latest across the planned ticks. Plain data; any thread.
class StrainTracePanel {
   public:
    /// Order of the values of addTick and of kColours.
    enum Curve { Longitudinal = 0, Circumferential = 1, Radial = 2, Twist = 3 };
    static constexpr int kCurveCount = 4;

    /// plannedTicks (at least 1) fixes the horizontal scale: the last tick reaches the right edge.
    explicit StrainTracePanel(int plannedTicks);

    /// One tick's longitudinal, circumferential, radial strain (percent) and twist (degrees).
    /// Values that are not finite break their curve there.
    void addTick(const std::array<double, kCurveCount>& values);
    int ticks() const { return static_cast<int>(m_samples.size()); }
    /// Half the value range drawn: the largest finite magnitude so far rounded up to a multiple of
    /// 10, at least 10.
    double scale() const;

    /// Paints the panel over the columns x0 to x0 + width - 1 and the rows y0 to y0 + height - 1 of
    /// image; what falls outside the image is left out.
    void paint(RgbImage& image, int x0, int width, int y0, int height) const;

    /// Curve colours, as the window's strain plot draws them.
    static constexpr std::array<std::array<unsigned char, 3>, kCurveCount> kColours = {
        {{0x40, 0xA0, 0xFF}, {0x30, 0xD0, 0x50}, {0xFF, 0xA0, 0x20}, {0xF0, 0xF0, 0xF0}}};

   private:
    int m_plannedTicks;
    std::vector<std::array<double, kCurveCount>> m_samples;
    double m_largest = 0.0;
};
