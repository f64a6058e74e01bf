#include "ui/ChainWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "ui/Messages.h"

ChainWindow::ChainWindow(Qt::WindowFlags flags) : QWidget(nullptr, flags) {}

void ChainWindow::PlaceAt(int left, int top) { move(left, top); }

void ChainWindow::ShowAndActivate() {
    if (!m_shownBefore) {
        m_shownBefore = true;
        adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = m_firstPlacement == FirstPlacement::CentreOnDesktop
                                   ? screen->virtualGeometry()
                                   : screen->availableGeometry();
            if (m_firstPlacement != FirstPlacement::None) {
                QRect frame = frameGeometry();
                frame.moveCenter(area.center());
                move(frame.topLeft());
            }
        }
    }
    show();
    raise();
    activateWindow();
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

void OpenDialog(ChainWindow* owner, ChainWindow* dialog) {
    owner->setEnabled(false);
    dialog->ShowAndActivate();
}

void ReturnTo(ChainWindow* dialog, ChainWindow* owner) {
    dialog->hide();
    owner->setEnabled(true);
    owner->ShowAndActivate();
}
