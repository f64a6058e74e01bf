#include "ui/Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#ifdef QUILLMERE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace {

// Shows a box until it is closed; then the window that had the input (the box's owner, if it
// has one) has it again. Not every window system hands it back by itself, and then no key
// reaches the program until a mouse click.
void Exec(QDialog& box) {
    const QPointer<QWidget> back =
        box.parentWidget() ? box.parentWidget()->window() : QApplication::activeWindow();
    box.exec();
    if (back && back->isVisible())
        back->activateWindow();
}

// Escape answers No while the close box answers Yes, so the box's own escape button
// (which the close box also presses) is Yes and Escape is caught here.
class EscapeMeansNo : public QObject {
public:
    EscapeMeansNo(QAbstractButton* no, QObject* parent) : QObject(parent), m_no(no) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_no->click();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton* m_no;
};

// A question box placed with its top-left corner at a given point, but never so far that
// part of it leaves the screen. Its final size is known only once it lays itself out on
// showing, before it appears.
class PlacedBox : public QMessageBox {
public:
    PlacedBox(const QString& text, QPoint topLeft)
        : QMessageBox(QMessageBox::Warning, QStringLiteral("Warning"), DisplayText(text)),
          m_topLeft(topLeft) {
        move(topLeft);
    }

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        QScreen* screen = QGuiApplication::screenAt(m_topLeft);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        const QSize size = frameGeometry().size();
        move(qMax(area.left(), qMin(m_topLeft.x(), area.right() + 1 - size.width())),
             qMax(area.top(), qMin(m_topLeft.y(), area.bottom() + 1 - size.height())));
    }

private:
    QPoint m_topLeft;
};

class RealMessages : public MessageSeam {
public:
    bool Ask(const QString& text, QPoint topLeft) override {
        PlacedBox box(text, topLeft);
        // The toolkit's own buttons, in its translation: 是(Y) and 否(N), Y and N pressing them.
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        QAbstractButton* yes = box.button(QMessageBox::Yes);
        QAbstractButton* no = box.button(QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(yes);
        box.installEventFilter(new EscapeMeansNo(no, &box));
        Exec(box);
        return box.clickedButton() != no;
    }

    void Warn(const QString& text) override {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), DisplayText(text),
                        QMessageBox::Ok);
        Exec(box);
    }

    void ShowError(const QString& text) override {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillmere"), DisplayText(text),
                        QMessageBox::Ok);
        Exec(box);
    }

    void ShowList(const QString& title, const QString& intro, const QStringList& lines,
                  QWidget* owner) override {
        QDialog dialog(owner);
        dialog.setWindowTitle(title);
        auto* text = new QPlainTextEdit(lines.join(QLatin1Char('\n')), &dialog);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(new QLabel(DisplayText(intro), &dialog));
        layout->addWidget(text, 1);
        layout->addWidget(buttons);
        dialog.resize(560, 320);
        Exec(dialog);
    }

    void OpenWithDefaultProgram(const QString& target) override {
        const QUrl url = target.contains(QLatin1Char(':')) && !QUrl(target).isRelative() &&
                                 QUrl(target).scheme().size() > 1
                             ? QUrl(target)
                             : QUrl::fromLocalFile(target);
        // Whatever the system makes of it is all the user sees; the result is not examined.
        QDesktopServices::openUrl(url);
    }

    void Notify([[maybe_unused]] const QString& text, QWidget* window) override {
        QApplication::alert(window);
#ifdef QUILLMERE_HAVE_DBUS
        // Sent without waiting for an answer: without a service, or a session bus, nothing
        // happens.
        QDBusMessage notice = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        notice << QStringLiteral("Quillmere") << 0u << QStringLiteral("quillmere")
               << QStringLiteral("Quillmere") << text << QStringList() << QVariantMap() << -1;
        QDBusConnection::sessionBus().send(notice);
#endif
    }
};

RealMessages g_real;
MessageSeam* g_seam = &g_real;

}  // namespace

MessageSeam& Messages() {
    return *g_seam;
}

void SetMessages(MessageSeam* seam) {
    g_seam = seam ? seam : &g_real;
}

QString ToQ(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString DisplayText(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString DisplayText(const std::string& text) {
    return DisplayText(ToQ(text));
}

QString ErrorReportText(const QString& message) {
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}
