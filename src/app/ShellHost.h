// ShellHost: the controller's window-system side: the main-loop timer, immediate redraws, the mode
// switch after a load, and the core's messages to the user.
#pragma once

#include <QTimer>
#include <mutex>
#include <string>
#include <vector>

#include "app/UserDialogs.h"
#include "interaction/FramePacer.h"
#include "model/MainWindowManager.h"
#include "model/ShellHooks.h"

class CMainFrame;
class TCore;
class UserDialogs;

/// Implements the controller's host and the core's shell hooks with Qt. The timer is a precise
/// 5 ms QTimer whose every timeout runs one tick of the controller. After a tick the volume dialog
/// samples at once, and the view and the dialogs' charts are drawn from the latest state when the
/// frame pacer allows (right away, or by a single-shot frame timer that coalesces the ticks in
/// between). Modal questions pause the timer so that a tick never runs inside another user action.
/// While the beat runs, the main window's title shows the ticks and frames per second unless that
/// switch is off. User-interface thread only, but for the shell hooks' messages, which a model
/// loading on a worker thread may give (they are held until the load is back).
class ShellHost : public ControllerHost, public ShellHooks {
   public:
    explicit ShellHost(UserDialogs& dialogs);
    ~ShellHost() override;

    /// The main window, once it exists (nullptr when it goes away).
    void setFrame(CMainFrame* frame) { m_frame = frame; }
    /// The controller whose ticks the timer runs and the core object whose dialogs are drawn, once
    /// they exist (nullptrs when they go away).
    void attach(MainWindowManager* controller, TCore* core) {
        m_controller = controller;
        m_core = core;
    }
    UserDialogs& dialogs() { return m_dialogs; }

    // ControllerHost
    void startTimer(int id, int milliseconds) override;
    void killTimer(int id) override;
    void redrawView() override;
    void redrawStdDialog(bool erase) override;
    bool isVolumeDialogVisible() const override;
    void redrawVolumeDialog() override;
    void showTick() override;
    void switchToStandardMode() override;
    void refreshStdDialogFromModel() override;

    // ShellHooks. Called from another thread (a model loading on a worker), a message is held
    // for showHeldMessages and a refresh is dropped: the window's thread refreshes after the load.
    void showMessage(const std::string& text) override;
    void showMessageWithReason(const std::string& text, const std::string& reason) override;
    void refreshDialogs() override;

    /// Shows the messages held from other threads, in order; dropHeldMessages forgets them (the
    /// work that gave them was cancelled).
    void showHeldMessages();
    void dropHeldMessages();

    /// A note in the main window's status bar: no box, nothing to close (nothing without a window).
    void showStatus(const std::string& text);

    /// The other modal questions, with the ticks paused while they are open (see UserDialogs).
    bool askYesNo(const std::string& text);
    std::string chooseOpenFile(const std::string& filter);
    std::string chooseSaveFile(const std::string& filter);
    SaveChoice askSaveDiscardCancel(const std::string& text);
    LatticeChoice chooseSimulationLattice(int currentTarget, int modelVertices);

    /// Stops delivering ticks while a modal window is open; resumeTicks restarts them if the timer
    /// was running and nobody stopped it meanwhile. Calls nest.
    void suspendTicks();
    void resumeTicks();

    /// Draws the pending frame now if a tick ran since the last one.
    void drawPendingFrame();
    const FramePacer& pacer() const { return m_pacer; }
    /// The rates in the title; on by default.
    bool showsRates() const { return m_showRates; }
    void setShowRates(bool show);

    bool isTimerActive() const { return m_timer.isActive(); }
    int timerInterval() const { return m_timer.interval(); }

   private:
    void showRates();

    UserDialogs& m_dialogs;
    CMainFrame* m_frame = nullptr;
    MainWindowManager* m_controller = nullptr;
    TCore* m_core = nullptr;
    QTimer m_timer;
    QTimer m_frameTimer;
    FramePacer m_pacer;
    bool m_showRates = true;
    int m_suspendDepth = 0;
    bool m_resumeAfterSuspend = false;
    std::mutex m_heldLock;
    struct HeldMessage {
        std::string text;
        std::string reason;
        bool withReason = false;
    };
    /// Messages from other threads.
    std::vector<HeldMessage> m_heldMessages;
};
