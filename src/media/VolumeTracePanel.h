// VolumeTracePanel: the four chamber volumes of a movie drawn as curves over its ticks, with the
// left ventricle's ejection fraction, for a panel beside the heart.
#pragma once

#include <array>
#include <vector>

#include "media/RgbImage.h"

/// Collects the chamber volumes tick by tick (right ventricle, left ventricle, right atrium, left
/// atrium, in the model's order) and paints them in the colours of the window's volume plot: black
/// background, guide lines at 100, 75, 50 and 25 % of the largest volume so far, one curve per
/// chamber from the first tick to the latest across the planned ticks, and "LV EF xx.x %" with a
/// legend at the top. Plain data; no text engine (a built-in 5 x 7 digit font).
class VolumeTracePanel {
   public:
    /// plannedTicks (at least 1) fixes the horizontal scale: the last tick reaches the right edge.
    explicit VolumeTracePanel(int plannedTicks);

    void addTick(const std::array<double, 4>& volumes);
    int ticks() const { return static_cast<int>(m_samples.size()); }
    /// (max - min) / max * 100 of the left ventricle's volumes so far; 0 before a positive volume.
    double ejectionFraction() const;
    /// Largest volume of any chamber so far (0 before the first tick).
    double scale() const { return m_scale; }

    /// Paints the panel over the columns x0 to x0 + width - 1 of image, all rows. Columns outside
    /// the image are left out.
    void paint(RgbImage& image, int x0, int width) const;
    /// The same over the rows y0 to y0 + height - 1 only (the text scales with height).
    void paint(RgbImage& image, int x0, int width, int y0, int height) const;

    /// Curve colours, as the window's plot draws them.
    static constexpr std::array<std::array<unsigned char, 3>, 4> kColours = {
        {{0xFF, 0xAA, 0x00}, {0xFF, 0x10, 0x10}, {0xFF, 0x00, 0xDD}, {0x80, 0x80, 0xFF}}};

   private:
    int m_plannedTicks;
    std::vector<std::array<double, 4>> m_samples;
    double m_scale = 0.0;
    double m_lvMin = 0.0, m_lvMax = 0.0;
};
