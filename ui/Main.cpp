#include "ui/Main.h"

#include <QCoreApplication>
#include <QVBoxLayout>

#include "core/FunSub.h"
#include "ui/Messages.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(const std::string& executablePath) {
    SetFirstPlacement(FirstPlacement::CentreOnScreen);
    Edit3 = new QLineEdit(this);
    Button1 = new QPushButton(QStringLiteral("过滤复制"), this);
    ListView3 = new QTreeWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Edit3);
    layout->addWidget(ListView3);
    layout->addWidget(Button1);
    FormCreate(executablePath);
}

void TForm1::FormCreate(const std::string& executablePath) {
    FunSub::AppDir = FunSub::DirectoryOfExecutable(executablePath);
    if (FunSub::IsDriveRoot(FunSub::AppDir)) {
        Messages().Warn(QStringLiteral("该软件不能在根目录下运行！"));
        m_canRun = false;
        return;
    }
    setWindowTitle(QStringLiteral("Quillmere V1.2 （2003-9-26）  "));
    FunSub::SourceChanged = false;
    Edit3->setText(QStringLiteral(" ？？？"));
    Button1->setEnabled(false);
    Guard([] { FunSub::LoadSettings(); });
}

void TForm1::FormActivate() {}

void TForm1::FormClose() {
    hide();
    QCoreApplication::quit();
}
