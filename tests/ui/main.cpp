#include <gtest/gtest.h>

#include <QApplication>

#include "ui/Startup.h"

int main(int argc, char** argv) {
    // Headless always: no test may need a display or wait for a person.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmere"));
    // Qt's own texts as the program shows them.
    InstallQtTranslation();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
