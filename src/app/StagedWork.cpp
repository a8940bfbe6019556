// StagedWork: a worker thread, a local event loop that keeps the window drawing, and the stage dialog.
#include "app/StagedWork.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/ShellHost.h"
#include "linalg/Diagnostics.h"

namespace {

constexpr int kPollIntervalMs = 30;
constexpr int kDialogMinimumWidth = 360;

std::atomic<int> g_stagePauseMs{0};
bool g_workRunning = false;

/// The LoadProgress the worker reports to: the stages it entered, for the window's thread to read,
/// and the cancel flag the window's thread sets.
class WorkerProgress : public LoadProgress {
   public:
    explicit WorkerProgress(std::string quietStage) : m_quietStage(std::move(quietStage)) {}

    void stage(const char* name) override {
        const bool quiet = !m_quietStage.empty() && m_quietStage == name;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_entered.emplace_back(name);
            m_quietAsked = m_quietAsked || quiet;
        }
        if (quiet) {
            // From here on the work changes what the window draws: wait until the window's thread
            // has stopped drawing.
            std::unique_lock<std::mutex> hold(m_lock);
            m_quietGranted.wait(hold, [this] { return m_quiet; });
            return;
        }
        const int pause = g_stagePauseMs.load();
        for (int waited = 0; waited < pause && !cancelled(); waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool cancelled() override { return m_cancelled.load(); }

    void cancel() { m_cancelled = true; }
    /// The stages entered since the last call, in order.
    std::vector<std::string> takeEntered() {
        std::lock_guard<std::mutex> hold(m_lock);
        std::vector<std::string> entered;
        entered.swap(m_entered);
        return entered;
    }
    /// Whether the work waits for the window to stop drawing.
    bool quietAsked() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_quietAsked;
    }
    /// The window's thread draws no more until the work is over: the work may go on.
    void grantQuiet() {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_quiet = true;
        }
        m_quietGranted.notify_all();
    }

   private:
    const std::string m_quietStage;
    std::mutex m_lock;
    std::condition_variable m_quietGranted;
    std::vector<std::string> m_entered;
    bool m_quietAsked = false;
    bool m_quiet = false;
    std::atomic<bool> m_cancelled{false};
};

/// Holds back the user's input to every window but the dialog while the work runs: until the
/// dialog shows (and is modal) nothing else would stop a click from changing the model the window
/// shows, or from starting a second piece of work.
class InputHold : public QObject {
   public:
    explicit InputHold(QWidget* dialog) : m_dialog(dialog) { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type())) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == m_dialog || m_dialog->isAncestorOf(widget))) return false;
        // The dialog's own window: the window-system events reach the QWindow first.
        if (widget == nullptr && watched == static_cast<QObject*>(m_dialog->windowHandle())) return false;
        return true;
    }

   private:
    static bool isUserInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::ContextMenu:
                return true;
            default:
                return false;
        }
    }

    QWidget* m_dialog;
};

}  // namespace

StageProgressDialog::StageProgressDialog(const QString& title, const QString& action, int expectedStages,
                                         QWidget* parent)
    : QDialog(parent), m_action(action) {
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(kDialogMinimumWidth);
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(action + QStringLiteral("..."), this);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, std::max(1, expectedStages));
    m_bar->setValue(0);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void StageProgressDialog::enterStage(const QString& stage) {
    if (!m_stages.isEmpty()) m_bar->setValue(std::min(m_bar->value() + 1, m_bar->maximum()));
    if (m_bar->value() >= m_bar->maximum()) m_bar->setMaximum(m_bar->value() + 1);
    m_stages.append(stage);
    if (!m_cancelRequested) m_label->setText(m_action + QStringLiteral(": ") + stage + QStringLiteral("..."));
}

QString StageProgressDialog::labelText() const { return m_label->text(); }

void StageProgressDialog::reject() {
    // The dialog stays until the work has stopped: closing it now would leave the window looking
    // free while the work still holds the processor.
    if (m_cancelRequested) return;
    m_cancelRequested = true;
    m_cancel->setEnabled(false);
    m_label->setText(m_action + QStringLiteral(": stopping..."));
    emit cancelClicked();
}

WorkOutcome runStagedWork(ShellHost& host, QWidget* parent, const StagedWorkText& text,
                          const std::function<bool(LoadProgress&)>& work) {
    if (g_workRunning) return WorkOutcome::Failed;
    g_workRunning = true;
    host.suspendTicks();

    WorkerProgress progress(text.quietStage.toStdString());
    std::atomic<bool> finished{false};
    bool succeeded = false;
    StageProgressDialog dialog(text.title, text.action, text.expectedStages, parent);
    InputHold hold(&dialog);
    const std::string action = text.action.toStdString();
    std::thread worker;
    try {
        worker = std::thread([&] {
            // Nothing may leave a thread but its result: running out of memory on a mesh too big
            // for the machine is a failed load, not the end of the program.
            try {
                succeeded = work(progress);
            } catch (const std::exception& error) {
                diagPrintf("%s: %s\n", action.c_str(), error.what());
                succeeded = false;
            }
            finished = true;
        });
    } catch (const std::system_error& error) {
        diagPrintf("%s: no worker thread: %s\n", action.c_str(), error.what());
        host.resumeTicks();
        g_workRunning = false;
        return WorkOutcome::Failed;
    }

    QEventLoop loop;
    QTimer poller;
    poller.setInterval(kPollIntervalMs);
    QObject::connect(&poller, &QTimer::timeout, &loop, [&] {
        for (const std::string& stage : progress.takeEntered()) dialog.enterStage(QString::fromStdString(stage));
        if (finished || progress.quietAsked()) loop.quit();
    });
    QTimer showLater;
    showLater.setSingleShot(true);
    QObject::connect(&showLater, &QTimer::timeout, &dialog, [&] {
        if (!finished) dialog.show();
    });
    QObject::connect(&dialog, &StageProgressDialog::cancelClicked, &loop, [&] { progress.cancel(); });
    poller.start();
    showLater.start(std::max(0, text.showAfterMs));
    loop.exec();
    // Past this point the window's thread handles no events until the work is over.
    progress.grantQuiet();
    worker.join();
    poller.stop();
    showLater.stop();
    dialog.hide();

    host.resumeTicks();
    g_workRunning = false;
    if (progress.cancelled()) return WorkOutcome::Cancelled;
    return succeeded ? WorkOutcome::Succeeded : WorkOutcome::Failed;
}

bool stagedWorkRunning() { return g_workRunning; }

void setStagePauseForTests(int milliseconds) { g_stagePauseMs = std::max(0, milliseconds); }
