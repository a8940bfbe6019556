// GuiFixture: one running application per test, in a temporary working directory, with scripted
// answers to its questions.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "ScriptedUserDialogs.h"
#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "app/CVelmoraView.h"
#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "interaction/TCore.h"
#include "model/MainWindowManager.h"

extern bool g_haveDisplay;

/// Vertices of the cube model the tests load (3 x 3 x 3 cells).
constexpr int kCubeModelVertices = 64;

class GuiFixture : public ::testing::Test {
   protected:
    void SetUp() override {
        if (!g_haveDisplay) GTEST_SKIP() << "needs an X display: run the tests under xvfb-run";
        m_previousDir = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(m_dir.path()));
        QSettings().clear();
    }

    void TearDown() override {
        m_app.reset();
        if (!m_previousDir.isEmpty()) QDir::setCurrent(m_previousDir);
        QSettings().clear();
    }

    /// Writes the cube model at dir/name (.node and .ele) and returns its base path.
    std::string writeCubeModel(const std::string& name) {
        const std::string base = m_dir.file(name);
        testmesh::writeTetGen(testmesh::cube(3), base);
        return base;
    }

    /// Starts the application with the given command-line arguments and waits until the main window
    /// is on the screen and the view can draw.
    void start(const QStringList& extraArguments = {}) {
        m_app = std::make_unique<CVelmoraApp>(&m_dialogs);
        ASSERT_TRUE(m_app->initInstance(QStringList{QStringLiteral("velmora")} + extraArguments));
        m_frame = m_app->mainFrame();
        ASSERT_NE(m_frame, nullptr);
        m_view = m_frame->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame));
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_view->isReady(); }, 5000));
    }

    /// Stops the application (the next start() begins afresh, settings kept).
    void stop() {
        m_app.reset();
        m_frame = nullptr;
        m_view = nullptr;
    }

    /// Triggers the menu entry with this text.
    void trigger(const QString& text) {
        QAction* action = m_frame->findAction(text);
        ASSERT_NE(action, nullptr) << text.toStdString();
        action->trigger();
    }

    bool isChecked(const QString& text) const {
        QAction* action = m_frame->findAction(text);
        return action && action->isChecked();
    }

    /// Waits up to timeoutMs for condition, processing events.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    MainWindowManager& manager() { return MainWindowManager::getInstance(); }
    TCore& core() { return TCore::getInst(); }

    testfiles::TempDir m_dir;
    ScriptedUserDialogs m_dialogs;
    std::unique_ptr<CVelmoraApp> m_app;
    CMainFrame* m_frame = nullptr;
    CVelmoraView* m_view = nullptr;
    QString m_previousDir;
};

/// Colour checks with a tolerance for the rasteriser's rounding.
inline bool colourNear(QRgb pixel, int r, int g, int b, int tolerance = 8) {
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

inline bool isFrameYellow(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) < 90; }

/// Whether any pixel within radius of (x, y) (image coordinates) is frame-cube yellow.
inline bool yellowNear(const QImage& image, int x, int y, int radius = 2) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && px < image.width() && py < image.height() && isFrameYellow(image.pixel(px, py)))
                return true;
        }
    return false;
}
