// GifPalette: a palette of at most 256 colours made for one movie, by median cut over a histogram
// of every frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

/// The colours of a movie counted in 32,768 bins (5 bits per channel). Each bin keeps its pixel
/// count and the sums of the exact 8-bit channels, so a palette entry is the mean of the real
/// colours it stands for, not a bin centre. Fed frame by frame; one thread at a time.
class ColourHistogram {
   public:
    static constexpr int kBins = 32768;
    ColourHistogram();
    /// Counts pixelCount RGB triples.
    void add(const std::uint8_t* rgb, size_t pixelCount);
    /// The bin of an 8-bit colour: r5 << 10 | g5 << 5 | b5.
    static std::uint16_t binOf(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        return static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    }
    std::uint64_t count(int bin) const { return m_count[bin]; }
    /// Mean colour of the pixels counted in bin (black when empty).
    std::array<std::uint8_t, 3> meanColour(int bin) const;
    std::uint64_t total() const { return m_total; }

   private:
    friend class GifPalette;
    std::vector<std::uint64_t> m_count;
    std::vector<std::array<std::uint64_t, 3>> m_sum;
    std::uint64_t m_total = 0;
};

/// The movie's palette and, for every bin, the index of its nearest palette colour (squared RGB
/// distance, the lower index on a tie). Built once after the last frame; any thread afterwards.
class GifPalette {
   public:
    /// Median cut (Heckbert): the populated bins start as one box; the box whose widest channel
    /// spans most is split at the pixel-weighted median of that channel until maxColours boxes exist
    /// or none can be split. Each box gives the mean of its pixels' colours. At most 256 colours;
    /// an empty histogram gives a one-colour black palette.
    static GifPalette build(const ColourHistogram& histogram, int maxColours = 256);

    const std::vector<std::array<std::uint8_t, 3>>& colours() const { return m_colours; }
    std::uint8_t indexOfBin(std::uint16_t bin) const { return m_lookup[bin]; }
    /// Palette indices of pixelCount RGB triples.
    void map(const std::uint8_t* rgb, size_t pixelCount, std::uint8_t* indices) const;
    /// Palette indices from bins (as ColourHistogram::binOf gives them).
    void mapBins(const std::uint16_t* bins, size_t pixelCount, std::uint8_t* indices) const;

   private:
    std::vector<std::array<std::uint8_t, 3>> m_colours;
    std::vector<std::uint8_t> m_lookup;
};
