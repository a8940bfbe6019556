// StagedWork: long work of the core (opening a model, building its simulation lattice) on a worker
// thread, while the window goes on drawing under a dialog that names the stage and offers Cancel.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "model/LoadProgress.h"

class QLabel;
class QProgressBar;
class QPushButton;
class ShellHost;

/// The dialog: "Opening heart: clusters...", a bar that advances one step per stage, and Cancel.
/// Application-modal once shown. Cancel (the button, Escape, closing the window) asks the work to
/// stop; the dialog then says it is stopping and waits for the work to reach a point where it can.
/// User-interface thread only.
class StageProgressDialog : public QDialog {
    Q_OBJECT
   public:
    StageProgressDialog(const QString& title, const QString& action, int expectedStages, QWidget* parent);

    /// Shows stage as the current one (the next bar step).
    void enterStage(const QString& stage);
    /// The text shown now, the stages entered so far in order, and the Cancel button.
    QString labelText() const;
    const QStringList& stagesShown() const { return m_stages; }
    QPushButton* cancelButton() const { return m_cancel; }
    bool cancelRequested() const { return m_cancelRequested; }

   signals:
    void cancelClicked();

   protected:
    void reject() override;

   private:
    QString m_action;
    QLabel* m_label = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
    QStringList m_stages;
    bool m_cancelRequested = false;
};

/// How staged work ended.
enum class WorkOutcome { Succeeded, Failed, Cancelled };

/// Milliseconds staged work usually runs before its dialog shows: long enough that quick work
/// does not flash it.
constexpr int kStageDialogDelayMs = 350;

/// What the dialog of staged work says.
struct StagedWorkText {
    /// The dialog's title ("Open model").
    QString title;
    /// What is done, before the stage's name ("Opening heart").
    QString action;
    /// The stages the work usually reports (the bar's length; more only lengthen it).
    int expectedStages = 1;
    /// Work that changes an object the window draws names the stage from which it does: once the
    /// work enters it, the window stops drawing and handling events until the work is over ("": the
    /// work builds into a fresh object and the window draws throughout).
    QString quietStage;
    /// Milliseconds the work runs before its dialog shows.
    int showAfterMs = kStageDialogDelayMs;
};

/// Runs work on a worker thread and waits for it in a local event loop: the view keeps drawing
/// and the timers run, but the user's input to every window but the dialog is held back, and the
/// beat's ticks are held. The dialog shows only when the work is still running after
/// text.showAfterMs, so quick work does not flash it. work must touch nothing the window's thread
/// uses meanwhile (build into a fresh object); it hears its stages' cancel through the
/// LoadProgress it is given and returns true on success. Cancelled when the user cancelled, even if
/// the work finished anyway. One staged work at a time: a second call while one runs returns
/// Failed at once.
WorkOutcome runStagedWork(ShellHost& host, QWidget* parent, const StagedWorkText& text,
                          const std::function<bool(LoadProgress&)>& work);

/// Whether staged work is running now (its dialog may not show yet).
bool stagedWorkRunning();

/// Tests slow staged work down: each stage waits this long (waking early on cancel) before its
/// work starts; 0, the default, for none.
void setStagePauseForTests(int milliseconds);
