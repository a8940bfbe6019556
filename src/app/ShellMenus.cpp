// ShellMenus: View and Help menus, the experiment chart and the two export entries.
#include "app/ShellMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/AboutDialog.h"
#include "app/ExportCommands.h"
#include "app/ShellHost.h"
#include "interaction/EditHistory.h"
#include "model/MainWindowManager.h"

QMenu* menuWithTitle(QMenuBar* bar, const QString& title) {
    for (QAction* action : bar->actions())
        if (action->menu() && action->text() == title) return action->menu();
    return bar->addMenu(title);
}

void addViewMenu(QMenuBar* bar) {
    QMenu* view = menuWithTitle(bar, QStringLiteral("&View"));
    for (const QString& text : {QStringLiteral("&Toolbar"), QStringLiteral("&Status Bar")}) {
        QAction* action = view->addAction(text);
        action->setCheckable(true);
        action->setChecked(false);
        action->setEnabled(false);
    }
}

void addExperimentCommands(QMenu* menu, ShellHost& host) {
    if (!menu->actions().isEmpty()) menu->addSeparator();
    menu->addAction(QStringLiteral("Set Contraction Chart For Experiment"), menu,
                    [&host] { setExperimentContractionChart(host); });
    menu->addAction(QStringLiteral("StartExportAnimation"), menu, [&host] { runAnimationExportCommand(host); });
    menu->addAction(QStringLiteral("StartExportWallThickness"), menu, [&host] { runWallThicknessExportCommand(host); });
}

void addHelpMenu(QMenuBar* bar, QWidget* frame) {
    QMenu* help = menuWithTitle(bar, QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Velmora..."), frame, [frame] { AboutDialog::showFor(frame); });
}

bool setExperimentContractionChart(ShellHost& host) {
    TLSMModel* model = MainWindowManager::getInstance().model();
    if (!model) return false;
    TGlobalExcitation& excitation = *model->m_excitation;
    commitEdit(std::string());
    excitation.m_chartVent = {{0.0, 0.0}, {0.25, 0.0}, {0.5, 1.0}, {0.75, 1.0}};
    excitation.m_chartAtri = {{0.0, 0.0}};
    buildTables(excitation);
    commitEdit("Set Contraction Chart For Experiment");
    host.refreshDialogs();
    return true;
}
