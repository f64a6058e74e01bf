#include "ui/About.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "core/FunSub.h"
#include "core/Version.h"
#include "ui/Images.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"
#include "ui/Palette.h"

TForm6* Form6 = nullptr;

namespace {

constexpr int kIconSize = 32;
constexpr int kTitlePixels = 15;
constexpr int kTextPixels = 12;

void SetLinkLook(QLabel* link, bool lit) {
    QFont f = link->font();
    f.setUnderline(lit);
    f.setStrikeOut(false);
    f.setItalic(false);
    f.setBold(false);
    link->setFont(f);
    QPalette p = link->palette();
    p.setColor(QPalette::WindowText, lit ? kBlue : kMaroon);
    link->setPalette(p);
}

QPixmap ProgramIconPixmap() {
    return ProgramIcon().pixmap(kIconSize, kIconSize);
}

// A quill lying on a ruled line, drawn rather than shipped as a file.
QPixmap Decoration() {
    QPixmap picture(200, 26);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient rule(0, 0, picture.width(), 0);
    rule.setColorAt(0.0, QColor(128, 0, 0, 0));
    rule.setColorAt(0.3, QColor(128, 0, 0, 200));
    rule.setColorAt(1.0, QColor(0, 0, 160, 40));
    p.setPen(QPen(QBrush(rule), 1.5));
    p.drawLine(QPointF(4, 21.5), QPointF(picture.width() - 4, 21.5));

    QPainterPath vane;
    vane.moveTo(30, 20);
    vane.cubicTo(70, 2, 130, -2, 168, 4);
    vane.cubicTo(128, 10, 80, 16, 30, 20);
    QLinearGradient ink(30, 20, 168, 4);
    ink.setColorAt(0.0, QColor(70, 30, 20));
    ink.setColorAt(1.0, QColor(190, 150, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(vane);
    p.setPen(QPen(QColor(60, 20, 10), 1.2));
    p.drawLine(QPointF(22, 21), QPointF(160, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 60));
    p.drawEllipse(QPointF(20, 21.5), 2.2, 2.2);
    return picture;
}

}  // namespace

QString TForm6::HomePage() {
    return QStringLiteral("http://www.quillmere.example/");
}

QString TForm6::MailAddress() {
    return QStringLiteral("quillmere@quillmere.example");
}

TForm6::TForm6() : ChainWindow(kFixedDialogFlags) {
    SetFirstPlacement(FirstPlacement::CentreOnDesktop);
    setWindowTitle(QStringLiteral("关于Quillmere"));
    QFont f = font();
    f.setPixelSize(kTextPixels);
    setFont(f);
    // Move events over the window's own surface take the highlight off the links.
    setMouseTracking(true);
    createWidgets();
    createLayout();
    connectSignals();
}

void TForm6::createWidgets() {
    Image1 = new QLabel(this);
    Image1->setFixedSize(kIconSize, kIconSize);
    Image1->setPixmap(ProgramIconPixmap());

    Label2 = new QLabel(QStringLiteral("Quillmere"), this);
    QFont title = Label2->font();
    title.setPixelSize(kTitlePixels);
    Label2->setFont(title);
    QPalette black = Label2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label2->setPalette(black);
    Label6 = new QLabel(QStringLiteral("V ") + QString::fromUtf8(FunSub::kVersion), this);

    Image2 = new QLabel(this);
    Image2->setPixmap(Decoration());

    Label3 = new QLabel(QStringLiteral("个人主页："), this);
    Label5 = new QLabel(HomePage(), this);
    Label4 = new QLabel(QStringLiteral("E-mail："), this);
    Label1 = new QLabel(MailAddress(), this);
    for (QLabel* link : {Label1, Label5}) {
        SetLinkLook(link, false);
        link->setCursor(Qt::PointingHandCursor);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }

    Button1 = new QPushButton(QStringLiteral("确  定"), this);
}

void TForm6::createLayout() {
    // Plain layouts only: whatever lies between the widgets is the window's own surface.
    auto* title = new QHBoxLayout;
    title->addWidget(Label2, 0, Qt::AlignBottom);
    title->addSpacing(10);
    title->addWidget(Label6, 0, Qt::AlignBottom);
    title->addStretch(1);

    auto* head = new QGridLayout;
    head->setHorizontalSpacing(14);
    head->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    head->addLayout(title, 0, 1);
    head->addWidget(Image2, 1, 1);

    auto* links = new QGridLayout;
    links->setVerticalSpacing(8);
    links->addWidget(Label3, 0, 0, Qt::AlignRight);
    links->addWidget(Label5, 0, 1, Qt::AlignLeft);
    links->addWidget(Label4, 1, 0, Qt::AlignRight);
    links->addWidget(Label1, 1, 1, Qt::AlignLeft);
    links->setColumnStretch(2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->addLayout(head);
    layout->addSpacing(14);
    layout->addLayout(links);
    layout->addSpacing(16);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm6::connectSignals() {
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
}

bool TForm6::eventFilter(QObject* watched, QEvent* event) {
    const bool email = watched == Label1;
    const bool home = watched == Label5;
    if (email || home) {
        if (event->type() == QEvent::MouseMove) {
            Guard([&] { email ? Label1MouseMove() : Label5MouseMove(); });
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const auto* link = static_cast<QWidget*>(watched);
            if (mouse->button() == Qt::LeftButton &&
                link->rect().contains(mouse->position().toPoint())) {
                Guard([&] { email ? Label1Click() : Label5Click(); });
            }
        }
    }
    return ChainWindow::eventFilter(watched, event);
}

void TForm6::mouseMoveEvent(QMouseEvent* event) {
    // Moves over a child that does not take them arrive here too; only the bare surface
    // counts.
    if (childAt(event->position().toPoint()) == nullptr)
        Guard([this] { FormMouseMove(); });
    ChainWindow::mouseMoveEvent(event);
}

void TForm6::Label1MouseMove() {
    SetLinkLook(Label1, true);
}

void TForm6::Label5MouseMove() {
    SetLinkLook(Label5, true);
}

void TForm6::FormMouseMove() {
    SetLinkLook(Label1, false);
    SetLinkLook(Label5, false);
}

void TForm6::Label1Click() {
    Messages().OpenWithDefaultProgram(QStringLiteral("mailto:") + MailAddress());
}

void TForm6::Label5Click() {
    Messages().OpenWithDefaultProgram(HomePage());
}

void TForm6::Button1Click() {
    ReturnTo(this, MainWindow());
}

void TForm6::FormClose() {
    Button1Click();
}

void OpenInstructions() {
    const std::string guide = FunSub::GuidePath();
    // The system would report a missing document in its own way, if at all; the program
    // says nothing and does nothing then.
    if (guide.empty())
        return;
    Messages().OpenWithDefaultProgram(ToQ(guide));
}
