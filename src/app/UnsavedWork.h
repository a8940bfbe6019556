// UnsavedWork: the Edit menu with undo and redo, the title's unsaved mark, the question before
// unsaved work is dropped, and the autosave with its restore offer.
#pragma once

#include <QObject>
#include <QTimer>
#include <string>

class CMainFrame;
class Commands;
class EditHistory;
class MainWindowManager;
class QAction;
class QMenuBar;
class ShellHost;

/// Owned by the main window. Keeps the Edit entries and the title mark in step with the loaded
/// model's undo history, commits the changes the dialogs make once a second (between gestures),
/// and writes NAME.vm.autosave every few minutes while the project differs from its file.
/// User-interface thread only.
class UnsavedWork : public QObject {
    Q_OBJECT
   public:
    /// Autosave interval of the application.
    static constexpr int kAutosaveMilliseconds = 3 * 60 * 1000;

    /// commands has the controller and the core object attached already.
    UnsavedWork(ShellHost& host, CMainFrame& frame, Commands& commands);
    ~UnsavedWork() override;

    /// Adds "&Edit" with "Undo ..." (Ctrl+Z) and "Redo ..." (Ctrl+Shift+Z, Ctrl+Y) to bar.
    void addEditMenu(QMenuBar* bar);
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }

    /// Undo / redo one step (the commands of that name); false when refused or nothing to do.
    bool undo();
    bool redo();

    /// Whether the loaded project differs from its file (the title's mark).
    bool isModified() const { return m_modified; }
    /// Before the loaded model's work is dropped (closing, quitting, loading another model): when
    /// the project differs from its file, asks Save / Discard / Cancel. Save writes NAME.vm, after
    /// asking (default No) when the load refused that file or read it only in part (No, and a
    /// failure, which is told, count as Cancel); Discard removes the autosave. True when the
    /// caller may go on.
    bool confirmDropWork();
    /// After a load: when the model's autosave (beside it or in the application data folder) is
    /// newer than its project file, offers to restore it, saying so when the project file was not
    /// read completely; the restored work is one undoable step and leaves the project marked
    /// unsaved.
    void offerAutosaveRestore();
    /// After confirmDropWork allowed a load that then failed or was cancelled: the model and its
    /// work stay, so a Discard chosen for that load no longer holds (the next drop asks again) and
    /// the next autosave writes the work again.
    void workKept();
    /// After NAME.vm was written: the mark goes and the autosave is removed.
    void projectSaved();
    /// Writes the autosave now when the project differs from its file and changed since the last
    /// autosave: beside the model, or in the user's application data folder when the model's
    /// folder cannot be written. True when written; the first failure of the session is shown in
    /// the status bar.
    bool autosaveNow();
    void setAutosaveInterval(int milliseconds) { m_autosaveTimer.setInterval(milliseconds); }

    /// Commits pending changes and brings the entries and the mark up to date.
    void refresh();

   private:
    MainWindowManager& controller();
    EditHistory& editHistory();
    void historyChanged();
    void updateActions();

    ShellHost& m_host;
    CMainFrame& m_frame;
    Commands& m_commands;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QTimer m_commitTimer;
    QTimer m_autosaveTimer;
    bool m_modified = false;
    /// The user chose Discard for the work as it stands (no new question until it changes).
    bool m_discardChosen = false;
    long long m_generation = 0;
    long long m_autosavedGeneration = -1;
    /// The model whose autosave this session wrote ("" when none).
    std::string m_autosavedModel;
    /// An autosave failed and the status bar said so (once a session).
    bool m_autosaveFailureShown = false;
};
