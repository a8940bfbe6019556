// Pictures without a window: the EGL context with DISPLAY unset, repeatable pixels, the row order
// of the read-back, the display switches and the refused sizes; the switch names without a context.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"
#include "offscreen/DisplaySwitches.h"
#include "offscreen/OffscreenRenderer.h"

namespace {

/// Colour levels the rasteriser may differ by from an exact gradient value.
constexpr int kLevelTolerance = 6;

bool near(const std::uint8_t* pixel, int r, int g, int b) {
    return std::abs(pixel[0] - r) <= kLevelTolerance && std::abs(pixel[1] - g) <= kLevelTolerance &&
           std::abs(pixel[2] - b) <= kLevelTolerance;
}

int countPixels(const RgbImage& image, bool (*test)(const std::uint8_t*)) {
    int n = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

bool isFrameYellow(const std::uint8_t* p) { return p[0] > 200 && p[1] > 200 && p[2] < 90; }
/// The background gradient has no red; the heart's surface is red.
bool isHeartRed(const std::uint8_t* p) { return p[0] > 60 && p[0] > p[1] + 20; }

/// The beating tube (1,200 vertices) loaded once for the suite, and the windowless context.
class OffscreenRendererTest : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        // No X server is involved: the test runs as it would on a machine without one.
        unsetenv("DISPLAY");
        DiagCapture quiet;
        s_controller = new MainWindowManager(nullptr, "");
        s_controller->loadModel(testfiles::sourceDir() + "/models/Tube");
    }
    static void TearDownTestSuite() {
        delete s_controller;
        s_controller = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(s_controller->model(), nullptr);
        std::string error;
        DiagCapture quiet;
        m_renderer = OffscreenRenderer::createHeadless(kWidth, kHeight, error);
        if (!m_renderer && error.find("no OpenGL without a window") != std::string::npos)
            GTEST_SKIP() << "this machine has no windowless OpenGL: " << error;
        ASSERT_NE(m_renderer, nullptr) << error;
    }

    RgbImage draw(OffscreenRenderer& renderer, const DisplaySwitches& show) {
        RgbImage image;
        std::string error;
        DiagCapture quiet;
        EXPECT_TRUE(renderer.renderStandardScene(*s_controller->model(), show, kStartSurfaceAlpha, 0.0, image, error))
            << error;
        return image;
    }

    static constexpr int kWidth = 320, kHeight = 240;
    static MainWindowManager* s_controller;
    std::unique_ptr<OffscreenRenderer> m_renderer;
};

MainWindowManager* OffscreenRendererTest::s_controller = nullptr;

}  // namespace

TEST_F(OffscreenRendererTest, ThePictureRepeatsBitForBitAndAnotherRendererOnTheSharedContextDrawsTheSame) {
    ASSERT_TRUE(fitCameraToModel(m_renderer->view(), *s_controller));
    const DisplaySwitches show = DisplaySwitches::ofWindowStart(*s_controller);
    const RgbImage first = draw(*m_renderer, show);
    const RgbImage second = draw(*m_renderer, show);
    ASSERT_EQ(first.width, kWidth);
    ASSERT_EQ(first.height, kHeight);
    EXPECT_TRUE(first.pixels == second.pixels);

    // A second renderer (its own framebuffer object, the same context and the drawing layer's
    // buffers uploaded by the first) and a smaller one in between.
    std::string error;
    auto small = OffscreenRenderer::createHeadless(64, 48, error);
    ASSERT_NE(small, nullptr) << error;
    const RgbImage tiny = draw(*small, show);
    EXPECT_EQ(tiny.width, 64);
    EXPECT_EQ(tiny.pixels.size(), 64u * 48u * 3u);
    auto other = OffscreenRenderer::createHeadless(kWidth, kHeight, error);
    ASSERT_NE(other, nullptr) << error;
    ASSERT_TRUE(fitCameraToModel(other->view(), *s_controller));
    EXPECT_TRUE(draw(*other, show).pixels == first.pixels);
    small.reset();
    EXPECT_TRUE(draw(*m_renderer, show).pixels == first.pixels);
}

TEST_F(OffscreenRendererTest, RowsComeTopDownWithTheWindowsBackgroundGradientAndTheHeartInTheMiddle) {
    ASSERT_TRUE(fitCameraToModel(m_renderer->view(), *s_controller));
    const RgbImage image = draw(*m_renderer, DisplaySwitches::none());
    // The view's gradient: black at the top, teal at the bottom, brighter to the right.
    EXPECT_TRUE(near(image.pixel(0, 0), 0, 0, 0));
    EXPECT_TRUE(near(image.pixel(kWidth - 1, 0), 0, 0, 0));
    EXPECT_TRUE(near(image.pixel(0, kHeight - 1), 0, 77, 77));
    EXPECT_TRUE(near(image.pixel(kWidth - 1, kHeight - 1), 0, 178, 178));
    // The fitted model fills the middle.
    int red = 0, total = 0;
    for (int y = kHeight / 3; y < 2 * kHeight / 3; ++y)
        for (int x = kWidth / 3; x < 2 * kWidth / 3; ++x, ++total) red += isHeartRed(image.pixel(x, y)) ? 1 : 0;
    EXPECT_GT(red, total / 3);
}

