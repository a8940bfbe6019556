// UnsavedWork: Edit menu, unsaved mark, the save question and the autosave timer.
#include "app/UnsavedWork.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>

#include "app/CMainFrame.h"
#include "app/ShellHost.h"
#include "interaction/Commands.h"
#include "interaction/EditHistory.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"
#include "model/Autosave.h"
#include "model/MainWindowManager.h"
#include "model/ProjectFile.h"

namespace {
constexpr int kCommitMilliseconds = 1000;

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

UnsavedWork::UnsavedWork(ShellHost& host, CMainFrame& frame, Commands& commands)
    : m_host(host), m_frame(frame), m_commands(commands) {
    // An installed copy's models sit in a folder the user cannot write: their autosaves go to the
    // user's own data folder (a test may have chosen another already).
    if (autosaveFallbackFolder().empty())
        setAutosaveFallbackFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString());
    controller().m_history.onChange = [this] { historyChanged(); };
    editHistory().resetGesture();
    editHistory().setGestureListener([this] { updateActions(); });
    m_commitTimer.setInterval(kCommitMilliseconds);
    connect(&m_commitTimer, &QTimer::timeout, this, [this] { refresh(); });
    m_commitTimer.start();
    m_autosaveTimer.setInterval(kAutosaveMilliseconds);
    connect(&m_autosaveTimer, &QTimer::timeout, this, [this] { autosaveNow(); });
    m_autosaveTimer.start();
}

UnsavedWork::~UnsavedWork() {
    if (m_commands.core()) editHistory().setGestureListener(nullptr);
    if (m_commands.controller()) controller().m_history.onChange = nullptr;
}

MainWindowManager& UnsavedWork::controller() { return *m_commands.controller(); }

EditHistory& UnsavedWork::editHistory() { return *m_commands.core()->m_editHistory; }

void UnsavedWork::addEditMenu(QMenuBar* bar) {
    // After "&File", where users look for it.
    auto* edit = new QMenu(QStringLiteral("&Edit"), bar);
    const QList<QAction*> menus = bar->actions();
    if (menus.size() > 1) {
        bar->insertMenu(menus[1], edit);
    } else {
        bar->addMenu(edit);
    }
    m_undo = edit->addAction(QStringLiteral("&Undo"), this, [this] { m_commands.undo(); });
    m_undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redo = edit->addAction(QStringLiteral("&Redo"), this, [this] { m_commands.redo(); });
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // The tool dialogs are windows of their own: the keys work there too.
    m_undo->setShortcutContext(Qt::ApplicationShortcut);
    m_redo->setShortcutContext(Qt::ApplicationShortcut);
    connect(edit, &QMenu::aboutToShow, this, [this] { refresh(); });
    updateActions();
}

bool UnsavedWork::undo() { return m_commands.undo(); }

bool UnsavedWork::redo() { return m_commands.redo(); }

void UnsavedWork::refresh() {
    // A drag (in the view, or on a dialog's chart or slider) is one step: it is committed when
    // it ends.
    if (!editHistory().isGestureUnderway() && QGuiApplication::mouseButtons() == Qt::NoButton)
        editHistory().commit(std::string());
    updateActions();
}

void UnsavedWork::historyChanged() {
    ++m_generation;
    m_discardChosen = false;
    const MainWindowManager& manager = controller();
    const bool modified = manager.model() && manager.m_history.differsFromFile(*manager.model());
    if (modified != m_modified) {
        m_modified = modified;
        // Undone back to what the file holds: an autosave this session wrote is older work that
        // would otherwise be offered at the next load.
        if (!modified && manager.model() && manager.model()->m_filePath == m_autosavedModel) {
            removeAutosave(m_autosavedModel);
            m_autosavedModel.clear();
        }
        m_frame.document().setModified(modified);
        // While the beat runs the shell recomposes the title with its rates.
        if (!manager.isTimerOn()) m_frame.setWindowTitle(m_frame.document().windowTitle());
    }
    updateActions();
}

