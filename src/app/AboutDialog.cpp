// AboutDialog: layout of the About box and the single instance per main window.
#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Velmora"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    auto* version = new QLabel(QStringLiteral("Velmora, Version 1.0"), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    layout->addWidget(version);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

AboutDialog* AboutDialog::showFor(QWidget* parent) {
    AboutDialog* dialog = parent ? parent->findChild<AboutDialog*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!dialog) dialog = new AboutDialog(parent);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}