TEST_F(OffscreenRendererTest, DisplaySwitchesAddTheirPassesAndTheFrameCube) {
    const RgbImage bare = draw(*m_renderer, DisplaySwitches::none());
    DisplaySwitches framed = DisplaySwitches::none();
    framed.frames = true;
    const RgbImage cube = draw(*m_renderer, framed);
    EXPECT_EQ(countPixels(bare, isFrameYellow), 0);
    EXPECT_GT(countPixels(cube, isFrameYellow), 100);

    DisplaySwitches charts = DisplaySwitches::none();
    charts.charts = true;
    const RgbImage withCharts = draw(*m_renderer, charts);
    // The charts' light background sits in the top-right corner, over the dark top of the gradient.
    const std::uint8_t* corner = withCharts.pixel(kWidth * 80 / 100, kHeight * 10 / 100);
    EXPECT_GT(corner[0] + corner[1] + corner[2], 300);
    EXPECT_LT(bare.pixel(kWidth * 80 / 100, kHeight * 10 / 100)[0], 10);

    DisplaySwitches mesh = DisplaySwitches::none();
    mesh.mesh = true;
    EXPECT_FALSE(draw(*m_renderer, mesh).pixels == bare.pixels);
}

TEST_F(OffscreenRendererTest, SizesTheContextCannotDrawAreRefusedWithAMessage) {
    std::string error;
    DiagCapture quiet;
    EXPECT_EQ(OffscreenRenderer::createHeadless(0, 100, error), nullptr);
    EXPECT_NE(error.find("0x100"), std::string::npos) << error;
    error.clear();
    EXPECT_EQ(OffscreenRenderer::createHeadless(100, 1 << 20, error), nullptr);
    EXPECT_FALSE(error.empty());
    // The context still serves after the refusals.
    auto renderer = OffscreenRenderer::createHeadless(32, 32, error);
    ASSERT_NE(renderer, nullptr) << error;
    EXPECT_EQ(draw(*renderer, DisplaySwitches::none()).width, 32);
}

TEST(DisplaySwitchesTest, ListsNameExactlyTheSwitchesThatAreOnAndUnknownNamesAreRefused) {
    DisplaySwitches show;
    std::string error;
    ASSERT_TRUE(parseDisplaySwitches("fibres-ventricles, walls,mesh", show, error)) << error;
    EXPECT_TRUE(show.fibresVentricles && show.walls && show.mesh);
    EXPECT_FALSE(show.fibresAtria || show.vertices || show.held || show.frames || show.charts);
    EXPECT_EQ(displaySwitchList(show), "mesh,walls,fibres-ventricles");

    // Every name comes back from its own list, so no two names share a switch.
    for (const char* name : {"mesh", "vertices", "walls", "fibres-atria", "fibres-ventricles", "held", "fibres-second",
                             "fibres-third", "frames", "charts"}) {
        ASSERT_TRUE(parseDisplaySwitches(name, show, error)) << name;
        EXPECT_EQ(displaySwitchList(show), name);
    }
    ASSERT_TRUE(parseDisplaySwitches("none", show, error));
    EXPECT_TRUE(show == DisplaySwitches::none());
    EXPECT_EQ(displaySwitchList(show), "none");

    const DisplaySwitches before = show;
    EXPECT_FALSE(parseDisplaySwitches("mesh,fibers", show, error));
    EXPECT_NE(error.find("'fibers'"), std::string::npos) << error;
    EXPECT_NE(error.find("fibres-ventricles"), std::string::npos) << error;
    EXPECT_FALSE(parseDisplaySwitches("mesh,,walls", show, error));
    EXPECT_NE(error.find("empty"), std::string::npos) << error;
    EXPECT_FALSE(parseDisplaySwitches("", show, error));
    EXPECT_TRUE(show == before);
}

TEST(DisplaySwitchesTest, TheWindowsStartFollowsWhatTheLoadedModelTurnedOn) {
    DiagCapture quiet;
    MainWindowManager controller(nullptr, "");
    controller.loadModel(testfiles::sourceDir() + "/models/Tube");
    ASSERT_NE(controller.model(), nullptr);
    // Loading the tube shows its mesh and both fibre sets; frames and charts are the view's own.
    EXPECT_EQ(displaySwitchList(DisplaySwitches::ofWindowStart(controller)),
              "mesh,fibres-atria,fibres-ventricles,frames,charts");
}
