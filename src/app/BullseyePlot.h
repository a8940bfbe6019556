// BullseyePlot: the 17 AHA segments' strain at end-systole as a bull's-eye, drawn into an
// off-screen image for the volume dialog.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>

#include "model/DeformationIndices.h"

/// The standard AHA layout seen from the apex: the basal ring (1-6) outside, the mid ring (7-12),
/// the apical ring (13-16) and the apex (17) in the centre; anterior at the top, septum on the left,
/// inferior at the bottom, lateral on the right. Each segment is filled with the colour of the
/// chosen strain on a scale symmetric about 0 (red shortening, white none, blue lengthening, as
/// echocardiography shows it) and carries its value; a colour bar with the scale's ends runs along
/// the bottom. Drawing text needs a QGuiApplication. User-interface thread only.
class BullseyePlot {
   public:
    enum Strain { Longitudinal = 0, Circumferential = 1, Radial = 2 };

    /// Makes the image of width x height pixels (each at least 40).
    void initialise(int width, int height);
    bool isInitialised() const { return m_width > 0; }
    void setStrain(Strain strain) { m_strain = strain; }
    Strain strain() const { return m_strain; }

    /// Draws the segments of values (at end-systole) in the chosen strain; without values, or
    /// without segments, the empty rings with message in the middle.
    void draw(const DeformationIndexValues* values, const QString& message);

    int width() const { return m_width; }
    int height() const { return m_height; }
    const QImage& image() const { return m_image; }
    /// Image pixel in the middle of a segment's patch (1..17), where its value is written.
    QPoint segmentCentre(int segment) const;
    /// Outer radius of the bull's-eye and its centre, in pixels.
    int radius() const { return m_radius; }
    QPoint centre() const { return m_centre; }
    /// The colour scale's end (percent): the largest segment magnitude drawn last, rounded up to a
    /// multiple of 5, at least 5.
    double limit() const { return m_limit; }
    /// The scale's colour of value: red at -limit, white at 0, blue at +limit, clamped beyond.
    static QColor colourFor(double value, double limit);
    /// The strain's name as the title shows it ("longitudinal", ...).
    static const char* strainName(Strain strain);

   private:
    int m_width = 0, m_height = 0;
    QImage m_image;
    Strain m_strain = Longitudinal;
    QPoint m_centre;
    int m_radius = 0;
    double m_limit = 5.0;
};
