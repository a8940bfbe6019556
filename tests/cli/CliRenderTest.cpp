// velmora-cli render and movie run as programs with DISPLAY unset: repeatable pictures of the
// heart, movies whose frames, size and codec ffprobe reads back, and the refused arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

#include "common/TestFiles.h"
#include "media/PngFile.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

/// Without any X server: DISPLAY (and a Wayland socket) removed from the program's environment.
/// Relative paths are the test folder's.
RunResult run(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand("cd '" + dir.path() +
                                     "' && env -u DISPLAY -u WAYLAND_DISPLAY OMP_WAIT_POLICY=passive '" +
                                     testfiles::binDir() + "/velmora-cli' " + args,
                                 dir.path());
}

std::string model(const char* name) { return "'" + testfiles::sourceDir() + "/models/" + name + "'"; }

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool haveFfprobe() { return std::system("command -v ffprobe > /dev/null 2>&1") == 0; }

std::string probe(const std::string& path, const TempDir& dir) {
    const RunResult r = testfiles::runCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
            path + "'",
        dir.path());
    std::string out = r.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
    return out;
}

/// Pixels of the strain plot's circumferential green (its curve and its legend) in the plot panel
/// of a movie's frame (0-based), in the panel's upper and lower half; {-1, -1} when ffmpeg cannot
/// decode the frame.
std::pair<int, int> strainGreenInPanel(const std::string& movie, int frame, const TempDir& dir) {
    const std::string png = dir.file("frame.png");
    testfiles::runCommand("ffmpeg -v error -y -i '" + movie + "' -vf 'select=eq(n\\," + std::to_string(frame) +
                              ")' -frames:v 1 '" + png + "'",
                          dir.path());
    RgbImage image;
    std::string error;
    if (!readPng(png, image, error)) return {-1, -1};
    const int panelLeft = image.width - ((image.width * 3 / 10) & ~1);
    std::pair<int, int> counts{0, 0};
    for (int y = 0; y < image.height; ++y)
        for (int x = panelLeft; x < image.width; ++x) {
            const unsigned char* p = image.pixel(x, y);
            if (std::abs(p[0] - 0x30) <= 24 && std::abs(p[1] - 0xD0) <= 24 && std::abs(p[2] - 0x50) <= 24)
                ++(y < image.height / 2 ? counts.first : counts.second);
        }
    return counts;
}

int lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace

TEST(CliRenderTest, TheHeartsPictureIsTheSameOnASecondRunAndShowsTheHeartInTheMiddle) {
    TempDir dir;
    const std::string args = model("ModelB") + " '%s' --size 320x240 --camera fit --show walls --quiet";
    const auto render = [&](const std::string& out) {
        std::string line = args;
        line.replace(line.find("%s"), 2, out);
        return run("render " + line, dir);
    };
    const RunResult first = render(dir.file("a.png"));
    ASSERT_EQ(first.status, 0) << first.err;
    const RunResult second = render(dir.file("b.png"));
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(fileBytes(dir.file("a.png")), fileBytes(dir.file("b.png")));

    RgbImage image;
    std::string error;
    ASSERT_TRUE(readPng(dir.file("a.png"), image, error)) << error;
    ASSERT_EQ(image.width, 320);
    ASSERT_EQ(image.height, 240);
    // The background gradient has no red at all; the heart's wall is red.
    int heart = 0, total = 0;
    for (int y = 80; y < 160; ++y)
        for (int x = 107; x < 213; ++x, ++total) heart += image.pixel(x, y)[0] > 60 ? 1 : 0;
    EXPECT_GT(heart, total / 2);
    int redInCorners = 0;
    for (int y = 0; y < 10; ++y) redInCorners += image.pixel(0, y)[0] + image.pixel(319, 239 - y)[0];
    EXPECT_EQ(redInCorners, 0);
}

