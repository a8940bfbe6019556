// ShellHost: timer, redraws and messages for the controller and the core.
#include "app/ShellHost.h"

#include "app/CMainFrame.h"
#include "app/CVelmoraView.h"
#include "app/UserDialogs.h"
#include "interaction/TCore.h"

ShellHost::ShellHost(UserDialogs& dialogs) : m_dialogs(dialogs) {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [] { MainWindowManager::getInstance().onTimer(); });
}

ShellHost::~ShellHost() { m_timer.stop(); }

void ShellHost::startTimer(int, int milliseconds) {
    m_timer.setInterval(milliseconds);
    if (m_suspendDepth > 0) {
        m_resumeAfterSuspend = true;
        return;
    }
    m_timer.start();
}

void ShellHost::killTimer(int) {
    m_timer.stop();
    m_resumeAfterSuspend = false;
}

void ShellHost::redrawView() {
    if (CVelmoraView* view = CVelmoraView::theView()) view->redrawNow();
}

void ShellHost::redrawStdDialog(bool erase) {
    if (TCore::exists() && TCore::getInst().m_dlgStdInteraction) TCore::getInst().m_dlgStdInteraction->redraw(erase);
}

bool ShellHost::isVolumeDialogVisible() const {
    return TCore::exists() && TCore::getInst().m_dlgVolumeViz && TCore::getInst().m_dlgVolumeViz->isDialogVisible();
}

void ShellHost::redrawVolumeDialog() {
    if (TCore::exists() && TCore::getInst().m_dlgVolumeViz) TCore::getInst().m_dlgVolumeViz->redraw(true);
}

void ShellHost::switchToStandardMode() {
    TCore::getInst().setStdInteractionMode();
    if (m_frame) m_frame->refreshMenuChecks();
}

void ShellHost::refreshStdDialogFromModel() {
    if (TCore::exists() && TCore::getInst().m_dlgStdInteraction)
        TCore::getInst().m_dlgStdInteraction->refreshFromModel();
}

void ShellHost::showMessage(const std::string& text) {
    suspendTicks();
    m_dialogs.showMessage(text);
    resumeTicks();
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

void ShellHost::refreshDialogs() {
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
