// DlgPaintCtrlField: the tool window of the paint-control-field mode.
#pragma once

#include <QString>
#include <array>
#include <string>

#include "app/QtToolDialog.h"
#include "interaction/TStatePaintCtrlField.h"

class QCheckBox;
class QPushButton;

/// "Paint Control Field dialog": shown while mode 1 is current, docked at the main window's right
/// edge; the user cannot close it. Twenty tool check boxes in six groups behave as one exclusive
/// choice mirrored in the paint mode's tool; buttons reset or recompute whole fields, place the
/// model, and export or import the fibre strokes; static texts list the mouse bindings. Each button
/// is one call into the command layer. Owned by the core object; user-interface thread only.
class DlgPaintCtrlField : public QtToolWindow<ToolDialogWindow> {
    Q_OBJECT
   public:
    explicit DlgPaintCtrlField(Commands& commands);

    /// The check box of a tool.
    QCheckBox* toolCheckBox(PaintTool tool) const { return m_toolBoxes[static_cast<size_t>(tool)]; }
    /// The push button with this text, or nullptr.
    QPushButton* commandButton(const QString& text) const;

    /// A tool's box was clicked: exactly that box ends up checked and the tool is chosen.
    void onToolClicked(PaintTool tool);

   private:
    void buildControls();

    Commands& m_commands;
    bool m_bInitialized = false;
    std::array<QCheckBox*, 20> m_toolBoxes{};
};
