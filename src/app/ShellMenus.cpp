// ShellMenus: View and Help menus, the experiment chart and the two export entries.
#include "app/ShellMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/MovieExport.h"
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

void addMovieExport(QMenuBar* bar, Commands& commands) {
    auto* shell = dynamic_cast<CommandShell*>(bar->parentWidget());
    if (!shell) return;
    QMenu* file = menuWithTitle(bar, QStringLiteral("&File"));
    QWidget* window = bar->parentWidget();
    auto* action = new QAction(QStringLiteral("Export movie..."), file);
    QObject::connect(action, &QAction::triggered, file,
                     [&commands, shell, window] { exportMovie(commands, *shell, window); });
    // Beside the other export, before the recent models.
    QAction* before = nullptr;
    const QList<QAction*> entries = file->actions();
    for (int i = 0; i + 1 < entries.size(); ++i)
        if (entries[i]->text().startsWith(QStringLiteral("Export fields"))) before = entries[i + 1];
    file->insertAction(before, action);
}

/// "Export openCARP mesh..." right after the field export.
void addCarpExport(QMenuBar* bar, Commands& commands) {
    QMenu* file = menuWithTitle(bar, QStringLiteral("&File"));
    auto* action = new QAction(QStringLiteral("Export openCARP mesh..."), file);
    QObject::connect(action, &QAction::triggered, file, [&commands] { commands.exportCarpMesh(); });
    QAction* before = nullptr;
    const QList<QAction*> entries = file->actions();
    for (int i = 0; i + 1 < entries.size(); ++i)
        if (entries[i]->text().startsWith(QStringLiteral("Export fields"))) before = entries[i + 1];
    file->insertAction(before, action);
}

void addHelpMenu(QMenuBar* bar, Commands& commands) {
    // The File menu is complete by now: the movie and openCARP exports join it.
    addMovieExport(bar, commands);
    addCarpExport(bar, commands);
    QMenu* help = menuWithTitle(bar, QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Velmora..."), help, [&commands] { commands.showAbout(); });
}
