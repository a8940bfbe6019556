// velmora-screenshots: runs the application on the bundled heart and saves three pictures of it for
// the README: the standard mode beating with the volume plot, the volume dialog alone with the
// strains, twist and bull's-eye, and the paint mode showing the phase field and the fibre lines.
// Needs an X display (scripts/screenshots runs it under Xvfb).
//
//   velmora-screenshots MODELS_DIR OUTPUT_DIR
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QScreen>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "app/CVelmoraView.h"
#include "app/DlgPaintCtrlField.h"
#include "app/DlgVolumeViz.h"
#include "app/UserDialogs.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"
#include "render/TOGL.h"

namespace {

/// Nobody sits at the screen: messages go to standard error, questions are answered No (unsaved
/// work: Discard), file choosers are cancelled.
class UnattendedDialogs : public UserDialogs {
   public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
    bool askYesNo(const std::string& text) override {
        std::fprintf(stderr, "question answered No: %s\n", text.c_str());
        return false;
    }
    std::string chooseOpenFile(const std::string&) override { return {}; }
    std::string chooseSaveFile(const std::string&) override { return {}; }
    // The tool authors nothing worth keeping; answering Cancel would keep its window open.
    SaveChoice askSaveDiscardCancel(const std::string& text) override {
        std::fprintf(stderr, "question answered Discard: %s\n", text.c_str());
        return SaveChoice::Discard;
    }
};

/// Processes events until condition holds or timeoutMs passes; false on timeout.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

/// Lets the windows settle for a moment.
void settle(int ms) { waitUntil([] { return false; }, ms); }

void pressKey(QWidget* view, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(view, &release);
}

/// A left-button event at a view pixel.
void mouse(QWidget* view, QEvent::Type type, const QPoint& at, Qt::KeyboardModifiers modifiers) {
    const QPointF p(at);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, p, view->mapToGlobal(p), button, held, modifiers);
    QApplication::sendEvent(view, &event);
}

QWidget* asWidget(ToolDialogWindow* dialog) { return dynamic_cast<QWidget*>(dialog); }

/// What the screen shows of the main window and the visible tool windows: the smallest rectangle
/// holding all of them, read back from the X server as the user would see it.
QImage compose(QWidget* frame, const std::vector<QWidget*>& tools) {
    QRect bounds = frame->frameGeometry();
    for (QWidget* w : tools)
        if (w && w->isVisible()) bounds |= w->frameGeometry();
    settle(300);
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0).toImage().copy(bounds.intersected(screen->geometry()));
}

