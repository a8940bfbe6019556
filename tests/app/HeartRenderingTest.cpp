// What the heart passes put on the screen of the running application: the shaded heart where the
// projection places it, its translucency, the phase field through the green ramp, fibre lines,
// per-vertex frames and the frame cube, the chamber colouring, and the fallback without a shader.
#include <QImage>
#include <algorithm>
#include <cmath>

#include "GuiFixture.h"
#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"
#include "linalg/Diagnostics.h"
#include "mesh/ScreenProjection.h"
#include "render/HeartRenderer.h"
#include "render/SphereInstances.h"
#include "render/TOGL.h"

namespace {

/// Per-channel tolerance of the rasteriser's rounding between two frames of the same scene.
constexpr int kSameFrame = 2;

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

class HeartRenderingTest : public GuiFixture {
   protected:
    /// Starts the application on the cube model (normalised to [-5, 5]^3), without the frame cube,
    /// with a transparency slider the test sets.
    void startOnCube() {
        writeCubeModel("ModelB");
        start();
        ASSERT_NE(manager().model(), nullptr);
        trigger(QStringLiteral("Show Frames"));
        auto dialog = std::make_unique<MemoryStdDialog>(kStdDialogWidth, kStdDialogHeight);
        m_slider = dialog.get();
        core().m_dlgStdInteraction = std::move(dialog);
    }

    TLSMModel& model() { return *manager().model(); }

    void setAlpha(double alpha) { m_slider->m_transparency = static_cast<int>(std::lround(alpha * 1000)); }

    /// One frame, with the matrices it was drawn with.
    QImage frame() {
        QImage image = m_view->grabFramebuffer();
        m_projection = core().m_ogl->currentProjection();
        return image;
    }

    /// The same frame without a model: the background alone.
    QImage backgroundFrame() {
        std::unique_ptr<TLSMModel> kept = std::move(manager().m_model);
        QImage image = frame();
        manager().m_model = std::move(kept);
        return image;
    }

    /// Image pixel of a model point under the last frame's matrices.
    QPoint pixelOf(const vec3& point) const {
        vec3 w;
        EXPECT_TRUE(projectToWindow(m_projection, point, w));
        return QPoint(static_cast<int>(std::floor(w.x)),
                      m_projection.viewport[3] - 1 - static_cast<int>(std::floor(w.y)));
    }

    /// Bounding rectangle of the projected surface vertices.
    QRect projectedSurfaceBox() {
        QRect box;
        for (const vec3& p : manager().model()->m_surface.verts()) {
            const QPoint px = pixelOf(p);
            box = box.united(QRect(px, QSize(1, 1)));
        }
        return box;
    }

    /// Image rectangle of the standard mode's chart overlay (top right), with a small margin.
    static QRect chartOverlayRect(int w, int h) {
        const TStateStdInteraction& mode = TStateStdInteraction::getInstance();
        return QRect(QPoint(static_cast<int>((mode.m_chartBgPos.x + 1.0) / 2.0 * w) - 4,
                            static_cast<int>((1.0 - mode.m_chartBgPos.y - mode.m_chartBgSize.y) / 2.0 * h) - 4),
                     QPoint(w, static_cast<int>((1.0 - mode.m_chartBgPos.y) / 2.0 * h) + 4));
    }

    MemoryStdDialog* m_slider = nullptr;
    ScreenProjection m_projection;
};

/// Face centres of the cube model that face the default camera (at +x, +y, +z of the model).
const vec3 kFrontFace(0, 0, 5), kTopFace(0, 5, 0), kSideFace(5, 0, 0);

}  // namespace

