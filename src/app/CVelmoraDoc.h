// CVelmoraDoc: the application's document, which holds no data.
#pragma once

#include <QString>

/// The model lives in the controller; the document only names what the main window shows in its
/// title. User-interface thread only.
class MainWindowManager;

class CVelmoraDoc {
   public:
    /// The controller whose model names the document (nullptr: none yet).
    void setController(const MainWindowManager* controller) { m_controller = controller; }
    /// A new, empty document (the only kind there is).
    bool onNewDocument() { return true; }
    /// "<model file name> - Velmora", or "Velmora" without a model; "<name>* - Velmora" while the
    /// project differs from its file.
    QString windowTitle() const;
    void setModified(bool modified) { m_modified = modified; }
    bool isModified() const { return m_modified; }

   private:
    const MainWindowManager* m_controller = nullptr;
    bool m_modified = false;
};
