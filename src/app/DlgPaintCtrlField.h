// DlgPaintCtrlField: the tool window of the paint-control-field mode.
#pragma once

#include <QString>
#include <array>
#include <string>

#include "app/QtToolDialog.h"
#include "interaction/BusyIndicator.h"
#include "interaction/TStatePaintCtrlField.h"

class QCheckBox;
class QPushButton;
class ShellHost;

/// The busy cursor over the whole application while a recomputation runs (calls nest).
class QtBusyCursor : public BusyIndicator {
   public:
    void beginBusy() override;
    void endBusy() override;
};

/// The fields the "Init ..." buttons reset.
enum class PaintFieldKind { Phase = 0, Amplitude = 1, Depth = 2, OrientationStrokes = 3 };

/// The question asked before a field is reset.
extern const char* const kInitFieldQuestion;
/// The file filter of the stroke export and import.
extern const char* const kStrokeFileFilter;

/// The path a stroke file is written to or read from: the chosen name, with ".vmfigstrs" appended
/// unless its extension already is "vmfigstrs" (compared case-sensitively).
std::string strokeFilePath(const std::string& chosen);

/// "Paint Control Field dialog": shown while mode 1 is current, docked at the main window's right
/// edge; the user cannot close it. Twenty tool check boxes in six groups behave as one exclusive
/// choice mirrored in the paint mode's tool; buttons reset or recompute whole fields, place the
/// model, and export or import the fibre strokes; static texts list the mouse bindings. Modal
/// questions go through the shell's user dialogs. Installs the busy cursor the paint mode shows
/// while it recomputes. Owned by the core object; user-interface thread only.
class DlgPaintCtrlField : public QtToolWindow<ToolDialogWindow> {
    Q_OBJECT
   public:
    DlgPaintCtrlField();
    ~DlgPaintCtrlField() override;

    /// The check box of a tool.
    QCheckBox* toolCheckBox(PaintTool tool) const { return m_toolBoxes[static_cast<size_t>(tool)]; }
    /// The push button with this text, or nullptr.
    QPushButton* commandButton(const QString& text) const;

    /// Handlers of the controls (the buttons call them; tests may too). Each does nothing before the
    /// dialog is initialised, and each model action nothing without a model.
    void onToolClicked(PaintTool tool);
    void onInitField(PaintFieldKind kind);
    void onUpdateField();
    void onNormalize();
    void onExportStrokes();
    void onImportStrokes();
    void onResetChambers();

   private:
    void buildControls();
    /// The shell's modal questions; nullptr when the application's shell is not installed.
    ShellHost* shellHost() const;

    bool m_bInitialized = false;
    std::array<QCheckBox*, 20> m_toolBoxes{};
    QtBusyCursor m_busyCursor;
    BusyIndicator* m_previousIndicator = nullptr;
};