TEST_F(HeartRenderingTest, TheShadedHeartCoversItsProjectionAndNothingElse) {
    startOnCube();
    setAlpha(1.0);
    const QImage heart = frame();
    const QImage background = backgroundFrame();
    ASSERT_EQ(heart.size(), background.size());

    // The shader is built with its whole interface.
    const TSheder& sheder = HeartRenderer::instance().m_sheder;
    EXPECT_TRUE(HeartRenderer::instance().m_shaderReady);
    EXPECT_NE(sheder.m_program, 0u);
    EXPECT_GE(sheder.m_modelViewMat, 0);
    EXPECT_GE(sheder.m_modelToWorld, 0);
    EXPECT_GE(sheder.m_eyePos, 0);
    EXPECT_GE(sheder.m_trans, 0);

    // On the three faces the camera sees: muscle colour (amplitude 1), not background.
    for (const vec3& face : {kFrontFace, kTopFace, kSideFace}) {
        const QPoint p = pixelOf(face);
        ASSERT_TRUE(heart.rect().contains(p));
        const QRgb pixel = heart.pixel(p);
        EXPECT_GT(channelDistance(pixel, background.pixel(p)), 40) << p.x() << "," << p.y();
        EXPECT_GT(qRed(pixel), qGreen(pixel) + 30) << std::hex << pixel;
        EXPECT_GT(qRed(pixel), qBlue(pixel) + 30) << std::hex << pixel;
    }

    // Outside the projected surface the frame is the background, pixel for pixel (but for the
    // chart overlay in the top-right corner, drawn with a model).
    const QRect box = projectedSurfaceBox().adjusted(-2, -2, 2, 2);
    ASSERT_TRUE(heart.rect().contains(box.center()));
    const int w = heart.width(), h = heart.height();
    const QRect overlay = chartOverlayRect(w, h);
    int outside = 0;
    for (int y = 0; y < h; y += 3)
        for (int x = 0; x < w; x += 3) {
            if (box.contains(x, y) || overlay.contains(x, y)) continue;
            ++outside;
            ASSERT_LE(channelDistance(heart.pixel(x, y), background.pixel(x, y)), kSameFrame) << x << "," << y;
        }
    EXPECT_GT(outside, 1000);
}

TEST_F(HeartRenderingTest, BelowNinetyFivePercentTheBackgroundShowsThroughTheHeart) {
    startOnCube();
    setAlpha(1.0);
    const QImage opaque = frame();
    const QPoint p = pixelOf(kFrontFace);
    const QImage background = backgroundFrame();
    setAlpha(0.5);
    const QImage half = frame();
    setAlpha(0.95);
    const QImage nearlyOpaque = frame();

    const QRgb a = opaque.pixel(p), b = background.pixel(p), h = half.pixel(p);
    ASSERT_GT(channelDistance(a, b), 60);  // heart and background differ enough to tell
    // Half and half: the heart's colour over the background's.
    EXPECT_NEAR(qRed(h), (qRed(a) + qRed(b)) / 2.0, 6) << std::hex << h;
    EXPECT_NEAR(qGreen(h), (qGreen(a) + qGreen(b)) / 2.0, 6) << std::hex << h;
    EXPECT_NEAR(qBlue(h), (qBlue(a) + qBlue(b)) / 2.0, 6) << std::hex << h;
    // From 0.95 on the heart is drawn without blending.
    EXPECT_LE(channelDistance(nearlyOpaque.pixel(p), a), kSameFrame) << std::hex << nearlyOpaque.pixel(p);
}

TEST_F(HeartRenderingTest, ThePhaseFieldShowsTheGreenRampUnderTheLighting) {
    startOnCube();
    core().setPaintCtrlFieldMode();
    TStatePaintCtrlField::getInstance().setTool(PaintTool::PHASE_1);
    std::vector<double>& phase = model().m_phaseField.m_value;

    phase.assign(phase.size(), 1.0);
    const QImage sink = frame();
    const QPoint p = pixelOf(kFrontFace);
    const QRgb top = sink.pixel(p);
    // The last texel (0, 253, 0) modulates the lit white material: green only, at most 253.
    EXPECT_LE(qRed(top), 3) << std::hex << top;
    EXPECT_LE(qBlue(top), 3) << std::hex << top;
    EXPECT_GT(qGreen(top), 80) << std::hex << top;
    EXPECT_LE(qGreen(top), 253) << std::hex << top;

    // Halfway the ramp has half the green (texel 64 = 127 of 253) under the same light.
    phase.assign(phase.size(), 0.5);
    const QRgb middle = frame().pixel(p);
    EXPECT_NEAR(qGreen(middle), qGreen(top) * 127.0 / 253.0, 3) << std::hex << middle;
    // A source (phase 0) is the first texel: black.
    phase.assign(phase.size(), 0.0);
    const QRgb source = frame().pixel(p);
    EXPECT_LE(qGreen(source), 3) << std::hex << source;
    EXPECT_LE(qRed(source), 3) << std::hex << source;
}

