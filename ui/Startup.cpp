#include "ui/Startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "ui/About.h"
#include "ui/Accept.h"
#include "ui/Compare.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/SDir.h"
#include "ui/Sets.h"
#include "ui/WorkSet.h"

bool CreateWindows(const std::string& executablePath) {
    Form1 = new TForm1(executablePath);
    if (!Form1->CanRun()) {
        DestroyWindows();
        return false;
    }
    FormWorkSet = new TFormWorkSet();
    Form3 = new TForm3();
    Form4 = new TForm4();
    Form6 = new TForm6();
    Form7 = new TForm7();
    FormAccept = new TFormAccept();
    Form8 = new TForm8();
    return true;
}

namespace {
template <class T>
void Destroy(T*& window) {
    delete window;
    window = nullptr;
}
}  // namespace

void DestroyWindows() {
    Destroy(Form8);
    Destroy(FormAccept);
    Destroy(Form7);
    Destroy(Form6);
    Destroy(Form4);
    Destroy(Form3);
    Destroy(FormWorkSet);
    Destroy(Form1);
}

bool InstallQtTranslation() {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(QCoreApplication::instance());
    // Qt's own packages ship the base module's catalogue; a deployment that merged the
    // modules' catalogues into one (windeployqt) ships that instead.
    for (const QString& name : {QStringLiteral("qtbase_zh_CN"), QStringLiteral("qt_zh_CN")}) {
        if (translator->load(name, dir))
            return QCoreApplication::installTranslator(translator);
    }
    delete translator;
    return false;
}
