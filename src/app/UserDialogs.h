// UserDialogs: the modal questions the program asks the user.
#pragma once

#include <string>

#include "interaction/LatticeChoice.h"

/// The answers to the question whether to save the unsaved work first.
enum class SaveChoice { Save, Discard, Cancel };

/// Message boxes, yes/no questions and file choosers. The application uses the Qt implementation;
/// tests install a scripted one that answers from a list and records what was asked.
/// User-interface thread only.
class UserDialogs {
   public:
    virtual ~UserDialogs() = default;
    /// A message with an OK button; returns when the user has closed it.
    virtual void showMessage(const std::string& text) = 0;
    /// A message with the reason behind it on the line below (the message alone when reason is empty).
    virtual void showMessageWithReason(const std::string& text, const std::string& reason) {
        showMessage(reason.empty() ? text : text + "\n" + reason);
    }
    /// A question with Yes and No, No being the default button (what Return answers); true only for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    /// A file-open chooser. filter is in the "Description (*.a;*.b)|*.a;*.b||" form. Returns the
    /// chosen path, or an empty string when the user cancels.
    virtual std::string chooseOpenFile(const std::string& filter) = 0;
    /// A file-save chooser with the same filter form; empty when cancelled.
    virtual std::string chooseSaveFile(const std::string& filter) = 0;
    /// A question with Save, Discard and Cancel (Cancel when the user closes it).
    virtual SaveChoice askSaveDiscardCancel(const std::string& text) = 0;
    /// The simulation-lattice dialog (LatticeDialog) for a model of modelVertices vertices whose
    /// lattice is currentTarget vertices (0: none); Cancel when the user cancels. Dialogs without
    /// one answer Cancel.
    virtual LatticeChoice chooseSimulationLattice(int currentTarget, int modelVertices) {
        (void)currentTarget;
        (void)modelVertices;
        return LatticeChoice();
    }
};
