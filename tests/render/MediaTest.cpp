// Pictures and movies from RGB frames: PNG round trips and refusals, the movie palette, the
// encoder's output read back by ffprobe, files that appear only when complete, the volume panel.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <set>

#include "common/TestFiles.h"
#include "media/AtomicFile.h"
#include "media/GifPalette.h"
#include "media/MovieEncoder.h"
#include "media/PngFile.h"
#include "media/StrainTracePanel.h"
#include "media/VolumeTracePanel.h"

namespace {

/// A picture whose every pixel differs from its neighbours: x, y and their sum in the channels.
RgbImage pattern(int width, int height, int phase = 0) {
    RgbImage image;
    image.resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image.pixels[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 7 + phase);
            p[1] = static_cast<std::uint8_t>(y * 5);
            p[2] = static_cast<std::uint8_t>(x + y + 3 * phase);
        }
    return image;
}

/// Names in a folder, without "." and "..".
std::set<std::string> folderEntries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.insert(entry->d_name);
        closedir(dir);
    }
    return names;
}

bool haveFfprobe() { return std::system("command -v ffprobe > /dev/null 2>&1") == 0; }

/// "codec,width,height,frames" of the first video stream, as ffprobe decodes it.
std::string probe(const std::string& path, const testfiles::TempDir& scratch) {
    const testfiles::RunResult run = testfiles::runCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
            path + "'",
        scratch.path());
    std::string out = run.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
    return out;
}

}  // namespace

TEST(PngFileTest, WritesAPictureThatReadsBackExactlyAndRefusesWhatItCannotWrite) {
    testfiles::TempDir dir;
    const RgbImage image = pattern(37, 21);  // odd sizes: no row padding may creep in
    std::string error;
    ASSERT_TRUE(writePng(dir.file("p.png"), image, error)) << error;
    RgbImage back;
    ASSERT_TRUE(readPng(dir.file("p.png"), back, error)) << error;
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.height, 21);
    EXPECT_TRUE(back.pixels == image.pixels);
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"p.png"});

    // A missing folder, a folder in the way of the name, an empty picture: one message each, and
    // the existing picture is untouched.
    EXPECT_FALSE(writePng(dir.file("missing/p.png"), image, error));
    EXPECT_NE(error.find("missing/p.png"), std::string::npos) << error;
    mkdir(dir.file("taken.png").c_str(), 0755);
    EXPECT_FALSE(writePng(dir.file("taken.png"), image, error));
    EXPECT_NE(error.find("taken.png"), std::string::npos) << error;
    EXPECT_FALSE(writePng(dir.file("p.png"), RgbImage(), error));
    ASSERT_TRUE(readPng(dir.file("p.png"), back, error));
    EXPECT_TRUE(back.pixels == image.pixels);
    EXPECT_EQ(folderEntries(dir.path()), (std::set<std::string>{"p.png", "taken.png"}));

    testfiles::writeText(dir.file("text.png"), "not a picture");
    EXPECT_FALSE(readPng(dir.file("text.png"), back, error));
    EXPECT_FALSE(error.empty());
}

