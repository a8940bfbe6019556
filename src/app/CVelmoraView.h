// CVelmoraView: the OpenGL drawing surface of the main window.
#pragma once

#include <QOpenGLWidget>

#include "interaction/KeyboardState.h"
#include "interaction/ViewWindow.h"
#include "render/GLContextHost.h"

class Commands;
class ShellHost;
class TCore;

/// The process's one 3-D view (a QOpenGLWidget with a compatibility-profile context). It hands its
/// context to the core object's TOGL, forwards every mouse event to the current interaction mode
/// (with the stereo correction), draws through the core object, tracks Ctrl/Shift/Alt/Space for the
/// modes and runs the keyboard shortcuts' commands. The core object is the command layer's, attached
/// before the view is made. Mouse positions reach the modes in device pixels,
/// the units of the OpenGL viewport. It is the camera's window: it holds the mouse capture from the
/// start of a camera drag until its end, or until the view loses the focus or its window is
/// deactivated. User-interface thread only.
class CVelmoraView : public QOpenGLWidget, public GLContextHost, public KeyboardState, public ViewWindow {
    Q_OBJECT
   public:
    CVelmoraView(ShellHost& host, Commands& commands, QWidget* parent);
    ~CVelmoraView() override;

    /// The view, or nullptr before it is created and after it is destroyed.
    static CVelmoraView* theView();

    /// Paints the view now (does nothing before its context exists or while it is hidden).
    void redrawNow() override;
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

    // ViewWindow. While a button is held the window system already delivers every move and the
    // release to the view that got the press, even outside it; the capture records whether the
    // drag that press started still owns the pointer.
    void captureMouse() override { m_hasMouseCapture = true; }
    void releaseMouseCapture() override { m_hasMouseCapture = false; }
    bool hasMouseCapture() const override { return m_hasMouseCapture; }

    /// The shortcut keys: runs the key's command (one call into the command layer) and the common
    /// tail (redraw unless the simulation runs, the key code on standard error, refresh of the
    /// standard dialog). keyCode is Qt's key; keypad keys only run the tail.
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
    /// Space pressed or released while another widget has the focus and the pointer is over the
    /// view: tracked as if the view had it, and kept from that widget.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

   private:
    /// The document keys: Ctrl+O opens a model, Ctrl+S saves the project file as S does, Ctrl+N and
    /// Ctrl+P do nothing (the model is the only document); true when the key was one of them, so
    /// that it never acts as the plain letter. (The load menu entry's shortcut takes Ctrl+O first
    /// while the main window is active.)
    bool handleDocumentKey(const QKeyEvent& event);
    void trackModifiers(Qt::KeyboardModifiers modifiers);
    void updateCursor();
    void forwardMouse(QMouseEvent* event, bool press, bool doubleClick);
    /// A position in the widget's logical pixels as device pixels.
    QPoint devicePixel(const QPointF& logical) const;
    /// The widget's width in device pixels (as the rendering context's viewport has it).
    int deviceWidth() const;

    ShellHost& m_host;
    Commands& m_commands;
    TCore& m_core;
    bool m_ready = false;
    Qt::KeyboardModifiers m_modifiers;
    bool m_spaceDown = false;
    bool m_hasMouseCapture = false;
};
