// CVelmoraView: context hand-over, frame drawing, mouse forwarding, modifier tracking and the
// keyboard shortcuts.
#include "app/CVelmoraView.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "app/CMainFrame.h"
#include "app/DlgStdInteraction.h"
#include "app/ShellHost.h"
#include "app/UnsavedWork.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"
#include "model/ProjectFile.h"

namespace {

CVelmoraView* g_theView = nullptr;

/// Code printed for a key: letters and main-keyboard digits by their character code, keypad digits
/// by the keypad's own codes (96 to 105), other keys by Qt's code.
int printedKeyCode(int key, bool keypad) {
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) return 96 + (key - Qt::Key_0);
    return key;
}

void toggle(bool& flag) { flag = !flag; }

}  // namespace

CVelmoraView::CVelmoraView(ShellHost& host, QWidget* parent) : QOpenGLWidget(parent), m_host(host) {
    g_theView = this;
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    TCore::getInst().m_keyboard = this;
    TCore::getInst().m_camera->setViewWindow(this);
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
    if (TCore::exists()) {
        TCore& core = TCore::getInst();
        if (context()) makeCurrent();
        core.m_ogl->release();
        if (context()) doneCurrent();
        if (core.m_keyboard == this) core.m_keyboard = nullptr;
        if (core.m_camera->viewWindow() == this) core.m_camera->setViewWindow(nullptr);
    }
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
    TOGL& ogl = *TCore::getInst().m_ogl;
    m_ready = ogl.initialize(this);
    ogl.resize(static_cast<int>(width() * devicePixelRatio()), static_cast<int>(height() * devicePixelRatio()));
}

void CVelmoraView::resizeGL(int, int) {
    TCore::getInst().m_ogl->resize(static_cast<int>(width() * devicePixelRatio()),
                                   static_cast<int>(height() * devicePixelRatio()));
}

void CVelmoraView::paintGL() {
    if (!m_ready) return;
    TCore::getInst().drawView();
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
    TCore::getInst().forwardMouse(action, p.x(), p.y(), deviceWidth());
    event->accept();
}

void CVelmoraView::mousePressEvent(QMouseEvent* event) { forwardMouse(event, true, false); }

void CVelmoraView::mouseReleaseEvent(QMouseEvent* event) { forwardMouse(event, false, false); }

void CVelmoraView::mouseDoubleClickEvent(QMouseEvent* event) { forwardMouse(event, true, true); }

void CVelmoraView::mouseMoveEvent(QMouseEvent* event) {
    trackModifiers(event->modifiers());
    const QPoint p = devicePixel(event->position());
    TCore::getInst().forwardMouse(MouseAction::Move, p.x(), p.y(), deviceWidth());
    event->accept();
}

void CVelmoraView::wheelEvent(QWheelEvent* event) {
    trackModifiers(event->modifiers());
    // Under X11 a vertical wheel turned with Alt held arrives as a horizontal one: either axis
    // counts.
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    if (delta != 0) TCore::getInst().forwardWheel(delta);
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
            if (auto* frame = dynamic_cast<CMainFrame*>(window())) frame->loadModelCommand();
            return true;
        case Qt::Key_S:
            handleKey(Qt::Key_S, false);
            return true;
        // The Edit menu's keys reach the view only when its shortcuts did not fire (the main
        // window not active).
        case Qt::Key_Z:
        case Qt::Key_Y:
            if (auto* frame = dynamic_cast<CMainFrame*>(window())) {
                UnsavedWork& work = frame->unsavedWork();
                const bool redo = event.key() == Qt::Key_Y || (event.modifiers() & Qt::ShiftModifier);
                if (redo) {
                    work.redo();
                } else {
                    work.undo();
                }
            }
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
    MainWindowManager& manager = MainWindowManager::getInstance();
    TLSMModel* model = manager.model();
    if (!keypad) {
        switch (key) {
            case Qt::Key_1:
            case Qt::Key_2:
                // The transparency slider of the standard dialog, 50 up (1) or down (2).
                if (auto* dialog = dynamic_cast<DlgStdInteraction*>(TCore::getInst().m_dlgStdInteraction.get()))
                    dialog->stepTransparency(key == Qt::Key_1 ? 50 : -50);
                break;
            case Qt::Key_0:
                toggle(manager.m_bShowFib3);
                break;
            case Qt::Key_3:
                toggle(manager.m_bShowMesh);
                break;
            case Qt::Key_4:
                toggle(manager.m_bShowVertices);
                break;
            case Qt::Key_5:
                toggle(manager.m_bShowRooms);
                break;
            case Qt::Key_6:
                toggle(manager.m_bShowFibAtri);
                break;
            case Qt::Key_7:
                toggle(manager.m_bShowFibVent);
                break;
            case Qt::Key_8:
                toggle(manager.m_bShowConstraints);
                break;
            case Qt::Key_9:
                toggle(manager.m_bShowFib2);
                break;
            case Qt::Key_G:
                if (model) {
                    model->m_excitation->m_chartVent = {{0.0, 0.0}};
                    model->m_excitation->m_chartAtri = {{0.0, 0.0}};
                    buildTables(*model->m_excitation);
                }
                break;
            case Qt::Key_I:
                if (model) model->resetSimulation();
                break;
            case Qt::Key_K:
                if (model) model->m_ampliField.m_value.assign(model->m_ampliField.m_value.size(), 1.0);
                break;
            case Qt::Key_M:
                TCore::getInst().m_camera->storeEyePosition();
                break;
            case Qt::Key_N:
                TCore::getInst().m_camera->initEyePosition();
                break;
            case Qt::Key_F:
                TCore::getInst().m_camera->fitModelInView();
                break;
            case Qt::Key_O:
                if (manager.m_timerOn) {
                    manager.stopTimer();
                } else {
                    manager.startTimer();
                }
                m_host.refreshStdDialogFromModel();
                break;
            case Qt::Key_S:
                if (model && saveProject(*model))
                    if (auto* frame = dynamic_cast<CMainFrame*>(window())) frame->unsavedWork().projectSaved();
                break;
            default:
                break;
        }
    }
    if (!manager.m_timerOn) redrawNow();
    diagPrintf("%d\n", printedKeyCode(key, keypad));
    m_host.refreshStdDialogFromModel();
}
