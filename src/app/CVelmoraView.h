// CVelmoraView: the OpenGL drawing surface of the main window.
#pragma once

#include <QOpenGLWidget>

#include "interaction/KeyboardState.h"
#include "render/GLContextHost.h"

class ShellHost;

/// The process's one 3-D view (a QOpenGLWidget with a compatibility-profile context). It hands its
/// context to the core object's TOGL, forwards every mouse event to the current interaction mode
/// (with the stereo correction), draws through the core object, tracks Ctrl/Shift/Alt/Space for the
/// modes and handles the keyboard shortcuts itself. User-interface thread only.
class CVelmoraView : public QOpenGLWidget, public GLContextHost, public KeyboardState {
    Q_OBJECT
   public:
    CVelmoraView(ShellHost& host, QWidget* parent);
    ~CVelmoraView() override;

    /// The view, or nullptr before it is created and after it is destroyed.
    static CVelmoraView* theView();

    /// Paints the view now (does nothing before its context exists or while it is hidden).
    void redrawNow();
    /// Whether the context and the extension loader are ready (the first frame can be drawn).
    bool isReady() const { return m_ready; }

    // GLContextHost
    bool makeContextCurrent() override;
    void doneContextCurrent() override;

    // KeyboardState
    bool isCtrlDown() const override { return m_modifiers & Qt::ControlModifier; }
    bool isShiftDown() const override { return m_modifiers & Qt::ShiftModifier; }
    bool isAltDown() const override { return m_modifiers & Qt::AltModifier; }
    bool isSpaceDown() const override { return m_spaceDown; }

    /// The shortcut keys: runs the key's command and the common tail (redraw unless the simulation
    /// runs, the key code on standard error, refresh of the standard dialog). keyCode is Qt's key;
    /// keypad keys only run the tail.
    void handleKey(int keyCode, bool keypad);

   protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

   private:
    void trackModifiers(Qt::KeyboardModifiers modifiers);
    void updateCursor();
    void forwardMouse(QMouseEvent* event, bool press, bool doubleClick);

    ShellHost& m_host;
    bool m_ready = false;
    Qt::KeyboardModifiers m_modifiers;
    bool m_spaceDown = false;
};
