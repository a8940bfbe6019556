// PanelCanvas: pixels, rectangles, thick lines and a built-in 5 x 7 font on an RgbImage, for the
// plot panels a movie shows beside the heart.
#pragma once

#include "media/RgbImage.h"

/// Draws into a rectangle of an image (columns x0 .. x0 + width - 1, rows y0 .. y0 + height - 1);
/// whatever falls outside it or outside the image is left out. Holds a reference to the image,
/// which must outlive it. Plain helper; any thread, one image per canvas.
class PanelCanvas {
   public:
    PanelCanvas(RgbImage& image, int x0, int width, int y0, int height);

    void set(int x, int y, const unsigned char* colour);
    void fillRect(int x, int y, int w, int h, const unsigned char* colour);
    /// A line of the given thickness: a square brush stamped along the longer axis.
    void line(int xa, int ya, int xb, int yb, int thickness, const unsigned char* colour);
    /// Text in the built-in font (digits, the capitals A-Z, space, and . % - + /), each font pixel
    /// scale x scale pixels, top-left at (x, y); other characters leave a gap. Returns the end x.
    int text(int x, int y, const char* s, int scale, const unsigned char* colour);
    /// Width in pixels of text at scale.
    static int textWidth(const char* s, int scale);

   private:
    RgbImage& m_image;
    int m_x0, m_x1, m_y0, m_y1;
};
