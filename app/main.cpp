#include <QApplication>

#include "core/Platform.h"
#include "ui/Main.h"
#include "ui/Startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    if (!CreateWindows(Platform::ExecutablePath())) return 0;
    Form1->ShowAndActivate();
    const int status = QApplication::exec();
    DestroyWindows();
    return status;
}