TEST(CliRenderTest, MoviesOfAHundredTicksHaveAFramePerTickOfTheAskedSizeAndCodec) {
    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe (package ffmpeg) is not installed";
    TempDir dir;
    // The tube beats fast enough for a hundred ticks in a test; the heart gets a short movie at the
    // full size.
    RunResult r =
        run("movie " + model("Tube") + " '" + dir.file("t.mp4") + "' --ticks 100 --size 160x120 --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probe(dir.file("t.mp4"), dir), "h264,160,120,100");
    r = run(
        "movie " + model("Tube") + " '" + dir.file("t.gif") + "' --ticks 100 --every 4 --size 161x121 --plot --quiet",
        dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probe(dir.file("t.gif"), dir), "gif,161,121,25");
    // The strain plot goes below the volume plot when the left ventricle can be measured, and is
    // left out without a left-ventricular wall (the heart's mesh without its project file).
    r = run("movie " + model("ModelB") + " '" + dir.file("p.gif") + "' --ticks 12 --every 3 --size 320x240 --plot",
            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("with the volume and strain plots"), std::string::npos) << r.out;
    const std::pair<int, int> measured = strainGreenInPanel(dir.file("p.gif"), 3, dir);
    EXPECT_EQ(measured.first, 0);
    EXPECT_GT(measured.second, 40);
    ASSERT_EQ(std::system(("cp " + model("ModelB") + ".node " + model("ModelB") + ".ele '" + dir.path() + "'").c_str()),
              0);
    r = run("movie '" + dir.file("ModelB") + "' '" + dir.file("w.gif") + "' --ticks 12 --every 3 --size 320x240 --plot",
            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("with the volume plot\n"), std::string::npos) << r.out;
    EXPECT_EQ(strainGreenInPanel(dir.file("w.gif"), 3, dir), std::make_pair(0, 0));
    r = run("movie " + model("ModelB") + " '" + dir.file("h.webm") + "' --ticks 3 --size 1280x960 --camera fit", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probe(dir.file("h.webm"), dir), "vp9,1280,960,3");
    // Not on a terminal: no progress bar, only the summary line.
    EXPECT_NE(r.out.find("3 frames"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("frames\r"), std::string::npos);
    EXPECT_EQ(r.err.find("[#"), std::string::npos);
}

TEST(CliRenderTest, BadSizesSwitchesPathsAndNamesAreRefusedWithOneMessageAndNoFile) {
    TempDir dir;
    testfiles::writeText(dir.file("plain.txt"), "a file, not a folder");
    const struct {
        std::string args;
        std::string expected;
    } cases[] = {
        {"render " + model("Tube") + " out.png --size 640x", "WIDTHxHEIGHT"},
        {"render " + model("Tube") + " out.png --size 0x480", "from 1 to 8192"},
        {"render " + model("Tube") + " out.png --show mesh,fibers", "'fibers'"},
        {"render " + model("Tube") + " out.png --camera above", "'above'"},
        {"render " + model("Tube") + " out.jpg", "does not end in .png"},
        {"render " + model("Tube") + " plain.txt/out.png", "plain.txt/out.png"},
        {"render " + model("Tube") + " missing/out.png", "missing/out.png"},
        {"movie " + model("Tube") + " out.mp4 --size 641x480", "even"},
        {"movie " + model("Tube") + " out.mov", ".mp4, .webm or .gif"},
        {"movie " + model("Tube") + " out.gif --show mesh,vertex", "'vertex'"},
        {"movie " + model("Tube") + " out.gif --fps 0", "frame rate"},
        {"movie " + model("Tube") + " missing/out.gif", "missing/out.gif"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.args + " --quiet", dir);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.err;
        EXPECT_EQ(lines(r.err), 1) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_FALSE(testfiles::exists(dir.file("out.png")));
    EXPECT_FALSE(testfiles::exists(dir.file("out.gif")));
    EXPECT_FALSE(testfiles::exists(dir.file("out.mp4")));
    // The temporaries are gone too: the folder holds only what the test wrote (and the captured
    // standard error).
    const RunResult listing = testfiles::runCommand("ls -A '" + dir.path() + "' | grep -v '^stderr.txt$'", dir.path());
    EXPECT_EQ(listing.out, "plain.txt\n");
}