TEST(GifPaletteTest, FewColoursAreKeptExactlyAndManyAreApproximatedClosely) {
    // 200 distinct colours in distinct bins: each keeps its own exact entry.
    RgbImage few;
    few.resize(200, 3);
    for (int x = 0; x < 200; ++x)
        for (int y = 0; y < 3; ++y) {
            std::uint8_t* p = &few.pixels[(static_cast<size_t>(y) * 200 + x) * 3];
            p[0] = static_cast<std::uint8_t>((x % 8) * 32 + 5);
            p[1] = static_cast<std::uint8_t>((x / 8 % 5) * 48 + 2);
            p[2] = static_cast<std::uint8_t>((x / 40) * 40 + 1);
        }
    ColourHistogram histogram;
    histogram.add(few.pixels.data(), 600);
    const GifPalette palette = GifPalette::build(histogram);
    EXPECT_EQ(palette.colours().size(), 200u);
    std::vector<std::uint8_t> indices(600);
    palette.map(few.pixels.data(), 600, indices.data());
    for (size_t i = 0; i < 600; ++i)
        for (int k = 0; k < 3; ++k) ASSERT_EQ(palette.colours()[indices[i]][k], few.pixels[i * 3 + k]) << i;

    // A smooth picture of thousands of colours: 256 entries, every pixel within a few levels.
    const RgbImage many = pattern(160, 120);
    ColourHistogram manyHistogram;
    manyHistogram.add(many.pixels.data(), 160 * 120);
    const GifPalette approximate = GifPalette::build(manyHistogram);
    EXPECT_EQ(approximate.colours().size(), 256u);
    std::vector<std::uint8_t> mapped(160 * 120);
    approximate.map(many.pixels.data(), mapped.size(), mapped.data());
    double squared = 0.0;
    for (size_t i = 0; i < mapped.size(); ++i)
        for (int k = 0; k < 3; ++k) {
            const double d = approximate.colours()[mapped[i]][k] - many.pixels[i * 3 + k];
            squared += d * d;
        }
    const double rms = std::sqrt(squared / (mapped.size() * 3));
    EXPECT_LT(rms, 20.0);
    // The same histogram gives the same palette.
    const GifPalette again = GifPalette::build(manyHistogram);
    EXPECT_TRUE(again.colours() == approximate.colours());
    // Nothing counted: one black entry.
    EXPECT_EQ(GifPalette::build(ColourHistogram()).colours().size(), 1u);
}

class MovieEncoderTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MovieEncoderTest, FramesSizeAndCodecAreWhatFfprobeReads) {
    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe (package ffmpeg) is not installed";
    const std::string ext = GetParam();
    MovieSettings settings;
    ASSERT_TRUE(movieFormatOfPath("x." + ext, settings.format));
    std::string reason;
    if (!movieEncoderAvailable(settings.format, reason)) GTEST_SKIP() << reason;
    settings.width = 96;
    settings.height = 64;
    settings.fps = 25;
    testfiles::TempDir dir;
    const std::string path = dir.file("m." + ext);
    std::string error;
    auto encoder = MovieEncoder::open(path, settings, error);
    ASSERT_NE(encoder, nullptr) << error;
    for (int f = 0; f < 12; ++f) ASSERT_TRUE(encoder->addFrame(pattern(96, 64, f * 9), error)) << error;
    // Nothing is visible under the name until the movie is finished.
    EXPECT_FALSE(testfiles::exists(path));
    ASSERT_TRUE(encoder->finish(error)) << error;
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"m." + ext});
    const char* codec = ext == "mp4" ? "h264" : ext == "webm" ? "vp9" : "gif";
    EXPECT_EQ(probe(path, dir), std::string(codec) + ",96,64,12");
}

INSTANTIATE_TEST_SUITE_P(Formats, MovieEncoderTest, ::testing::Values("mp4", "webm", "gif"));

TEST(MovieEncoderRefusalTest, BadSizesNamesAndFramesAreRefusedAndAnAbandonedMovieLeavesNothing) {
    testfiles::TempDir dir;
    std::string error;
    MovieSettings settings;
    settings.width = 95;  // odd: 4:2:0 cannot hold it
    settings.height = 64;
    EXPECT_EQ(MovieEncoder::open(dir.file("odd.mp4"), settings, error), nullptr);
    EXPECT_NE(error.find("even"), std::string::npos) << error;
    settings.format = MovieFormat::Gif;
    EXPECT_EQ(MovieEncoder::open(dir.file("wrong.mp4"), settings, error), nullptr);  // name and format differ
    settings.width = 1;
    EXPECT_EQ(MovieEncoder::open(dir.file("tiny.gif"), settings, error), nullptr);
    settings.width = 96;
    settings.fps = 0;
    EXPECT_EQ(MovieEncoder::open(dir.file("still.gif"), settings, error), nullptr);
    settings.fps = 30;
    EXPECT_EQ(MovieEncoder::open(dir.file("missing/m.gif"), settings, error), nullptr);
    EXPECT_NE(error.find("missing/m.gif"), std::string::npos) << error;
    MovieFormat format;
    EXPECT_FALSE(movieFormatOfPath("movie.avi", format));
    EXPECT_FALSE(movieFormatOfPath("dir.mp4/movie", format));
    EXPECT_TRUE(movieFormatOfPath("MOVIE.WebM", format));
    EXPECT_EQ(format, MovieFormat::WebM);
    EXPECT_TRUE(folderEntries(dir.path()).empty());

    // A frame of another size breaks the movie off; dropped unfinished, nothing stays behind, and
    // an older file of that name survives.
    testfiles::writeText(dir.file("keep.gif"), "older");
    {
        auto encoder = MovieEncoder::open(dir.file("keep.gif"), settings, error);
        ASSERT_NE(encoder, nullptr) << error;
        EXPECT_TRUE(encoder->addFrame(pattern(96, 64), error)) << error;
        EXPECT_FALSE(encoder->addFrame(pattern(64, 96), error));
        EXPECT_NE(error.find("64x96"), std::string::npos) << error;
        EXPECT_FALSE(encoder->finish(error));
    }
    {
        auto empty = MovieEncoder::open(dir.file("empty.gif"), settings, error);
        ASSERT_NE(empty, nullptr) << error;
        EXPECT_FALSE(empty->finish(error));
        EXPECT_NE(error.find("no frames"), std::string::npos) << error;
    }
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"keep.gif"});
    EXPECT_EQ(testfiles::readText(dir.file("keep.gif")), "older");
}

