// GifPalette: histogram, median cut and the nearest-colour table.
#include "media/GifPalette.h"

#include <algorithm>

ColourHistogram::ColourHistogram() : m_count(kBins, 0), m_sum(kBins, {0, 0, 0}) {}

void ColourHistogram::add(const std::uint8_t* rgb, size_t pixelCount) {
    for (size_t i = 0; i < pixelCount; ++i, rgb += 3) {
        const std::uint16_t bin = binOf(rgb[0], rgb[1], rgb[2]);
        ++m_count[bin];
        m_sum[bin][0] += rgb[0];
        m_sum[bin][1] += rgb[1];
        m_sum[bin][2] += rgb[2];
    }
    m_total += pixelCount;
}

std::array<std::uint8_t, 3> ColourHistogram::meanColour(int bin) const {
    const std::uint64_t n = m_count[bin];
    if (n == 0) return {0, 0, 0};
    std::array<std::uint8_t, 3> c;
    for (int k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>((m_sum[bin][k] + n / 2) / n);
    return c;
}

namespace {

/// A box of median cut: a range of the sorted bin list.
struct Box {
    size_t begin, end;
    int widestChannel = 0;
    int span = 0;  ///< of the widest channel, in 8-bit levels of the bins' mean colours
};

void measure(Box& box, const std::vector<std::array<std::uint8_t, 3>>& colour, const std::vector<int>& bins) {
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (size_t i = box.begin; i < box.end; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min<int>(lo[k], colour[bins[i]][k]);
            hi[k] = std::max<int>(hi[k], colour[bins[i]][k]);
        }
    box.span = -1;
    for (int k = 0; k < 3; ++k)
        if (hi[k] - lo[k] > box.span) {
            box.span = hi[k] - lo[k];
            box.widestChannel = k;
        }
}

}  // namespace

GifPalette GifPalette::build(const ColourHistogram& histogram, int maxColours) {
    maxColours = std::clamp(maxColours, 1, 256);
    GifPalette palette;
    std::vector<std::array<std::uint8_t, 3>> colour(ColourHistogram::kBins);
    std::vector<int> bins;
    for (int b = 0; b < ColourHistogram::kBins; ++b)
        if (histogram.m_count[b] > 0) {
            bins.push_back(b);
            colour[b] = histogram.meanColour(b);
        }
    std::vector<Box> boxes;
    if (!bins.empty()) {
        boxes.push_back({0, bins.size()});
        measure(boxes[0], colour, bins);
    }
    while (static_cast<int>(boxes.size()) < maxColours) {
        // The box to split: the widest span among boxes of more than one bin (first on a tie, so
        // the result does not depend on anything but the histogram).
        int pick = -1;
        for (size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].end - boxes[i].begin > 1 && (pick < 0 || boxes[i].span > boxes[pick].span))
                pick = static_cast<int>(i);
        if (pick < 0) break;
        Box box = boxes[pick];
        const int k = box.widestChannel;
        std::sort(bins.begin() + box.begin, bins.begin() + box.end,
                  [&](int a, int b) { return colour[a][k] != colour[b][k] ? colour[a][k] < colour[b][k] : a < b; });
        std::uint64_t total = 0;
        for (size_t i = box.begin; i < box.end; ++i) total += histogram.m_count[bins[i]];
        // Split after the bin where half the pixels are reached, keeping both halves non-empty.
        std::uint64_t running = 0;
        size_t cut = box.begin + 1;
        for (size_t i = box.begin; i + 1 < box.end; ++i) {
            running += histogram.m_count[bins[i]];
            cut = i + 1;
            if (2 * running >= total) break;
        }
        Box low{box.begin, cut}, high{cut, box.end};
        measure(low, colour, bins);
        measure(high, colour, bins);
        boxes[pick] = low;
        boxes.push_back(high);
    }
    for (const Box& box : boxes) {
        std::uint64_t n = 0, sum[3] = {0, 0, 0};
        for (size_t i = box.begin; i < box.end; ++i) {
            n += histogram.m_count[bins[i]];
            for (int k = 0; k < 3; ++k) sum[k] += histogram.m_sum[bins[i]][k];
        }
        std::array<std::uint8_t, 3> c;
        for (int k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>((sum[k] + n / 2) / n);
        palette.m_colours.push_back(c);
    }
    if (palette.m_colours.empty()) palette.m_colours.push_back({0, 0, 0});

    // Every bin maps to the palette colour nearest to what it stands for: its pixels' mean where it
    // was seen, its centre otherwise.
    palette.m_lookup.assign(ColourHistogram::kBins, 0);
    for (int b = 0; b < ColourHistogram::kBins; ++b) {
        std::array<int, 3> c;
        if (histogram.m_count[b] > 0) {
            for (int k = 0; k < 3; ++k) c[k] = colour[b][k];
        } else {
            const int parts[3] = {(b >> 10) & 31, (b >> 5) & 31, b & 31};
            for (int k = 0; k < 3; ++k) c[k] = parts[k] << 3 | 4;
        }
        int best = 0;
        long bestDistance = -1;
        for (size_t i = 0; i < palette.m_colours.size(); ++i) {
            long d = 0;
            for (int k = 0; k < 3; ++k) {
                const long diff = c[k] - palette.m_colours[i][k];
                d += diff * diff;
            }
            if (bestDistance < 0 || d < bestDistance) {
                bestDistance = d;
                best = static_cast<int>(i);
            }
        }
        palette.m_lookup[b] = static_cast<std::uint8_t>(best);
    }
    return palette;
}

void GifPalette::map(const std::uint8_t* rgb, size_t pixelCount, std::uint8_t* indices) const {
    for (size_t i = 0; i < pixelCount; ++i, rgb += 3)
        indices[i] = m_lookup[ColourHistogram::binOf(rgb[0], rgb[1], rgb[2])];
}

void GifPalette::mapBins(const std::uint16_t* bins, size_t pixelCount, std::uint8_t* indices) const {
    for (size_t i = 0; i < pixelCount; ++i) indices[i] = m_lookup[bins[i]];
}
