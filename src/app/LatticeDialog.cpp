// LatticeDialog: radio buttons, a spin box with thousands separators, and the note under them.
#include "app/LatticeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

LatticeDialog::LatticeDialog(int currentTarget, int modelVertices, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Simulation lattice"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("A big model beats faster when a coarser lattice is simulated and "
                                                "carries the model's own vertices."),
                                 this));
    m_off = new QRadioButton(QStringLiteral("Off: simulate every vertex of the model"), this);
    m_on = new QRadioButton(QStringLiteral("On: simulate a lattice of about"), this);
    m_vertices = new QSpinBox(this);
    m_vertices->setGroupSeparatorShown(true);
    m_vertices->setSuffix(QStringLiteral(" vertices"));
    m_vertices->setSingleStep(1000);
    // The lattice must be coarser than the model.
    const int largest = std::min(kWindowLatticeMaxVertices, modelVertices - 1);
    const bool possible = largest >= kWindowLatticeMinVertices;
    m_vertices->setRange(kWindowLatticeMinVertices, std::max(kWindowLatticeMinVertices, largest));
    m_vertices->setValue(currentTarget > 0 ? currentTarget : std::min(kWindowLatticeDefaultVertices, largest));
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    if (!possible) {
        m_on->setEnabled(false);
        m_vertices->setEnabled(false);
        m_note->setText(QStringLiteral("The model has only %1 vertices: a lattice would not be coarser.")
                            .arg(QLocale::system().toString(modelVertices)));
    } else {
        m_note->setText(QStringLiteral("The model has %1 vertices. The lattice is made by gmsh the first time "
                                       "and kept beside the model.")
                            .arg(QLocale::system().toString(modelVertices)));
    }
    (currentTarget > 0 && possible ? m_on : m_off)->setChecked(true);
    connect(m_vertices, &QSpinBox::valueChanged, this, [this] { m_on->setChecked(true); });
    layout->addWidget(m_off);
    layout->addWidget(m_on);
    layout->addWidget(m_vertices);
    layout->addWidget(m_note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

LatticeChoice LatticeDialog::choice() const {
    LatticeChoice made;
    if (m_on->isChecked()) {
        made.kind = LatticeChoice::Kind::On;
        made.vertices = m_vertices->value();
    } else {
        made.kind = LatticeChoice::Kind::Off;
    }
    return made;
}

LatticeChoice askSimulationLattice(int currentTarget, int modelVertices, QWidget* parent) {
    LatticeDialog dialog(currentTarget, modelVertices, parent);
    if (dialog.exec() != QDialog::Accepted) return LatticeChoice();
    return dialog.choice();
}
