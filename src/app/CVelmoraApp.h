// CVelmoraApp: start-up and shut-down of the application.
#pragma once

#include <QStringList>
#include <memory>

#include "app/QtBusyCursor.h"
#include "app/QtToolDialog.h"
#include "app/QtUserDialogs.h"
#include "app/ShellHost.h"
#include "interaction/BusyIndicator.h"
#include "interaction/Commands.h"

class CMainFrame;

/// The application object. Installs the shell's side of the controller and of the core object,
/// makes the command layer the windows call into and installs the busy cursor, creates the main
/// window (which creates the core object, the controller with its initial model, and the view) and
/// shows it. Destroying it (or shutdown()) closes the window and destroys both singletons while the
/// window system still exists. One at a time; user-interface thread only.
class CVelmoraApp {
   public:
    /// dialogs answers the modal questions; nullptr uses Qt's message boxes and file dialogs.
    explicit CVelmoraApp(UserDialogs* dialogs = nullptr);
    ~CVelmoraApp();
    CVelmoraApp(const CVelmoraApp&) = delete;
    CVelmoraApp& operator=(const CVelmoraApp&) = delete;

    /// The default surface format (compatibility profile, 8 bits per colour channel, 24-bit depth,
    /// double buffered); must run before the QApplication is created.
    static void configureSurfaceFormat();

    /// arguments as QCoreApplication::arguments(): an optional second entry names the model to load
    /// instead of "ModelB" (a base path, or a ".ele"/".vm" file). Shows the main window.
    bool initInstance(const QStringList& arguments);
    /// Closes the window and destroys the core object and the controller; idempotent.
    void shutdown();

    CMainFrame* mainFrame() const { return m_frame.get(); }
    ShellHost& host() { return *m_host; }
    Commands& commands() { return m_commands; }

   private:
    QtUserDialogs m_qtDialogs;
    std::unique_ptr<ShellHost> m_host;
    Commands m_commands;
    QtToolDialogFactory m_dialogFactory{m_commands};
    FunctionBusyIndicator m_busyCursor{showBusyCursor, hideBusyCursor};
    BusyIndicator* m_previousBusyIndicator = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
};
