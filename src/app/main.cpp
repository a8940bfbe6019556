// velmora: the desktop application.
#include <QApplication>
#include <clocale>

#include "app/CVelmoraApp.h"
#include "linalg/Diagnostics.h"

int main(int argc, char** argv) {
    diagPrintf("start\n");
    CVelmoraApp::configureSurfaceFormat();
    QApplication application(argc, argv);
    // Qt applies the user's locale; the program's console lines and files keep '.' decimals.
    std::setlocale(LC_NUMERIC, "C");
    int status = 0;
    {
        CVelmoraApp app;
        if (!app.initInstance(QApplication::arguments())) return 1;
        status = QApplication::exec();
    }
    return status;
}
