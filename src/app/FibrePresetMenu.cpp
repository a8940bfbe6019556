// FibrePresetMenu: preset entries and the rule-based fibres' dialog.
#include "app/FibrePresetMenu.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>

#include "fields/FibrePresets.h"
#include "fields/RuleBasedFibres.h"
#include "interaction/Commands.h"
#include "model/TLSMModel.h"

namespace {

QDoubleSpinBox* angleField(QWidget* parent, const char* name, double value) {
    auto* field = new QDoubleSpinBox(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setRange(-kMaxHelixDegrees, kMaxHelixDegrees);
    field->setDecimals(1);
    field->setSingleStep(5.0);
    field->setSuffix(QStringLiteral(" °"));
    field->setValue(value);
    return field;
}

}  // namespace

QDialog* makeRuleBasedFibresDialog(QWidget* parent, Commands& commands) {
    double endo = kDefaultEndoHelixDegrees, epi = kDefaultEpiHelixDegrees;
    if (const TLSMModel* model = commands.model())
        if (model->m_orienField.m_ruleBased.inForce) {
            endo = model->m_orienField.m_ruleBased.endoDegrees;
            epi = model->m_orienField.m_ruleBased.epiDegrees;
        }
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("ruleBasedFibresDialog"));
    dialog->setWindowTitle(QStringLiteral("Rule-based fibres"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QFormLayout(dialog);
    layout->addRow(new QLabel(QStringLiteral("Helix angle of the ventricles' fibres, turning linearly\n"
                                             "through the wall about the left ventricle's long axis."),
                              dialog));
    QDoubleSpinBox* endoField = angleField(dialog, "endo", endo);
    QDoubleSpinBox* epiField = angleField(dialog, "epi", epi);
    layout->addRow(QStringLiteral("Under the cavities (endocardium):"), endoField);
    layout->addRow(QStringLiteral("Under the outer surface (epicardium):"), epiField);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [dialog, endoField, epiField, &commands] {
        // A refusal (no left-ventricular wall) is told by the command; the dialog closes either way.
        commands.applyRuleBasedFibres(endoField->value(), epiField->value());
        dialog->accept();
    });
    return dialog;
}

void addFibrePresetCommands(QMenu* menu, Commands& commands) {
    for (int i = 0; i < kFibrePresetCount; ++i)
        menu->addAction(QString::fromUtf8(kFibrePresets[i].menuText), menu,
                        [i, &commands] { commands.applyFibrePreset(i); });
    menu->addAction(QStringLiteral("Rule-based fibres..."), menu, [menu, &commands] {
        if (!commands.model()) return;
        makeRuleBasedFibresDialog(menu->parentWidget() ? menu->parentWidget()->window() : nullptr, commands)->open();
    });
}
