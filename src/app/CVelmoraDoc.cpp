// CVelmoraDoc: the window title from the loaded model.
#include "app/CVelmoraDoc.h"

#include <QFileInfo>

#include "model/MainWindowManager.h"

QString CVelmoraDoc::windowTitle() const {
    const TLSMModel* model = m_controller ? m_controller->model() : nullptr;
    if (!model || model->m_filePath.empty()) return QStringLiteral("Velmora");
    return QFileInfo(QString::fromStdString(model->m_filePath)).fileName() +
           (m_modified ? QStringLiteral("* - Velmora") : QStringLiteral(" - Velmora"));
}
