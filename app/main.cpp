#include <QApplication>
#include <QTimer>

#include "core/Platform.h"
#include "ui/Images.h"
#include "ui/Main.h"
#include "ui/Startup.h"

int main(int argc, char** argv) {
    // Deep trees keep a few directories of each level open.
    Platform::RaiseOpenFileLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtTranslation();
    if (!CreateWindows(Platform::ExecutablePath()))
        return 0;
    // The first showing runs inside the event loop, so that answering No to its first
    // question can end the loop.
    QTimer::singleShot(0, Form1, &ChainWindow::ShowAndActivate);
    const int status = QApplication::exec();
    DestroyWindows();
    return status;
}
