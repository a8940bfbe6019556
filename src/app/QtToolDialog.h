// QtToolDialog: the tool dialogs' common window behaviour, and the factory the core object uses.
#pragma once

#include <QCloseEvent>
#include <QWidget>
#include <QWindow>

#include "interaction/ToolDialogWindow.h"

class Commands;

/// A modeless tool window: a Qt tool window kept above the main window (its transient parent),
/// shown without taking the focus. Closable ones hide on close; the others ignore the request.
/// Interface is ToolDialogWindow or StdDialogWindow. User-interface thread only.
template <class Interface>
class QtToolWindow : public QWidget, public Interface {
   public:
    QtToolWindow(const QString& title, int width, int height, bool closable)
        : QWidget(nullptr, windowFlagsFor(closable)), m_closable(closable) {
        setWindowTitle(title);
        setAttribute(Qt::WA_ShowWithoutActivating);
        resize(width, height);
    }

    /// Keeps the window above `frame` (its transient parent) once both have native windows.
    void attachToMainWindow(QWidget* frame) {
        if (!frame) return;
        winId();
        frame->winId();
        if (windowHandle() && frame->windowHandle()) windowHandle()->setTransientParent(frame->windowHandle());
    }

    void showDialog() override { show(); }
    void hideDialog() override { hide(); }
    bool isDialogVisible() const override { return isVisible(); }
    int dialogWidth() const override { return width(); }
    int dialogHeight() const override { return height(); }
    void placeOnTop(int x, int y, int w, int h) override {
        move(x, y);
        resize(w, h);
        if (isVisible()) raise();
    }
    void redraw(bool erase) override {
        if (isVisible()) repaint();
    }

   protected:
    void closeEvent(QCloseEvent* event) override {
        if (m_closable) {
            event->accept();
        } else {
            event->ignore();
        }
    }

   private:
    static Qt::WindowFlags windowFlagsFor(bool closable) {
        Qt::WindowFlags flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (closable) flags |= Qt::WindowCloseButtonHint;
        return flags;
    }
    bool m_closable;
};

/// Makes the three Qt dialogs, hidden, kept above the main window once it is known.
class QtToolDialogFactory : public ToolDialogFactory {
   public:
    /// The dialogs' buttons call into commands, which outlives them.
    explicit QtToolDialogFactory(Commands& commands) : m_commands(commands) {}

    /// The main window the dialogs stay above (set before the core object is created).
    void setMainWindow(QWidget* frame) { m_frame = frame; }

    std::unique_ptr<ToolDialogWindow> createVolumeDialog() override;
    std::unique_ptr<ToolDialogWindow> createPaintDialog() override;
    std::unique_ptr<StdDialogWindow> createStdDialog() override;

   private:
    Commands& m_commands;
    QWidget* m_frame = nullptr;
};
