// QtUserDialogs: the modal questions with Qt's message boxes and file dialogs.
#pragma once

#include "app/UserDialogs.h"

class QWidget;

/// Message boxes and file choosers on top of the active window (or the main window when none is
/// active). User-interface thread only.
class QtUserDialogs : public UserDialogs {
   public:
    /// The window the questions belong to when no window is active (may be set later).
    void setMainWindow(QWidget* window) { m_mainWindow = window; }

    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::string chooseOpenFile(const std::string& filter) override;
    std::string chooseSaveFile(const std::string& filter) override;
    SaveChoice askSaveDiscardCancel(const std::string& text) override;
    LatticeChoice chooseSimulationLattice(int currentTarget, int modelVertices) override;

   private:
    QWidget* parentWindow() const;
    QWidget* m_mainWindow = nullptr;
};
