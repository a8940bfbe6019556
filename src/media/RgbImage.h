// RgbImage: a picture as 8-bit RGB triples, rows from the top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

/// A picture of width x height pixels, three bytes (red, green, blue) per pixel, rows from the top
/// and no padding between rows. Plain data; any thread.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    /// Sets the size and makes room for it (contents unspecified).
    void resize(int w, int h) {
        width = w;
        height = h;
        pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    }
    bool empty() const { return width <= 0 || height <= 0; }
    const std::uint8_t* pixel(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
};
