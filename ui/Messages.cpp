#include "ui/Messages.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

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

class RealMessages : public MessageSeam {
public:
    bool Ask(const QString& text, QPoint topLeft) override {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text);
        QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(yes);
        box.installEventFilter(new EscapeMeansNo(no, &box));
        box.move(topLeft);
        box.exec();
        return box.clickedButton() != no;
    }

    void Warn(const QString& text) override {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
    }

    void ShowError(const QString& text) override {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillmere"), text);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
    }

    void OpenWithDefaultProgram(const QString& target) override {
        const QUrl url = target.contains(QLatin1Char(':')) && !QUrl(target).isRelative() &&
                                 QUrl(target).scheme().size() > 1
                             ? QUrl(target)
                             : QUrl::fromLocalFile(target);
        // Whatever the system makes of it is all the user sees; the result is not examined.
        QDesktopServices::openUrl(url);
    }
};

RealMessages g_real;
MessageSeam* g_seam = &g_real;

}  // namespace

MessageSeam& Messages() { return *g_seam; }

void SetMessages(MessageSeam* seam) { g_seam = seam ? seam : &g_real; }

QString ToQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString ErrorReportText(const QString& message) {
    return message.endsWith(QLatin1Char('.')) ? message : message + QLatin1Char('.');
}