TEST_F(HeartRenderingTest, FibreLinesFramesAndTheFrameCubeAppearWithTheirSwitches) {
    startOnCube();
    trigger(QStringLiteral("Show Frames"));  // the frame cube back on
    setAlpha(0.3);
    // The ventricular fibres follow the vertices labelled ventricle: label them all.
    TLSMModel& m = model();
    m.m_vtxIsVentriOrAtrium.assign(m.m_verts.size(), 1);
    m.m_orienField.buildFibreLines(1, m.m_tets, m.m_verts, m.m_vtxIsVentriOrAtrium);
    ASSERT_FALSE(m.m_orienField.m_fibreLines[1].empty());
    ASSERT_TRUE(m.m_orienField.m_fibreLines[0].empty());

    auto countPixels = [&](const QImage& image, const std::function<bool(QRgb)>& test) {
        const QRect box = projectedSurfaceBox();
        int count = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (image.rect().contains(x, y) && test(image.pixel(x, y))) ++count;
        return count;
    };
    // Fibre lines of the default depth 1.0 take the rainbow's blue end; the frames' depth axes are
    // green. Neither colour is in the translucent heart over the teal background (blue = green).
    auto fibreBlue = [](QRgb c) { return qBlue(c) > qGreen(c) + 60 && qBlue(c) > qRed(c) + 40; };
    auto frameGreen = [](QRgb c) { return qGreen(c) > qRed(c) + 80 && qGreen(c) > qBlue(c) + 80; };

    const QImage plain = frame();
    EXPECT_EQ(countPixels(plain, fibreBlue), 0);
    EXPECT_EQ(countPixels(plain, frameGreen), 0);

    manager().m_bShowFibVent = true;
    const QImage fibres = frame();
    EXPECT_GT(countPixels(fibres, fibreBlue), 200);
    manager().m_bShowFibVent = false;
    // Set 0 (atrium) is empty on a model without atrium labels: nothing drawn.
    manager().m_bShowFibAtri = true;
    EXPECT_EQ(countPixels(frame(), fibreBlue), 0);
    manager().m_bShowFibAtri = false;

    manager().m_bShowConstraints = true;  // key 8: held vertices and the per-vertex frames
    const QImage frames = frame();
    EXPECT_GT(countPixels(frames, frameGreen), 20);

    // The frame cube's far corners are yellow in the same frame as the heart (where neither the
    // translucent heart nor the chart overlay lies over them).
    int corners = 0, yellow = 0;
    const QRect heartBox = projectedSurfaceBox(), overlay = chartOverlayRect(frames.width(), frames.height());
    for (const vec3& corner : frameCubeCorners()) {
        if (corner.z != 0.0) continue;
        const QPoint c = pixelOf(corner);
        if (!frames.rect().adjusted(3, 3, -3, -3).contains(c) || heartBox.contains(c) || overlay.contains(c)) continue;
        ++corners;
        yellow += yellowNear(frames, c.x(), c.y()) ? 1 : 0;
    }
    EXPECT_GE(corners, 2);
    EXPECT_EQ(yellow, corners);
}

