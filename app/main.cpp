#include <QApplication>

#include "ui/Main.h"
#include "ui/Startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    if (!CreateWindows()) return 0;
    Form1->ShowAndActivate();
    const int status = QApplication::exec();
    DestroyWindows();
    return status;
}
