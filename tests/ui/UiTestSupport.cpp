#include "ui/UiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include "core/FunSub.h"
#include "ui/Background.h"
#include "ui/Main.h"
#include "ui/Startup.h"

bool FakeMessages::Ask(const QString& text, QPoint topLeft) {
    shown.push_back({QStringLiteral("ask"), text, topLeft});
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeMessages::Warn(const QString& text) { shown.push_back({QStringLiteral("warn"), text, {}}); }

void FakeMessages::ShowError(const QString& text) {
    shown.push_back({QStringLiteral("error"), text, {}});
}

void FakeMessages::ShowList(const QString& title, const QString& intro, const QStringList& lines,
                            QWidget*) {
    shown.push_back({QStringLiteral("list"), title + "|" + intro + "|" + lines.join("|"), {}});
}

void FakeMessages::OpenWithDefaultProgram(const QString& target) {
    shown.push_back({QStringLiteral("open"), target, {}});
}

QStringList FakeMessages::texts(const QString& kind) const {
    QStringList out;
    for (const auto& s : shown) {
        if (s.kind == kind) out << s.text;
    }
    return out;
}

void UiTest::SetUp() {
    FunSub::ResetState();
    m_tree.dir("app");
    SetMessages(&m_messages);
}

void UiTest::TearDown() {
    DestroyWindows();
    SetMessages(nullptr);
    FunSub::ResetState();
    QCoreApplication::processEvents();
}

void UiTest::WriteWorkIni(const std::string& content) { m_tree.file("app/work.ini", content); }

void UiTest::WriteWorkIni(const std::string& work, const std::string& output) {
    WriteWorkIni(work + "\r\n" + output + "\r\n");
}

bool UiTest::Start() { return CreateWindows(m_tree.path("app/quillmere")); }

void UiTest::StartAndShow() {
    ASSERT_TRUE(Start());
    Form1->ShowAndActivate();
}

bool SaveScreenshot(QWidget* widget, const QString& name) {
    QString dir = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (dir.isEmpty()) dir = QDir::tempPath() + QStringLiteral("/quillmere-screenshots");
    QDir().mkpath(dir);
    const QPixmap picture = widget->grab();
    if (picture.isNull()) return false;
    return picture.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

bool TabTo(QWidget* target) {
    QWidget* window = target->window();
    for (int i = 0; i < 100 && window->focusWidget() != target; ++i) {
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Tab);
    }
    return window->focusWidget() == target;
}

void ClickAt(QWidget* widget, QPoint at) {
    const QPointF global = widget->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void ClickExpander(QTreeWidget* tree, QTreeWidgetItem* node) {
    tree->scrollToItem(node);
    const QRect label = tree->visualItemRect(node);
    ClickAt(tree->viewport(), QPoint(label.left() - tree->indentation() / 2, label.center().y()));
}

bool CurrentLabelInView(QTreeWidget* tree) {
    QCoreApplication::processEvents();  // as the user sees it, once the view caught up
    const QModelIndex current = tree->currentIndex();
    const QRect cell = tree->visualRect(current);
    return cell.left() >= 0 &&
           cell.left() + tree->sizeHintForIndex(current).width() <= tree->viewport()->width();
}

void WaitForBackground() {
    QElapsedTimer waited;
    waited.start();
    while (Background::InFlight() > 0 && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}