TEST(VolumeTracePanelTest, EjectionFractionAndCurvesFollowTheLeftVentricle) {
    VolumeTracePanel panel(4);
    EXPECT_EQ(panel.ejectionFraction(), 0.0);
    panel.addTick({50, 100, 30, 30});
    panel.addTick({40, 60, 35, 30});
    panel.addTick({45, 80, 32, 30});
    EXPECT_NEAR(panel.ejectionFraction(), 40.0, 1e-12);
    EXPECT_EQ(panel.scale(), 100.0);

    RgbImage image = pattern(200, 240);
    const RgbImage before = image;
    panel.paint(image, 100, 100);
    // The left half is untouched; the panel holds the left ventricle's red and the right ventricle's
    // orange.
    for (int y = 0; y < 240; ++y) ASSERT_EQ(0, std::memcmp(image.pixel(0, y), before.pixel(0, y), 100 * 3)) << y;
    int red = 0, orange = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 100; x < 200; ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            red += p[0] == 0xFF && p[1] == 0x10 && p[2] == 0x10;
            orange += p[0] == 0xFF && p[1] == 0xAA && p[2] == 0x00;
        }
    EXPECT_GT(red, 20);
    EXPECT_GT(orange, 20);
}

TEST(StrainTracePanelTest, CurvesStayInTheirBandWithShorteningBelowTheZeroLine) {
    StrainTracePanel panel(3);
    EXPECT_EQ(panel.scale(), 10.0);
    panel.addTick({-15, -25, 38, 8});
    panel.addTick({-18, -28, 40, 10});
    EXPECT_EQ(panel.scale(), 40.0);
    panel.addTick({std::nan(""), -30, 41, 12});
    EXPECT_EQ(panel.scale(), 50.0);

    RgbImage image = pattern(200, 240);
    const RgbImage before = image;
    panel.paint(image, 100, 100, 120, 120);
    // Only the band is painted: the rows above it (the volume plot's) and the heart's columns stay.
    for (int y = 0; y < 120; ++y) ASSERT_EQ(0, std::memcmp(image.pixel(0, y), before.pixel(0, y), 200 * 3)) << y;
    for (int y = 120; y < 240; ++y) ASSERT_EQ(0, std::memcmp(image.pixel(0, y), before.pixel(0, y), 100 * 3)) << y;
    // Circumferential shortening (green) is drawn below the radial thickening (orange).
    auto rows = [&](const std::array<unsigned char, 3>& colour) {
        long long sum = 0, count = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 100; x < 200; ++x)
                if (std::memcmp(image.pixel(x, y), colour.data(), 3) == 0) sum += y, ++count;
        return std::make_pair(count, count ? static_cast<double>(sum) / count : 0.0);
    };
    const auto green = rows(StrainTracePanel::kColours[StrainTracePanel::Circumferential]);
    const auto orange = rows(StrainTracePanel::kColours[StrainTracePanel::Radial]);
    ASSERT_GT(green.first, 20);
    ASSERT_GT(orange.first, 20);
    EXPECT_GT(green.second, orange.second + 20);
}
