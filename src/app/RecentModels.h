// RecentModels: the models loaded lately, remembered across runs.
#pragma once

#include <QStringList>

/// Up to four model base paths (absolute), most recent first, kept in the user's settings under
/// "recentModels". User-interface thread only.
class RecentModels {
   public:
    static constexpr int kMaxEntries = 4;

    /// The list as stored (entries that are not strings or are empty are dropped).
    QStringList entries() const;
    /// Puts basePath (made absolute) first, removing an older copy and anything past four entries.
    void add(const QString& basePath);
    /// Forgets basePath.
    void remove(const QString& basePath);
};
