#include "ui/Accept.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/FunSub.h"
#include "ui/Images.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"
#include "ui/WorkSet.h"

TFormAccept* FormAccept = nullptr;

namespace {

QLabel* ColouredLabel(const QString& text, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QLineEdit* ReadOnlyField(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setMinimumWidth(320);
    return edit;
}

}  // namespace

TFormAccept::TFormAccept() : ChainWindow(kFixedDialogFlags) {
    SetFirstPlacement(FirstPlacement::CentreOnScreen);
    setWindowTitle(QStringLiteral("请指定工作目录和输出目录 ！"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(209, 199, 175));
    setPalette(palette);
    createWidgets();
    createLayout();
    connectSignals();
    FormCreate();
}

void TFormAccept::createWidgets() {
    const QColor purple(128, 0, 128);
    const QColor blue(0, 0, 255);
    Label1 = ColouredLabel(QStringLiteral("提示："), purple, this);
    Label3 = ColouredLabel(QStringLiteral("当前工作目录："), blue, this);
    Edit1 = ReadOnlyField(this);
    BitBtn1 = new QPushButton(ImageList1(kOpenFolder), QStringLiteral("设置工作目录"), this);
    Label4 = ColouredLabel(QStringLiteral("当前输出目录："), blue, this);
    Edit2 = ReadOnlyField(this);
    BitBtn2 = new QPushButton(ImageList1(kOpenFolder), QStringLiteral("设置输出目录"), this);
    Label2 = new QLabel(QStringLiteral("注意：工作目录中要有待处理的子目录"), this);
    Button2 = new QPushButton(QStringLiteral("确　定"), this);
    Button3 = new QPushButton(QStringLiteral("放　弃"), this);
}

void TFormAccept::createLayout() {
    auto* rows = new QGridLayout;
    rows->addWidget(Label3, 0, 0);
    rows->addWidget(Edit1, 0, 1);
    rows->addWidget(BitBtn1, 0, 2);
    rows->addWidget(Label4, 1, 0);
    rows->addWidget(Edit2, 1, 1);
    rows->addWidget(BitBtn2, 1, 2);
    rows->setVerticalSpacing(12);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label2);
    bottom->addStretch(1);
    bottom->addWidget(Button2);
    bottom->addWidget(Button3);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addSpacing(8);
    layout->addLayout(rows);
    layout->addSpacing(12);
    layout->addLayout(bottom);
    // The border is fixed: the dialog takes the size its contents ask for, hint included.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormAccept::connectSignals() {
    connect(BitBtn1, &QPushButton::clicked, this, &TFormAccept::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormAccept::BitBtn2Click);
    connect(Button2, &QPushButton::clicked, this, &TFormAccept::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TFormAccept::Button3Click);
}

void TFormAccept::FormCreate() {
    Edit1->setText(ToQ(FunSub::WorkDir));
    Edit2->setText(ToQ(FunSub::OutputDir));
}

void TFormAccept::FormActivate() {
    Edit1->setText(ToQ(FunSub::WorkDir));
    Edit2->setText(ToQ(FunSub::OutputDir));
    Label1->setText(DisplayText(FunSub::HintText));
    // Take the hint's size now rather than when the event loop gets round to it.
    layout()->activate();
    BitBtn1->setFocus();
}

void TFormAccept::OpenPicker(const char* target) {
    FunSub::PickerTarget = target;
    OpenDialog(this, FormWorkSet);
}

void TFormAccept::BitBtn1Click() {
    OpenPicker("work");
}

void TFormAccept::BitBtn2Click() {
    OpenPicker("output");
}

void TFormAccept::Button2Click() {
    // The dialog stays up, with the main window disabled, until the file is really written.
    if (Guard([] { FunSub::SaveSettings(); }))
        ReturnTo(this, MainWindow());
}

void TFormAccept::Button3Click() {
    ReturnTo(this, MainWindow());
}

void TFormAccept::FormClose() {
    Button3Click();
}
