// Test main for the window tests: an X display (Xvfb) with GLX, the view's surface format set before
// the QApplication exists, settings kept in a private directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/CVelmoraApp.h"

bool g_haveDisplay = false;

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (listing) return RUN_ALL_TESTS();

    // The view's OpenGL widget needs a real X display; the offscreen platform cannot host it.
    const char* display = std::getenv("DISPLAY");
    g_haveDisplay = display && *display;
    if (!g_haveDisplay) return RUN_ALL_TESTS();  // every window test skips itself
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);

    // Recent models and other settings go to a directory of this run, not the user's.
    QTemporaryDir settingsHome;
    setenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit().constData(), 1);

    CVelmoraApp::configureSurfaceFormat();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
