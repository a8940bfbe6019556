// LatticeDialog: the "Simulation lattice" dialog: the lattice off, or on with a vertex count.
#pragma once

#include <QDialog>

#include "interaction/LatticeChoice.h"

class QLabel;
class QRadioButton;
class QSpinBox;

/// Off, or On with a vertex count (kWindowLatticeMinVertices up to kWindowLatticeMaxVertices and
/// below the model's own count; kWindowLatticeDefaultVertices unless a lattice is in force); OK
/// and Cancel. A model too small for a coarser lattice has On disabled and says why.
/// User-interface thread only.
class LatticeDialog : public QDialog {
    Q_OBJECT
   public:
    /// currentTarget: the count in force (0: none).
    LatticeDialog(int currentTarget, int modelVertices, QWidget* parent);

    /// What the dialog's controls say now (On or Off; Cancel is the caller's when exec() refused).
    LatticeChoice choice() const;

    QRadioButton* offButton() const { return m_off; }
    QRadioButton* onButton() const { return m_on; }
    QSpinBox* verticesBox() const { return m_vertices; }

   private:
    QRadioButton* m_off = nullptr;
    QRadioButton* m_on = nullptr;
    QSpinBox* m_vertices = nullptr;
    QLabel* m_note = nullptr;
};

/// Shows the dialog over parent and returns the choice (Cancel when it was cancelled).
LatticeChoice askSimulationLattice(int currentTarget, int modelVertices, QWidget* parent);