bool save(const QImage& picture, const QString& path) {
    if (!picture.save(path)) {
        std::fprintf(stderr, "velmora-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::fprintf(stderr, "velmora-screenshots: wrote %s (%dx%d)\n", qPrintable(path), picture.width(),
                 picture.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmora-screenshots MODELS_DIR OUTPUT_DIR\n");
        return 2;
    }
    const QString modelsDir = QString::fromLocal8Bit(argv[1]);
    const QString outputDir = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    if (!QDir().mkpath(outputDir)) {
        std::fprintf(stderr, "velmora-screenshots: cannot create %s\n", argv[2]);
        return 1;
    }
    setDiagQuiet(true);
    CVelmoraApp::configureSurfaceFormat();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (!QDir::setCurrent(modelsDir)) {
        std::fprintf(stderr, "velmora-screenshots: no directory %s\n", argv[1]);
        return 1;
    }

    UnattendedDialogs dialogs;
    CVelmoraApp app(&dialogs);
    if (!app.initInstance({QStringLiteral("velmora")})) return 1;
    CMainFrame* frame = app.mainFrame();
    CVelmoraView* view = frame->view();
    MainWindowManager& manager = MainWindowManager::getInstance();
    TCore& core = TCore::getInst();
    if (!manager.model()) {
        std::fprintf(stderr, "velmora-screenshots: the default model ModelB did not load from %s\n", argv[1]);
        return 1;
    }
    frame->move(0, 0);
    frame->resize(1000, 720);
    // Far enough back to see the whole heart, a little from the right and above.
    TOGL& camera = *core.m_ogl;
    camera.m_eye = vec3(42, 34, 88);
    camera.m_center = vec3(20, 19, 20);
    camera.m_up = vec3(0, 1, 0);
    if (!waitUntil([&] { return view->isReady(); }, 20000)) {
        std::fprintf(stderr, "velmora-screenshots: the view never became ready\n");
        return 1;
    }

    // The standard mode: the beat with the volume plot, stopped in systole once the plot has
    // filled, so that the ejection fraction is measured over whole beats.
    frame->findAction(QStringLiteral("Show Volume Viz Dlg"))->trigger();
    auto* volumeDialog = dynamic_cast<DlgVolumeViz*>(core.m_dlgVolumeViz.get());
    QWidget* volumeWindow = asWidget(core.m_dlgVolumeViz.get());
    settle(300);
    // Below the main window when the screen has room for it, so that it hides none of the heart.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    if (frame->frameGeometry().bottom() + 6 + volumeWindow->frameGeometry().height() <= screen.bottom())
        volumeWindow->move(frame->geometry().left(), frame->frameGeometry().bottom() + 6);
    else
        volumeWindow->move(frame->geometry().left() + 10, frame->geometry().bottom() - volumeWindow->height() - 10);
    const VolumePlot& plot = volumeDialog->plot();
    const long long shownAt = plot.samplesTaken();
    view->setFocus();
    pressKey(view, Qt::Key_O, QStringLiteral("o"));
    const bool filled = waitUntil([&] { return plot.samplesTaken() >= shownAt + plot.width() + 10; }, 600000);
    const bool systole = filled && waitUntil(
                                       [&] {
                                           const double phase = manager.m_time - std::floor(manager.m_time);
                                           return phase >= 0.33 && phase < 0.37;
                                       },
                                       60000);
    pressKey(view, Qt::Key_O, QStringLiteral("o"));
    if (!systole) {
        std::fprintf(stderr, "velmora-screenshots: the beat did not fill the volume plot\n");
        return 1;
    }
    settle(300);
    std::fprintf(stderr, "velmora-screenshots: %s", plot.ejectionFractionText().toLocal8Bit().constData());
    if (!save(compose(frame, {volumeWindow, asWidget(core.m_dlgStdInteraction.get())}),
              outputDir + QStringLiteral("/standard-mode.png")))
        return 1;
    // The volume dialog by itself: the strains over the cycle and the last end-systole's bull's-eye
    // beside the volumes.
    if (!save(volumeWindow->grab().toImage(), outputDir + QStringLiteral("/deformation-indices.png"))) return 1;

    // The paint mode: the heart at rest coloured by the phase field, with the fibre lines of the
    // ventricles and the atria.
    frame->findAction(QStringLiteral("Show Volume Viz Dlg"))->trigger();
    pressKey(view, Qt::Key_I, QStringLiteral("i"));
    frame->findAction(QStringLiteral("Paint control fields"))->trigger();
    auto* paintDialog = dynamic_cast<DlgPaintCtrlField*>(core.m_dlgPaintCtrlField.get());
    paintDialog->toolCheckBox(PaintTool::PHASE_1)->click();
    view->setFocus();
    pressKey(view, Qt::Key_6, QStringLiteral("6"));
    pressKey(view, Qt::Key_7, QStringLiteral("7"));
    // Ctrl and a stroke down the middle cut the heart open: the walls' cross-section shows the
    // field inside them, and the fibre lines of the part cut away stand free in front of it.
    const QPoint top(view->width() / 2 + 20, 40), bottom(view->width() / 2 + 20, view->height() - 40);
    mouse(view, QEvent::MouseButtonPress, top, Qt::ControlModifier);
    for (int i = 1; i <= 20; ++i)
        mouse(view, QEvent::MouseMove, top + (bottom - top) * i / 20, Qt::ControlModifier);
    mouse(view, QEvent::MouseButtonRelease, bottom, Qt::ControlModifier);
    settle(500);
    if (!save(compose(frame, {asWidget(core.m_dlgPaintCtrlField.get())}), outputDir + QStringLiteral("/paint-mode.png")))
        return 1;
    return 0;
}
