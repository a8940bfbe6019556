// QtBusyCursor: the override cursor, shown before the work starts.
#include "app/QtBusyCursor.h"

#include <QApplication>

void showBusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Shown before the work starts, not after it ends.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void hideBusyCursor() { QApplication::restoreOverrideCursor(); }
