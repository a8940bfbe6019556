// CVelmoraView: context hand-over, frame drawing, mouse forwarding, modifier tracking and the
// keyboard shortcuts.
#include "app/CVelmoraView.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app/ShellHost.h"
#include "interaction/Commands.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"

namespace {

CVelmoraView* g_theView = nullptr;

/// Code printed for a key: letters and main-keyboard digits by their character code, keypad digits
/// by the keypad's own codes (96 to 105), other keys by Qt's code.
int printedKeyCode(int key, bool keypad) {
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) return 96 + (key - Qt::Key_0);
    return key;
}

}  // namespace

CVelmoraView::CVelmoraView(ShellHost& host, Commands& commands, QWidget* parent)
    : QOpenGLWidget(parent), m_host(host), m_commands(commands), m_core(*commands.core()) {
    g_theView = this;
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_core.m_keyboard = this;
    m_core.m_camera->setViewWindow(this);
    // Space gestures must not depend on which widget has the keyboard focus.
    QCoreApplication::instance()->installEventFilter(this);
}

bool CVelmoraView::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || watched == this || hasFocus()) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space) return false;
    // Another widget (a dialog's slider or button, after the user touched it) has the focus. While
    // the pointer is over the view, Space belongs to the view's gestures and presses nothing else;
    // a release elsewhere still ends the gesture.
    const bool overView = isVisible() && rect().contains(mapFromGlobal(QCursor::pos()));
    if (type == QEvent::KeyRelease && !key->isAutoRepeat() && m_spaceDown) {
        m_spaceDown = false;
        updateCursor();
    }
    if (!overView) return false;
    if (type == QEvent::KeyPress) {
        m_spaceDown = true;
        updateCursor();
    }
    return true;
}

CVelmoraView::~CVelmoraView() {
    // The core object outlives the main window and its view.
    if (context()) makeCurrent();
    m_core.m_ogl->release();
    if (context()) doneCurrent();
    if (m_core.m_keyboard == this) m_core.m_keyboard = nullptr;
    if (m_core.m_camera->viewWindow() == this) m_core.m_camera->setViewWindow(nullptr);
    if (g_theView == this) g_theView = nullptr;
}

CVelmoraView* CVelmoraView::theView() { return g_theView; }

void CVelmoraView::redrawNow() {
    if (!m_ready || !isVisible()) return;
    // An OpenGL widget's repaint only schedules the window's update request; delivering the
    // pending requests at once draws the frame now.
    update();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

bool CVelmoraView::makeContextCurrent() {
    if (!context()) return false;
    makeCurrent();
    return true;
}

void CVelmoraView::doneContextCurrent() {
    if (context()) doneCurrent();
}

void CVelmoraView::initializeGL() {
    TOGL& ogl = *m_core.m_ogl;
    m_ready = ogl.initialize(this);
    ogl.resize(static_cast<int>(width() * devicePixelRatio()), static_cast<int>(height() * devicePixelRatio()));
}

void CVelmoraView::resizeGL(int, int) {
    m_core.m_ogl->resize(static_cast<int>(width() * devicePixelRatio()),
                         static_cast<int>(height() * devicePixelRatio()));
}

void CVelmoraView::paintGL() {
    if (!m_ready) return;
    m_core.drawView();
}

void CVelmoraView::trackModifiers(Qt::KeyboardModifiers modifiers) {
    m_modifiers = modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    updateCursor();
}

void CVelmoraView::updateCursor() {
    if (isCtrlDown()) {
        setCursor(Qt::CrossCursor);
    } else if (isShiftDown()) {
        setCursor(Qt::PointingHandCursor);
    } else if (isSpaceDown()) {
        setCursor(Qt::SizeAllCursor);
    } else {
        unsetCursor();
    }
}

QPoint CVelmoraView::devicePixel(const QPointF& logical) const {
    const qreal ratio = devicePixelRatioF();
    return QPoint(qRound(logical.x() * ratio), qRound(logical.y() * ratio));
}

int CVelmoraView::deviceWidth() const { return static_cast<int>(width() * devicePixelRatio()); }

void CVelmoraView::forwardMouse(QMouseEvent* event, bool press, bool doubleClick) {
    trackModifiers(event->modifiers());
    const QPoint p = devicePixel(event->position());
    MouseAction action;
    switch (event->button()) {
        case Qt::LeftButton:
            action = doubleClick ? MouseAction::LDouble : (press ? MouseAction::LDown : MouseAction::LUp);
            break;
        case Qt::RightButton:
            action = doubleClick ? MouseAction::RDouble : (press ? MouseAction::RDown : MouseAction::RUp);
            break;
        case Qt::MiddleButton:
            action = doubleClick ? MouseAction::MDouble : (press ? MouseAction::MDown : MouseAction::MUp);
            break;
        default:
            event->ignore();
            return;
    }
    m_core.forwardMouse(action, p.x(), p.y(), deviceWidth());
    event->accept();
}

void CVelmoraView::mousePressEvent(QMouseEvent* event) { forwardMouse(event, true, false); }

void CVelmoraView::mouseReleaseEvent(QMouseEvent* event) { forwardMouse(event, false, false); }

void CVelmoraView::mouseDoubleClickEvent(QMouseEvent* event) { forwardMouse(event, true, true); }

void CVelmoraView::mouseMoveEvent(QMouseEvent* event) {
    trackModifiers(event->modifiers());
    const QPoint p = devicePixel(event->position());
    m_core.forwardMouse(MouseAction::Move, p.x(), p.y(), deviceWidth());
    event->accept();
}

void CVelmoraView::wheelEvent(QWheelEvent* event) {
    trackModifiers(event->modifiers());
    // Under X11 a vertical wheel turned with Alt held arrives as a horizontal one: either axis
    // counts.
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (delta != 0) m_core.forwardWheel(delta);
    // The default handling follows: the event goes on to the parent windows.
    event->ignore();
}

void CVelmoraView::keyPressEvent(QKeyEvent* event) {
    Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->key() == Qt::Key_Control) modifiers |= Qt::ControlModifier;
    if (event->key() == Qt::Key_Shift) modifiers |= Qt::ShiftModifier;
    if (event->key() == Qt::Key_Alt) modifiers |= Qt::AltModifier;
    if (event->key() == Qt::Key_Space) m_spaceDown = true;
    trackModifiers(modifiers);
    if (!handleDocumentKey(*event)) handleKey(event->key(), event->modifiers() & Qt::KeypadModifier);
    QOpenGLWidget::keyPressEvent(event);
}

