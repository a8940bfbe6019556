// ShellMenus: View and Help menus, the experiment chart and the two export entries.
#include "app/ShellMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "interaction/Commands.h"

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

void addExperimentCommands(QMenu* menu, Commands& commands) {
    if (!menu->actions().isEmpty()) menu->addSeparator();
    menu->addAction(QStringLiteral("Set Contraction Chart For Experiment"), menu,
                    [&commands] { commands.setExperimentContractionChart(); });
    menu->addAction(QStringLiteral("StartExportAnimation"), menu, [&commands] { commands.startAnimationExport(); });
    menu->addAction(QStringLiteral("StartExportWallThickness"), menu,
                    [&commands] { commands.startWallThicknessExport(); });
}

void addHelpMenu(QMenuBar* bar, Commands& commands) {
    QMenu* help = menuWithTitle(bar, QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Velmora..."), help, [&commands] { commands.showAbout(); });
}
