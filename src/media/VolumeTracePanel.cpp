// VolumeTracePanel: a small rasteriser for the curves, the guide lines and the digits.
#include "media/VolumeTracePanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

/// Rows of a 5 x 7 glyph, bit 4 the leftmost column.
struct Glyph {
    char c;
    unsigned char rows[7];
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

class Canvas {
   public:
    Canvas(RgbImage& image, int x0, int width) : m_image(image), m_x0(x0), m_x1(std::min(x0 + width, image.width)) {}

    void set(int x, int y, const unsigned char* colour) {
        if (x < std::max(m_x0, 0) || x >= m_x1 || y < 0 || y >= m_image.height) return;
        std::memcpy(&m_image.pixels[(static_cast<size_t>(y) * m_image.width + x) * 3], colour, 3);
    }
    void fillRect(int x, int y, int w, int h, const unsigned char* colour) {
        for (int yy = y; yy < y + h; ++yy)
            for (int xx = x; xx < x + w; ++xx) set(xx, yy, colour);
    }
    /// A line of the given thickness: a square brush stamped along the longer axis.
    void line(int xa, int ya, int xb, int yb, int thickness, const unsigned char* colour) {
        const int steps = std::max(std::abs(xb - xa), std::abs(yb - ya));
        const int half = thickness / 2;
        for (int s = 0; s <= steps; ++s) {
            const double t = steps == 0 ? 0.0 : static_cast<double>(s) / steps;
            const int x = static_cast<int>(std::lround(xa + t * (xb - xa)));
            const int y = static_cast<int>(std::lround(ya + t * (yb - ya)));
            fillRect(x - half, y - half, thickness, thickness, colour);
        }
    }
    /// Text in the built-in font, each font pixel scale x scale pixels; returns the end x.
    int text(int x, int y, const char* s, int scale, const unsigned char* colour) {
        for (; *s; ++s) {
            for (const Glyph& g : kGlyphs)
                if (g.c == *s)
                    for (int row = 0; row < 7; ++row)
                        for (int col = 0; col < 5; ++col)
                            if (g.rows[row] & (0x10 >> col))
                                fillRect(x + col * scale, y + row * scale, scale, scale, colour);
            x += 6 * scale;
        }
        return x;
    }

   private:
    RgbImage& m_image;
    int m_x0, m_x1;
};

}  // namespace

VolumeTracePanel::VolumeTracePanel(int plannedTicks) : m_plannedTicks(std::max(plannedTicks, 1)) {}

void VolumeTracePanel::addTick(const std::array<double, 4>& volumes) {
    m_samples.push_back(volumes);
    for (double v : volumes)
        if (std::isfinite(v)) m_scale = std::max(m_scale, v);
    const double lv = volumes[1];
    if (std::isfinite(lv) && lv > 0.0) {
        if (m_lvMax <= 0.0) {
            m_lvMin = m_lvMax = lv;
        } else {
            m_lvMin = std::min(m_lvMin, lv);
            m_lvMax = std::max(m_lvMax, lv);
        }
    }
}

double VolumeTracePanel::ejectionFraction() const {
    return m_lvMax > 0.0 ? (m_lvMax - m_lvMin) / m_lvMax * 100.0 : 0.0;
}

void VolumeTracePanel::paint(RgbImage& image, int x0, int width) const {
    Canvas canvas(image, x0, width);
    const unsigned char black[3] = {0, 0, 0}, white[3] = {255, 255, 255}, grey[3] = {110, 110, 110};
    canvas.fillRect(x0, 0, width, image.height, black);
    const int scale = std::max(1, image.height / 240);
    const int margin = 4 * scale;
    const int top = margin + 24 * scale;  // below the two lines of text
    const int bottom = image.height - margin;
    const int left = x0 + margin, right = x0 + width - margin;
    if (bottom <= top || right <= left) return;

    // Guide lines at 100, 75, 50 and 25 % of the scale.
    for (int q = 4; q >= 1; --q) {
        const int y = bottom - (bottom - top) * q / 4;
        canvas.fillRect(left, y, right - left, 1, q == 4 ? white : grey);
    }
    canvas.fillRect(left, bottom, right - left, 1, grey);

    auto rowOf = [&](double v) {
        if (!(m_scale > 0.0) || !std::isfinite(v)) return bottom;
        const double clamped = std::clamp(v / m_scale, 0.0, 1.0);
        return bottom - static_cast<int>(std::lround(clamped * (bottom - top)));
    };
    auto columnOf = [&](int tick) {
        return left + static_cast<int>(std::lround(static_cast<double>(tick) / m_plannedTicks * (right - left)));
    };
    const int pen = std::max(2, 2 * scale);
    // Left ventricle last, on top.
    for (int chamber : {0, 2, 3, 1}) {
        const unsigned char* colour = kColours[chamber].data();
        for (size_t t = 1; t < m_samples.size(); ++t)
            canvas.line(columnOf(static_cast<int>(t)), rowOf(m_samples[t - 1][chamber]),
                        columnOf(static_cast<int>(t) + 1), rowOf(m_samples[t][chamber]), pen, colour);
        if (m_samples.size() == 1)
            canvas.line(columnOf(1), rowOf(m_samples[0][chamber]), columnOf(1), rowOf(m_samples[0][chamber]), pen,
                        colour);
    }

    char text[32];
    std::snprintf(text, sizeof(text), "LV EF %.1f%%", ejectionFraction());
    canvas.text(left, margin, text, 2 * scale, white);
    // The legend: each chamber's name in its colour.
    const char* names[4] = {"RV", "LV", "RA", "LA"};
    int x = left;
    for (int chamber = 0; chamber < 4; ++chamber)
        x = canvas.text(x, margin + 16 * scale, names[chamber], scale, kColours[chamber].data()) + 4 * scale;
}
