// AboutDialog: the program's name and version.
#pragma once

#include <QDialog>

/// "About Velmora": the line "Velmora, Version 1.0" and an OK button. Modal to the application but
/// opened without a nested event loop, so the beat goes on behind it. User-interface thread only.
class AboutDialog : public QDialog {
    Q_OBJECT
   public:
    explicit AboutDialog(QWidget* parent);

    /// Shows the About dialog of parent, making it on first use (it deletes itself when closed);
    /// asking again while it is open raises the same dialog.
    static AboutDialog* showFor(QWidget* parent);
};
