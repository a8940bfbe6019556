// StrainPlot: the global strains and the twist over the beat cycle shown by the volume dialog, and
// the end-systole of the last cycle the bull's-eye shows; drawn into an off-screen image.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <vector>

#include "model/DeformationIndices.h"

/// One column per pixel across the cycle (time / cycle length from 0 at the left to 1 at the
/// right). A sample goes to the column of its cycle phase, replacing what the previous cycle left
/// there; the columns its sweep passed over since the previous sample are emptied, so the plot shows
/// the current cycle up to the cursor and the last cycle beyond it. Alongside each sample the
/// left-ventricular volume is kept: the stored sample with the smallest volume is the end-systole
/// of the last cycle. Drawing text needs a QGuiApplication. User-interface thread only.
class StrainPlot {
   public:
    enum Curve { Longitudinal = 0, Circumferential = 1, Radial = 2, Twist = 3 };
    static constexpr int kCurveCount = 4;
    /// Space on the left for the value labels and on top for the legend, in pixels.
    static constexpr int kLeftMargin = 30;
    static constexpr int kTopMargin = 16;

    /// Makes the image of width x height pixels (each at least kLeftMargin + 2 and kTopMargin + 2)
    /// and empties every column.
    void initialise(int width, int height);
    bool isInitialised() const { return m_width > 0; }
    /// Empties every column (a new model or a new set-up of the indices).
    void clear();

    /// Stores one measured state at cycle phase (wrapped into [0, 1)) with the left-ventricular
    /// volume at it. Unavailable values are not stored. Nothing before initialise.
    void addSample(double phase, double leftVolume, const DeformationIndexValues& values);
    /// The text shown instead of the curves (why nothing is measured); empty shows the curves.
    void setMessage(const QString& message) { m_message = message; }
    const QString& message() const { return m_message; }
    /// Background, the zero and guide lines, the four curves, the cursor and the legend.
    void draw();

    int width() const { return m_width; }
    int height() const { return m_height; }
    const QImage& image() const { return m_image; }
    long long samplesTaken() const { return m_samplesTaken; }
    /// Image column of a cycle phase, and whether a column holds a sample and its value.
    int columnOf(double phase) const;
    bool hasSample(int column) const { return column >= 0 && column < m_plotWidth && m_filled[column]; }
    double value(Curve curve, int column) const;
    /// The stored sample of the smallest left-ventricular volume (the leftmost column on ties);
    /// null when no column holds one.
    const DeformationIndexValues* endSystole() const;
    /// Half the value range drawn (percent or degrees): the largest magnitude stored, rounded up to
    /// a multiple of 10, at least 10.
    double scale() const { return m_scale; }
    /// Image row of a value at the current scale.
    int rowOf(double value) const;
    static QColor curveColour(Curve curve);

   private:
    int m_width = 0, m_height = 0;
    /// Columns of the plot area (right of the labels).
    int m_plotWidth = 0;
    QImage m_image;
    std::vector<char> m_filled;
    std::vector<double> m_leftVolumes;
    std::vector<DeformationIndexValues> m_samples;
    int m_lastColumn = -1;
    long long m_samplesTaken = 0;
    double m_scale = 10.0;
    QString m_message;
};
