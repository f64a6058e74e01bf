#include "ui/ChainWindow.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionFocusRect>

#include "ui/Messages.h"

namespace {

// The family the windows write in: 宋体 as this system knows it. Windows without it (a
// Western system, Wine) gets its Chinese interface font, or else any family that has Chinese:
// Qt's default there is the message font, which need not have Chinese, and under Wine line
// edits draw no text in it at all. Elsewhere empty: the system's own font covers Chinese.
QString ProgramFontFamily() {
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        QStringList wanted{QStringLiteral("SimSun"), QStringLiteral("宋体")};
#ifdef _WIN32
        wanted << QStringLiteral("Microsoft YaHei")
               << QFontDatabase::families(QFontDatabase::SimplifiedChinese);
#endif
        for (const QString& name : wanted) {
            if (families.contains(name, Qt::CaseInsensitive))
                return name;
        }
        return QString();
    }();
    return family;
}

// The style of the lists and trees: the application's own, which also draws the focus mark
// over the frame of one that has the focus.
class FrameFocusStyle : public QProxyStyle {
public:
    FrameFocusStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
        setParent(QCoreApplication::instance());
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element != CE_ShapedFrame || !option->state.testFlag(State_HasFocus))
            return;
        // Only the frame's own ring shows of it: the area's viewport covers the rest.
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(*option);
        proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
    }
};

}  // namespace

ChainWindow::ChainWindow(Qt::WindowFlags flags) : QWidget(nullptr, flags) {
    if (const QString family = ProgramFontFamily(); !family.isEmpty())
        setFont(QFont(family, 9));
}

void ChainWindow::PlaceAt(int left, int top) {
    move(left, top);
}

void ChainWindow::ShowAndActivate() {
    if (!m_shownBefore) {
        m_shownBefore = true;
        if (!testAttribute(Qt::WA_Resized))
            adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = m_firstPlacement == FirstPlacement::CentreOnDesktop
                                   ? screen->virtualGeometry()
                                   : screen->availableGeometry();
            if (m_firstPlacement != FirstPlacement::None) {
                // A window larger than the screen would open with its title bar out of reach.
                resize(size().boundedTo(area.size() * 0.95));
                QRect frame = frameGeometry();
                frame.moveCenter(area.center());
                move(qMax(frame.left(), area.left()), qMax(frame.top(), area.top()));
            }
        }
    }
    show();
    raise();
    activateWindow();
    // The widget with the focus shows it from the start, not only once Tab has been pressed
    // in the window (showing a window forgets that).
    setAttribute(Qt::WA_KeyboardFocusChange);
    Guard([this] { FormActivate(); });
}

void ChainWindow::closeEvent(QCloseEvent* event) {
    // A window that does not hold the input cannot be closed either.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    event->ignore();
    Guard([this] { FormClose(); });
}

void ChainWindow::keyPressEvent(QKeyEvent* event) {
    // A key that the focused button left alone travels up to its window. A held key presses
    // once: its repeats would go on to press whatever button the next window focuses.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (enter && button && button->isEnabled() && button->isVisible()) {
        event->accept();
        if (!event->isAutoRepeat())
            button->click();
        return;
    }
    if (event->key() == Qt::Key_Escape && EscapeCloses()) {
        event->accept();
        if (!event->isAutoRepeat())
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OpenDialog(ChainWindow* owner, ChainWindow* dialog) {
    owner->setEnabled(false);
    dialog->ShowAndActivate();
}

void HandOver(ChainWindow* from, ChainWindow* to) {
    from->hide();
    to->ShowAndActivate();
}

void ReturnTo(ChainWindow* dialog, ChainWindow* owner) {
    dialog->hide();
    owner->setEnabled(true);
    owner->ShowAndActivate();
}

void ShowFocusOnFrame(QAbstractScrollArea* area) {
    static QPointer<FrameFocusStyle> style;
    if (!style)
        style = new FrameFocusStyle;
    area->setStyle(style);
}

void SetTextColour(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    w->setPalette(p);
}