TEST_F(HeartRenderingTest, InstancedVertexSpheresLookAsTheSpheresDrawnOneByOne) {
    startOnCube();
    setAlpha(1.0);
    TLSMModel& m = model();
    // Contracting vertices are yellow; the corner nearest the camera is held (a lit blue sphere
    // around its yellow one).
    m.m_vtxContraction.assign(m.m_verts.size(), vec3(0.5, 0.5, 0.5));
    int corner = 0;
    for (int v = 0; v < m.vertexCount(); ++v) {
        const vec3& p = m.m_verts[v];
        const vec3& best = m.m_verts[corner];
        if (p.x + p.y + p.z > best.x + best.y + best.z) corner = v;
    }
    m.m_pinnedVerts = {corner};
    manager().m_bShowVertices = true;
    SphereInstances& spheres = SphereInstances::instance();
    const QImage instanced = frame();
    spheres.setInstancingAllowed(false);
    const QImage oneByOne = frame();
    spheres.setInstancingAllowed(true);
    ASSERT_EQ(instanced.size(), oneByOne.size());

    auto yellow = [](QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 60; };
    int yellowInstanced = 0, yellowOneByOne = 0, differing = 0;
    for (int y = 0; y < instanced.height(); ++y)
        for (int x = 0; x < instanced.width(); ++x) {
            yellowInstanced += yellow(instanced.pixel(x, y)) ? 1 : 0;
            yellowOneByOne += yellow(oneByOne.pixel(x, y)) ? 1 : 0;
            differing += channelDistance(instanced.pixel(x, y), oneByOne.pixel(x, y)) > 8 ? 1 : 0;
        }
    ASSERT_GT(yellowOneByOne, 500);
    // The exact sphere against its 70-triangle likeness: the same area within a sixth, and only
    // their rims differ.
    EXPECT_NEAR(yellowInstanced, yellowOneByOne, yellowOneByOne / 6);
    EXPECT_LT(differing, yellowOneByOne / 3);

    // Each vertex on the faces the camera sees shows its sphere, half sunk into the surface, in
    // both; the held vertex is lit alike in both.
    int seen = 0;
    for (int v = 0; v < m.vertexCount(); ++v) {
        const vec3& p = m.m_verts[v];
        if (v == corner) continue;
        if (std::abs(p.x - 5) > 1e-9 && std::abs(p.y - 5) > 1e-9 && std::abs(p.z - 5) > 1e-9) continue;
        const QPoint px = pixelOf(p);
        if (!instanced.rect().contains(px) || chartOverlayRect(instanced.width(), instanced.height()).contains(px))
            continue;
        ++seen;
        EXPECT_TRUE(yellow(instanced.pixel(px))) << px.x() << "," << px.y();
        EXPECT_TRUE(yellow(oneByOne.pixel(px))) << px.x() << "," << px.y();
    }
    EXPECT_GE(seen, 20);
    const QPoint held = pixelOf(m.m_verts[corner]);
    ASSERT_TRUE(instanced.rect().adjusted(4, 4, -4, -4).contains(held));
    // Lit per pixel, the exact sphere shows a highlight the coarse one's corners miss: compare the
    // mean over the middle of the disc.
    auto meanAround = [&](const QImage& image) {
        int r = 0, g = 0, b = 0;
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx) {
                const QRgb c = image.pixel(held.x() + dx, held.y() + dy);
                r += qRed(c), g += qGreen(c), b += qBlue(c);
            }
        return qRgb(r / 81, g / 81, b / 81);
    };
    const QRgb heldInstanced = meanAround(instanced), heldOneByOne = meanAround(oneByOne);
    EXPECT_LE(channelDistance(heldInstanced, heldOneByOne), 24) << std::hex << heldInstanced << " " << heldOneByOne;
    EXPECT_GT(qBlue(heldInstanced), qRed(heldInstanced) + 60);
}

TEST_F(HeartRenderingTest, ChamberToolsShowTheInnerSideInTheChambersColour) {
    startOnCube();
    setAlpha(1.0);
    core().setPaintCtrlFieldMode();
    TStatePaintCtrlField::getInstance().setTool(PaintTool::CH_VL);
    model().m_polygonIDs.assign(model().m_surface.polys().size(), 2);
    const QImage image = frame();
    // With the winding reversed the far, inner walls face the camera; the left ventricle's colour
    // (0.9, 0.2, 0.5) orders the channels red > blue > green.
    const QRgb c = image.pixel(pixelOf(vec3(0, 0, 0)));
    EXPECT_GT(qRed(c), qBlue(c) + 20) << std::hex << c;
    EXPECT_GT(qBlue(c), qGreen(c) + 20) << std::hex << c;

    // Without one id per triangle nothing is drawn there but the background.
    model().m_polygonIDs.pop_back();
    const QImage none = frame();
    const QImage background = backgroundFrame();
    const QPoint p = pixelOf(vec3(0, 0, 0));
    EXPECT_LE(channelDistance(none.pixel(p), background.pixel(p)), kSameFrame);
}

