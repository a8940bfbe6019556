// VolumePlot: the scrolling chamber-volume curves and the left-ventricle ejection fraction shown by
// the volume dialog, drawn into off-screen images.
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <vector>

/// Chamber volumes in the model's order: right ventricle, left ventricle, right atrium, left atrium.
using ChamberVolumes = std::array<double, 4>;

/// The plot behind the volume dialog. It keeps the last W samples of each chamber in rings (W is the
/// plot width in pixels, one sample per pixel column), draws them as four curves scaled to the
/// largest sample of the window and derives the left-ventricle ejection fraction over the same
/// window. Everything is drawn into QImages, so the plot is tested without a window; drawing text
/// needs a QGuiApplication. User-interface thread only.
class VolumePlot {
   public:
    /// Value the rings start with: until W samples have been taken the window's minimum stays at
    /// this, so the ejection fraction reads about 100 %.
    static constexpr double kInitialSample = 0.00001;
    /// The curves are drawn this many pixels below the row their value gives.
    static constexpr int kCurveOffset = 20;
    static constexpr int kPenWidth = 4;
    /// Chamber indices in the order of ChamberVolumes.
    enum Chamber { VR = 0, VL = 1, AR = 2, AL = 3 };

    /// Makes the background (black, white guide lines) and the drawing image of width x height
    /// pixels (each clamped to at least 1), fills the rings with kInitialSample and puts the newest
    /// index at 0. Called once, at the dialog's first paint.
    void initialise(int width, int height);
    bool isInitialised() const { return m_width > 0; }

    /// One paint with a model: stores the volumes as the newest sample, then redraws the image
    /// (background, the four curves, the ejection-fraction text). Does nothing before initialise.
    void addSampleAndDraw(const ChamberVolumes& volumes);
    /// The sampling half: stores the volumes as the newest sample and updates the scale and the
    /// ejection fraction with its text (the main loop samples every tick, draws per frame).
    void addSample(const ChamberVolumes& volumes);
    /// The drawing half: background, the four curves and the text of the last sample into the
    /// image. Nothing before the first sample.
    void draw();

    int width() const { return m_width; }
    int height() const { return m_height; }
    /// Index of the newest sample in the rings, 0 to W - 1.
    int ringPos() const { return m_ringPos; }
    /// The ring of one chamber (W values).
    const std::vector<double>& ring(Chamber chamber) const { return m_rings[chamber]; }
    /// Samples added since initialise.
    long long samplesTaken() const { return m_samplesTaken; }

    /// Largest sample of all four rings after the last sample (the value drawn on the top guide line).
    double scale() const { return m_scale; }
    /// Left-ventricle ejection fraction in percent after the last sample: (max - min) / max * 100 over
    /// the window; 0 when the window holds no positive left-ventricle volume.
    double ejectionFraction() const { return m_ejectionFraction; }
    /// The text drawn at the top of the plot, "LV EF : %.1f\n"; empty before the first sample.
    const QString& ejectionFractionText() const { return m_efText; }

    const QImage& background() const { return m_background; }
    const QImage& image() const { return m_image; }

    /// Pixel row of a sample of value v on a plot of the given height scaled to scale:
    /// height + 20 - int(height / scale * v). A scale that is not positive, or a value that gives no
    /// finite height, draws at the zero level (height + 20); rows are kept within int range.
    static int rowOf(double value, double scale, int height);
    /// Rows of the four guide lines, marking 100 %, 75 %, 50 % and 25 % of the scale.
    static std::array<int, 4> guideRows(int height);
    /// The rectangle the ejection-fraction text is drawn into: (50, 0) to (W - 50, 50).
    static QRect textRect(int width);

   private:
    void drawCurve(class QPainter& painter, const std::vector<double>& ring, const QColor& colour) const;

    int m_width = 0;
    int m_height = 0;
    QImage m_background;
    QImage m_image;
    int m_ringPos = 0;
    std::array<std::vector<double>, 4> m_rings;
    long long m_samplesTaken = 0;
    double m_scale = 0.0;
    double m_ejectionFraction = 0.0;
    QString m_efText;
};