bool CVelmoraView::handleDocumentKey(const QKeyEvent& event) {
    if (!(event.modifiers() & Qt::ControlModifier)) return false;
    switch (event.key()) {
        case Qt::Key_O:
            m_commands.loadModel();
            return true;
        case Qt::Key_S:
            handleKey(Qt::Key_S, false);
            return true;
        // The Edit menu's keys reach the view only when its shortcuts did not fire (the main
        // window not active).
        case Qt::Key_Z:
            if (event.modifiers() & Qt::ShiftModifier) {
                m_commands.redo();
            } else {
                m_commands.undo();
            }
            return true;
        case Qt::Key_Y:
            m_commands.redo();
            return true;
        case Qt::Key_N:
        case Qt::Key_P:
            return true;
        default:
            return false;
    }
}

void CVelmoraView::keyReleaseEvent(QKeyEvent* event) {
    Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->key() == Qt::Key_Control) modifiers &= ~Qt::ControlModifier;
    if (event->key() == Qt::Key_Shift) modifiers &= ~Qt::ShiftModifier;
    if (event->key() == Qt::Key_Alt) modifiers &= ~Qt::AltModifier;
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) m_spaceDown = false;
    trackModifiers(modifiers);
    QOpenGLWidget::keyReleaseEvent(event);
}

void CVelmoraView::focusOutEvent(QFocusEvent* event) {
    // Keys released while another window has the focus never reach the view.
    m_spaceDown = false;
    trackModifiers(Qt::NoModifier);
    // Whatever took the focus now owns the keyboard and the pointer: a drag under way stops
    // steering the camera until the next press.
    m_hasMouseCapture = false;
    QOpenGLWidget::focusOutEvent(event);
}

void CVelmoraView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) m_hasMouseCapture = false;
    QOpenGLWidget::changeEvent(event);
}

void CVelmoraView::handleKey(int key, bool keypad) {
    if (!keypad) {
        switch (key) {
            case Qt::Key_1:
                m_commands.stepTransparency(50);
                break;
            case Qt::Key_2:
                m_commands.stepTransparency(-50);
                break;
            case Qt::Key_0:
                m_commands.toggleDisplay(DisplaySwitch::Fibres3);
                break;
            case Qt::Key_3:
                m_commands.toggleDisplay(DisplaySwitch::Mesh);
                break;
            case Qt::Key_4:
                m_commands.toggleDisplay(DisplaySwitch::Vertices);
                break;
            case Qt::Key_5:
                m_commands.toggleDisplay(DisplaySwitch::Rooms);
                break;
            case Qt::Key_6:
                m_commands.toggleDisplay(DisplaySwitch::AtrialFibres);
                break;
            case Qt::Key_7:
                m_commands.toggleDisplay(DisplaySwitch::VentricularFibres);
                break;
            case Qt::Key_8:
                m_commands.toggleDisplay(DisplaySwitch::Constraints);
                break;
            case Qt::Key_9:
                m_commands.toggleDisplay(DisplaySwitch::Fibres2);
                break;
            case Qt::Key_G:
                m_commands.clearContractionCharts();
                break;
            case Qt::Key_I:
                m_commands.resetDeformation();
                break;
            case Qt::Key_K:
                m_commands.fullAmplitude();
                break;
            case Qt::Key_M:
                m_commands.storeEyePosition();
                break;
            case Qt::Key_N:
                m_commands.initEyePosition();
                break;
            case Qt::Key_F:
                m_commands.fitModelInView();
                break;
            case Qt::Key_O:
                m_commands.toggleSimulation();
                break;
            case Qt::Key_S:
                m_commands.saveProject();
                break;
            default:
                break;
        }
    }
    if (!m_commands.simulationRuns()) redrawNow();
    diagPrintf("%d\n", printedKeyCode(key, keypad));
    m_host.refreshStdDialogFromModel();
}