TEST_F(HeartRenderingTest, WithoutTheShaderFileTheHeartIsLitAndTheMessageRepeatsEveryFrame) {
    startOnCube();
    setAlpha(1.0);
    const std::string missing = m_dir.file("nowhere/heartShader.glsl");
    HeartRenderer::instance().m_shaderPath = missing;
    HeartRenderer::instance().m_shaderReady = false;
    DiagCapture capture;
    const QImage first = frame();
    frame();
    const std::string message = "\n !! cant load vertexd Shader: file is = " + missing + " \n";
    auto occurrences = [&](const std::string& piece) {
        int n = 0;
        for (size_t at = capture.text().find(piece); at != std::string::npos; at = capture.text().find(piece, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(occurrences("initShapder " + missing + "\n"), 2);
    EXPECT_EQ(occurrences(message), 2);
    EXPECT_FALSE(HeartRenderer::instance().m_shaderReady);

    // Still drawn, with the shaded material under fixed-function light: grey, not background.
    const QPoint p = pixelOf(kFrontFace);
    const QImage background = backgroundFrame();
    const QRgb lit = first.pixel(p);
    EXPECT_GT(channelDistance(lit, background.pixel(p)), 40) << std::hex << lit;
    EXPECT_LE(std::abs(qRed(lit) - qGreen(lit)), 12) << std::hex << lit;
    EXPECT_LE(std::abs(qGreen(lit) - qBlue(lit)), 12) << std::hex << lit;

    // A file that does not compile reports the compiler's log and falls back the same way.
    testfiles::writeText(m_dir.file("broken.glsl"), "void Vert_Main() { this is not GLSL }\n");
    HeartRenderer::instance().m_shaderPath = m_dir.file("broken.glsl");
    capture.clear();
    const QRgb brokenPixel = frame().pixel(p);
    EXPECT_EQ(occurrences("\n !! cant load vertexd Shader: file is = " + m_dir.file("broken.glsl") + " \n"), 1);
    EXPECT_TRUE(capture.contains("error")) << capture.text();  // the compiler's log follows the message
    EXPECT_LE(channelDistance(brokenPixel, lit), kSameFrame);

    // With the file back the muscle colour returns and the messages stop.
    HeartRenderer::instance().m_shaderPath = testfiles::binDir() + "/heartShader.glsl";
    capture.clear();
    const QRgb shaded = frame().pixel(p);
    frame();
    EXPECT_TRUE(HeartRenderer::instance().m_shaderReady);
    EXPECT_EQ(occurrences("initShapder"), 1);
    EXPECT_GT(qRed(shaded), qGreen(shaded) + 30) << std::hex << shaded;

    // Another model loaded builds the shader once more, for it.
    capture.clear();
    ASSERT_TRUE(m_frame->loadModelBase(QString::fromStdString(writeCubeModel("another"))));
    frame();
    frame();
    EXPECT_EQ(occurrences("initShapder"), 1);
}

TEST_F(HeartRenderingTest, TheStartViewShowsTheWholeBundledHeartWithAMargin) {
    start({QString::fromStdString(testfiles::sourceDir() + "/models/ModelB")});
    ASSERT_NE(manager().model(), nullptr);
    ASSERT_EQ(core().m_ogl->m_eye, vec3(20, 20, 60)) << "the home camera";
    const QImage heart = frame();
    // Every vertex projects inside the view less a band of 5 % along each edge.
    const int bandX = heart.width() / 20, bandY = heart.height() / 20;
    int outside = 0;
    for (const vec3& p : model().m_verts) {
        const QPoint pixel = pixelOf(p);
        outside += pixel.x() < bandX || pixel.y() < bandY || pixel.x() >= heart.width() - bandX ||
                           pixel.y() >= heart.height() - bandY
                       ? 1
                       : 0;
    }
    EXPECT_EQ(outside, 0) << "vertices at the edge of the start view or beyond it";
    // And it is not a speck: it covers a good part of the view.
    const QImage background = backgroundFrame();
    int covered = 0;
    for (int y = 0; y < heart.height(); ++y)
        for (int x = 0; x < heart.width(); ++x)
            covered += channelDistance(heart.pixel(x, y), background.pixel(x, y)) > kSameFrame ? 1 : 0;
    EXPECT_GT(covered, heart.width() * heart.height() / 6);
}
