// CVelmoraDoc: the window title from the loaded model.
#include "app/CVelmoraDoc.h"

#include <QFileInfo>

#include "model/MainWindowManager.h"

QString CVelmoraDoc::windowTitle() const {
    const TLSMModel* model = MainWindowManager::getInstance().model();
    if (!model || model->m_filePath.empty()) return QStringLiteral("Velmora");
    return QFileInfo(QString::fromStdString(model->m_filePath)).fileName() +
           (m_modified ? QStringLiteral("* - Velmora") : QStringLiteral(" - Velmora"));
}