void UnsavedWork::updateActions() {
    if (!m_undo || !m_redo || !m_commands.controller() || !m_commands.core()) return;
    const UndoHistory& history = controller().m_history;
    const bool idle = !editHistory().isGestureUnderway() && controller().model();
    m_undo->setEnabled(idle && history.canUndo());
    m_redo->setEnabled(idle && history.canRedo());
    m_undo->setText(history.canUndo() ? QStringLiteral("&Undo %1").arg(QString::fromStdString(history.undoName()))
                                      : QStringLiteral("&Undo"));
    m_redo->setText(history.canRedo() ? QStringLiteral("&Redo %1").arg(QString::fromStdString(history.redoName()))
                                      : QStringLiteral("&Redo"));
}

bool UnsavedWork::confirmDropWork() {
    refresh();
    MainWindowManager& manager = controller();
    TLSMModel* model = manager.model();
    if (!model || !m_modified || m_discardChosen) return true;
    const std::string path = model->m_filePath + ".vm";
    switch (m_host.askSaveDiscardCancel("The project " + fileNameOf(model->m_filePath) +
                                        " has unsaved changes. Save them to " + path + "?")) {
        case SaveChoice::Save: {
            // No to replacing a file that was not read completely counts as Cancel.
            std::string question;
            if (projectOverwriteNeedsConsent(*model, question) && !m_host.askYesNo(question)) return false;
            std::string error;
            if (!saveProjectTo(*model, path, error)) {
                diagPrintf("saveProject: %s\n", error.c_str());
                m_host.showMessage("The project file was not saved; the previous file is unchanged.\n" + error);
                return false;
            }
            projectFileWritten(*model);
            projectSaved();
            return true;
        }
        case SaveChoice::Discard:
            removeAutosave(model->m_filePath);
            m_discardChosen = true;
            return true;
        case SaveChoice::Cancel:
            break;
    }
    return false;
}

void UnsavedWork::offerAutosaveRestore() {
    MainWindowManager& manager = controller();
    TLSMModel* model = manager.model();
    if (!model || !autosaveIsNewer(model->m_filePath)) return;
    const std::string autosave = existingAutosavePathOf(model->m_filePath);
    // Over a project file that was not read completely the restored work replaces what was read
    // of it; the file itself is written only by a save, which asks again.
    std::string incomplete = incompleteProjectNotice(*model);
    if (!incomplete.empty()) incomplete += ". ";
    if (!m_host.askYesNo(incomplete + "Work on " + fileNameOf(model->m_filePath) + " was saved automatically in " +
                         autosave + " after its project file was last saved. Restore the autosaved work?"))
        return;
    std::string error;
    if (!restoreAutosave(*model, error)) {
        diagPrintf("restoreAutosave: %s\n", error.c_str());
        m_host.showMessage("The autosaved work could not be restored; the model is as its project file left it.\n" +
                           error);
        return;
    }
    manager.m_history.commit(*model, "Restore autosaved work");
    m_host.refreshDialogs();
    m_host.redrawView();
}

void UnsavedWork::workKept() {
    m_discardChosen = false;
    m_autosavedGeneration = -1;
}

void UnsavedWork::projectSaved() {
    MainWindowManager& manager = controller();
    if (!manager.model()) return;
    manager.m_history.markSaved(*manager.model());
    removeAutosave(manager.model()->m_filePath);
}

bool UnsavedWork::autosaveNow() {
    refresh();
    const TLSMModel* model = controller().model();
    if (!model || !m_modified || m_autosavedGeneration == m_generation) return false;
    std::string error, written;
    if (!writeAutosave(*model, error, &written)) {
        // A failed autosave must not interrupt the work with a message box every few minutes: the
        // first failure of the session is a note in the status bar, the rest go to the console.
        diagPrintf("autosave: %s\n", error.c_str());
        if (!m_autosaveFailureShown) {
            m_autosaveFailureShown = true;
            m_host.showStatus("Autosave failed: " + error);
        }
        return false;
    }
    if (written != autosavePathOf(model->m_filePath))
        diagPrintf("autosave: %s cannot be written beside the model; written to %s\n", model->m_filePath.c_str(),
                   written.c_str());
    m_autosavedGeneration = m_generation;
    m_autosavedModel = model->m_filePath;
    return true;
}
