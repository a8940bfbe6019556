// Test main for the window tests: an X display (Xvfb) with GLX, the view's surface format set before
// the QApplication exists, settings kept in a private directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <xcb/xcb.h>

#include "app/CVelmoraApp.h"

bool g_haveDisplay = false;

namespace {

// With several test processes starting and ending against one Xvfb, a connection can now and then
// be refused for a moment; Qt aborts the process on such a refusal. The display is tried here for
// up to ten seconds first, and the connection that succeeds stays open for the whole run.
xcb_connection_t* waitForDisplay() {
    for (int attempt = 0; attempt < 40; ++attempt) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(connection)) return connection;
        xcb_disconnect(connection);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (listing) return RUN_ALL_TESTS();

    // The view's OpenGL widget needs a real X display; the offscreen platform cannot host it.
    const char* display = std::getenv("DISPLAY");
    g_haveDisplay = display && *display;
    if (!g_haveDisplay) return RUN_ALL_TESTS();  // every window test skips itself
    xcb_connection_t* const keepAlive = waitForDisplay();
    if (!keepAlive) std::fprintf(stderr, "GuiTestMain: display %s refused every connection for ten seconds\n", display);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);

    // Recent models and other settings go to a directory of this run, not the user's.
    QTemporaryDir settingsHome;
    setenv("XDG_CONFIG_HOME", settingsHome.path().toLocal8Bit().constData(), 1);

    CVelmoraApp::configureSurfaceFormat();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int status = RUN_ALL_TESTS();
    if (keepAlive) xcb_disconnect(keepAlive);
    return status;
}
