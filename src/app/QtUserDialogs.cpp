// QtUserDialogs: QMessageBox and QFileDialog behind the modal-question interface.
#include "app/QtUserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/LatticeDialog.h"
#include "app/ModelPaths.h"

QWidget* QtUserDialogs::parentWindow() const {
    if (QWidget* active = QApplication::activeWindow()) return active;
    return (m_mainWindow && m_mainWindow->isVisible()) ? m_mainWindow : nullptr;
}

void QtUserDialogs::showMessage(const std::string& text) {
    QMessageBox::information(parentWindow(), QApplication::applicationName(), QString::fromStdString(text),
                             QMessageBox::Ok);
}

bool QtUserDialogs::askYesNo(const std::string& text) {
    return QMessageBox::question(parentWindow(), QApplication::applicationName(), QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::string QtUserDialogs::chooseOpenFile(const std::string& filter) {
    return QFileDialog::getOpenFileName(parentWindow(), QString(), QString(),
                                        QString::fromStdString(qtFileFilter(filter)))
        .toStdString();
}

std::string QtUserDialogs::chooseSaveFile(const std::string& filter) {
    return QFileDialog::getSaveFileName(parentWindow(), QString(), QString(),
                                        QString::fromStdString(qtFileFilter(filter)))
        .toStdString();
}

SaveChoice QtUserDialogs::askSaveDiscardCancel(const std::string& text) {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parentWindow(), QApplication::applicationName(), QString::fromStdString(text),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) return SaveChoice::Save;
    if (answer == QMessageBox::Discard) return SaveChoice::Discard;
    return SaveChoice::Cancel;
}

LatticeChoice QtUserDialogs::chooseSimulationLattice(int currentTarget, int modelVertices) {
    return askSimulationLattice(currentTarget, modelVertices, parentWindow());
}
