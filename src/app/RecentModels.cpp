// RecentModels: the recent-model list in QSettings.
#include "app/RecentModels.h"

#include <QFileInfo>
#include <QSettings>

namespace {
const char* const kKey = "recentModels";
}  // namespace

QStringList RecentModels::entries() const {
    QSettings settings;
    QStringList list;
    for (const QString& entry : settings.value(kKey).toStringList())
        if (!entry.isEmpty() && !list.contains(entry)) list.append(entry);
    while (list.size() > kMaxEntries) list.removeLast();
    return list;
}

void RecentModels::add(const QString& basePath) {
    const QString absolute = QFileInfo(basePath).absoluteFilePath();
    QStringList list = entries();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > kMaxEntries) list.removeLast();
    QSettings settings;
    settings.setValue(kKey, list);
}

void RecentModels::remove(const QString& basePath) {
    QStringList list = entries();
    list.removeAll(basePath);
    QSettings settings;
    settings.setValue(kKey, list);
}
