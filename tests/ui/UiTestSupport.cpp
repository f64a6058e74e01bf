#include "ui/UiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>

#include "core/FunSub.h"
#include "core/Platform.h"
#include "ui/Background.h"
#include "ui/Main.h"
#include "ui/Startup.h"

bool FakeMessages::Ask(const QString& text, QPoint topLeft) {
    shown.push_back({QStringLiteral("ask"), text, topLeft});
    if (answers.empty())
        return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeMessages::Warn(const QString& text) {
    shown.push_back({QStringLiteral("warn"), text, {}});
}

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

void FakeMessages::Notify(const QString& text, QWidget*) {
    shown.push_back({QStringLiteral("notify"), text, {}});
}

QStringList FakeMessages::texts(const QString& kind) const {
    QStringList out;
    for (const auto& s : shown) {
        if (s.kind == kind)
            out << s.text;
    }
    return out;
}

void UiTest::SetUp() {
    FunSub::ResetState();
    m_tree.dir("app");
    SetMessages(&m_messages);
    // The windows wait for their work as long as it takes, so that what a test looks at next
    // is there; a test of the window answering while it works waits for nothing.
    Background::SetMoment(std::chrono::seconds(60));
}

void UiTest::TearDown() {
    DestroyWindows();
    SetMessages(nullptr);
    FunSub::ResetState();
    QCoreApplication::processEvents();
}

void UiTest::WriteWorkIni(const std::string& content) {
    m_tree.file("app/work.ini", content);
}

void UiTest::WriteWorkIni(const std::string& work, const std::string& output) {
    WriteWorkIni(work + "\r\n" + output + "\r\n");
}

bool UiTest::Start() {
    return CreateWindows(m_tree.path("app/quillmere"));
}

void UiTest::StartAndShow() {
    ASSERT_TRUE(Start());
    Form1->ShowAndActivate();
}

bool SaveScreenshot(QWidget* widget, const QString& name) {
    QString dir = qEnvironmentVariable("QUILLMERE_SCREENSHOTS");
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/quillmere-screenshots");
    QDir().mkpath(dir);
    const QPixmap picture = widget->grab();
    if (picture.isNull())
        return false;
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
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void Click(QWidget* widget) {
    ClickAt(widget, widget->rect().center());
}

void PressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void DoubleClickAt(QWidget* widget, QPoint at) {
    ClickAt(widget, at);
    const QPointF global = widget->mapToGlobal(QPointF(at));
    for (const auto& [type, buttons] :
         {std::pair{QEvent::MouseButtonPress, Qt::MouseButtons(Qt::LeftButton)},
          std::pair{QEvent::MouseButtonDblClick, Qt::MouseButtons(Qt::LeftButton)},
          std::pair{QEvent::MouseButtonRelease, Qt::MouseButtons(Qt::NoButton)}}) {
        QMouseEvent e(type, QPointF(at), global, Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(widget, &e);
    }
}

// A click on the row's check box, where the user ticks it.
void ClickCheckBox(QTreeWidget* list, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    QStyleOptionViewItem opt;
    opt.initFrom(list->viewport());
    opt.rect = list->visualRect(list->indexFromItem(item, 0));
    opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    opt.checkState = item->checkState(0);
    opt.text = item->text(0);
    const QRect box =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, list);
    ClickAt(list->viewport(), box.center());
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

namespace {

std::atomic<bool> g_hold{false};
std::atomic<int> g_held{0};
int g_holds = 0;  // which hold a late timer belongs to

void HoldOffTheWindowsThread(const std::string&) {
    if (QThread::currentThread() == QCoreApplication::instance()->thread())
        return;
    ++g_held;
    while (g_hold) QThread::msleep(1);
}

}  // namespace

HeldListings::HeldListings() {
    g_hold = true;
    g_held = 0;
    Background::SetMoment(std::chrono::milliseconds(0));
    Platform::SetListingHook(HoldOffTheWindowsThread);
    // A window that waits for its work after all gets it once this has gone on too long.
    QTimer::singleShot(10000, [hold = ++g_holds] {
        if (hold == g_holds)
            g_hold = false;
    });
}

HeldListings::~HeldListings() {
    Release();
    WaitForBackground();
    Platform::SetListingHook(nullptr);
}

bool HeldListings::Holding() const {
    return QTest::qWaitFor([] { return g_held > 0; }, 5000);
}

void HeldListings::Release() {
    g_hold = false;
}
