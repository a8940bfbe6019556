// ShellHost: timer, redraws and messages for the controller and the core.
#include "app/ShellHost.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <QThread>
#include <cmath>

#include "app/CMainFrame.h"
#include "app/CVelmoraView.h"
#include "app/DlgVolumeViz.h"
#include "app/UserDialogs.h"
#include "interaction/TCore.h"

namespace {
DlgVolumeViz* volumeDialog(TCore* core) {
    return core ? dynamic_cast<DlgVolumeViz*>(core->m_dlgVolumeViz.get()) : nullptr;
}

bool onWindowThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application == nullptr || QThread::currentThread() == application->thread();
}
}  // namespace

ShellHost::ShellHost(UserDialogs& dialogs) : m_dialogs(dialogs) {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_controller) m_controller->onTimer();
    });
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    m_frameTimer.setSingleShot(true);
    QObject::connect(&m_frameTimer, &QTimer::timeout, [this] { drawPendingFrame(); });
}

ShellHost::~ShellHost() {
    m_timer.stop();
    m_frameTimer.stop();
}

void ShellHost::startTimer(int, int milliseconds) {
    m_timer.setInterval(milliseconds);
    if (m_suspendDepth > 0) {
        m_resumeAfterSuspend = true;
        return;
    }
    m_timer.start();
    // Rates of an earlier run are not this run's.
    m_pacer = FramePacer();
    m_pacer.restartRates(steadyClockMs());
}

void ShellHost::killTimer(int) {
    m_timer.stop();
    m_resumeAfterSuspend = false;
    // The last ticks are still shown; the title forgets the rates.
    drawPendingFrame();
    showRates();
}

void ShellHost::showTick() {
    m_pacer.tickDone(steadyClockMs());
    if (DlgVolumeViz* volumes = volumeDialog(m_core); volumes && volumes->isDialogVisible()) {
        volumes->sampleTick();
    } else if (isVolumeDialogVisible()) {
        redrawVolumeDialog();
    }
    if (m_pacer.takeNewRates()) showRates();
    if (m_frameTimer.isActive()) return;
    const double wait = m_pacer.msUntilNextFrame(steadyClockMs());
    if (wait <= 0.0) {
        drawPendingFrame();
    } else {
        m_frameTimer.start(static_cast<int>(std::ceil(wait)));
    }
}

void ShellHost::drawPendingFrame() {
    m_frameTimer.stop();
    if (!m_pacer.frameDue()) return;
    const double start = steadyClockMs();
    redrawView();
    const double viewDone = steadyClockMs();
    redrawStdDialog(false);
    if (DlgVolumeViz* volumes = volumeDialog(m_core); volumes && volumes->isDialogVisible())
        volumes->drawPendingSamples();
    const double end = steadyClockMs();
    m_pacer.frameDrawn(start, end);
    MainWindowManager::recordDrawTiming(viewDone - start, end - viewDone);
}

void ShellHost::setShowRates(bool show) {
    m_showRates = show;
    showRates();
}

void ShellHost::showRates() {
    if (!m_frame) return;
    const bool running = m_timer.isActive() && m_pacer.ticksPerSecond() > 0.0;
    m_frame->showRates(m_showRates && running, m_pacer.ticksPerSecond(), m_pacer.framesPerSecond());
}

void ShellHost::redrawView() {
    if (CVelmoraView* view = CVelmoraView::theView()) view->redrawNow();
}

void ShellHost::redrawStdDialog(bool erase) {
    if (m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->redraw(erase);
}

bool ShellHost::isVolumeDialogVisible() const {
    return m_core && m_core->m_dlgVolumeViz && m_core->m_dlgVolumeViz->isDialogVisible();
}

void ShellHost::redrawVolumeDialog() {
    if (m_core && m_core->m_dlgVolumeViz) m_core->m_dlgVolumeViz->redraw(true);
}

void ShellHost::switchToStandardMode() {
    if (m_core) m_core->setStdInteractionMode();
    if (m_frame) m_frame->refreshMenuChecks();
}

void ShellHost::refreshStdDialogFromModel() {
    if (m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->refreshFromModel();
}

void ShellHost::showMessage(const std::string& text) {
    if (!onWindowThread()) {
        std::lock_guard<std::mutex> hold(m_heldLock);
        m_heldMessages.push_back({text, std::string(), false});
        return;
    }
    suspendTicks();
    m_dialogs.showMessage(text);
    resumeTicks();
}

void ShellHost::showMessageWithReason(const std::string& text, const std::string& reason) {
    if (!onWindowThread()) {
        std::lock_guard<std::mutex> hold(m_heldLock);
        m_heldMessages.push_back({text, reason, true});
        return;
    }
    suspendTicks();
    m_dialogs.showMessageWithReason(text, reason);
    resumeTicks();
}

void ShellHost::showStatus(const std::string& text) {
    if (m_frame) m_frame->statusBar()->showMessage(QString::fromStdString(text));
}

bool ShellHost::askYesNo(const std::string& text) {
    suspendTicks();
    const bool yes = m_dialogs.askYesNo(text);
    resumeTicks();
    return yes;
}

std::string ShellHost::chooseOpenFile(const std::string& filter) {
    suspendTicks();
    std::string path = m_dialogs.chooseOpenFile(filter);
    resumeTicks();
    return path;
}

std::string ShellHost::chooseSaveFile(const std::string& filter) {
    suspendTicks();
    std::string path = m_dialogs.chooseSaveFile(filter);
    resumeTicks();
    return path;
}

SaveChoice ShellHost::askSaveDiscardCancel(const std::string& text) {
    suspendTicks();
    const SaveChoice choice = m_dialogs.askSaveDiscardCancel(text);
    resumeTicks();
    return choice;
}

LatticeChoice ShellHost::chooseSimulationLattice(int currentTarget, int modelVertices) {
    suspendTicks();
    const LatticeChoice choice = m_dialogs.chooseSimulationLattice(currentTarget, modelVertices);
    resumeTicks();
    return choice;
}

void ShellHost::showHeldMessages() {
    std::vector<HeldMessage> held;
    {
        std::lock_guard<std::mutex> hold(m_heldLock);
        held.swap(m_heldMessages);
    }
    for (const HeldMessage& message : held) {
        if (message.withReason) {
            showMessageWithReason(message.text, message.reason);
        } else {
            showMessage(message.text);
        }
    }
}

void ShellHost::dropHeldMessages() {
    std::lock_guard<std::mutex> hold(m_heldLock);
    m_heldMessages.clear();
}

void ShellHost::refreshDialogs() {
    if (!onWindowThread()) return;
    refreshStdDialogFromModel();
    redrawStdDialog(true);
}

void ShellHost::suspendTicks() {
    if (m_suspendDepth++ == 0 && m_timer.isActive()) {
        m_timer.stop();
        m_resumeAfterSuspend = true;
    }
}

void ShellHost::resumeTicks() {
    if (m_suspendDepth == 0) return;
    if (--m_suspendDepth == 0 && m_resumeAfterSuspend) {
        m_resumeAfterSuspend = false;
        m_timer.start();
    }
}
