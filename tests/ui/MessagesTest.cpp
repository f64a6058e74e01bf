#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "ui/Messages.h"
#include "ui/UiTestSupport.h"

namespace {

struct SeenBox {
    QString title, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QRect geometry;
};

// Runs `show` (which opens a real modal box) and handles the box with `answer` once it is
// up. A box that the answer fails to close is closed after two seconds by a fallback, so a
// broken box fails the test instead of hanging it.
SeenBox WithRealBox(const std::function<void()>& show,
                    const std::function<void(QMessageBox*)>& answer) {
    SeenBox seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.geometry = box->frameGeometry();
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        answer(box);
    });
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "the box did not close";
            box->done(0);
        }
    });
    fallback.start(2000);
    SetMessages(nullptr);
    show();
    return seen;
}

void Key(QMessageBox* box, int key) {
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

}  // namespace

TEST(MessagesTest, QuestionAnswersYesToEnterAndTheCloseBoxAndNoToEscape) {
    const QString text = QStringLiteral(
        "警告！当前工作目录下无子目录！\r\r不能进行过滤复制操作，请重新设置工作目录！\r\r");
    bool answer = false;
    const SeenBox seen = WithRealBox(
        [&] {
            answer = Messages().Ask(text, {120, 90});
        },
        [](QMessageBox* box) {
            SaveScreenshot(box, QStringLiteral("message-box"));
            Key(box, Qt::Key_Return);
        });
    EXPECT_TRUE(answer);
    EXPECT_EQ(seen.title, QStringLiteral("Warning"));
    EXPECT_EQ(
        seen.text,
        QStringLiteral(
            "警告！当前工作目录下无子目录！\n\n不能进行过滤复制操作，请重新设置工作目录！\n\n"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    // Qt's own buttons in Chinese, like the rest of the program.
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.buttons.contains(QStringLiteral("是(&Y)")));
    EXPECT_TRUE(seen.buttons.contains(QStringLiteral("否(&N)")));
    EXPECT_EQ(seen.geometry.topLeft(), QPoint(120, 90));

    WithRealBox(
        [&] {
            answer = Messages().Ask(text, {120, 90});
        },
        [](QMessageBox* box) { Key(box, Qt::Key_Escape); });
    EXPECT_FALSE(answer);

    // The letters of the buttons answer as well.
    for (const auto& [key, expected] : {std::pair{Qt::Key_N, false}, std::pair{Qt::Key_Y, true}}) {
        answer = !expected;
        WithRealBox(
            [&] {
                answer = Messages().Ask(text, {120, 90});
            },
            [key = key](QMessageBox* box) { Key(box, key); });
        EXPECT_EQ(answer, expected);
    }

    answer = false;
    WithRealBox(
        [&] {
            answer = Messages().Ask(text, {120, 90});
        },
        [](QMessageBox* box) { box->close(); });
    EXPECT_TRUE(answer);
    SetMessages(nullptr);
}

TEST(MessagesTest, QuestionNearTheScreenEdgeStaysOnTheScreen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const SeenBox seen =
        WithRealBox([&] { Messages().Ask(QStringLiteral("?"), area.bottomRight()); },
                    [](QMessageBox* box) { box->close(); });
    EXPECT_TRUE(area.contains(seen.geometry)) << seen.geometry.x() << "," << seen.geometry.y();
}

TEST(MessagesTest, WarningAndErrorBoxesHaveOneOk) {
    SeenBox seen = WithRealBox([] { Messages().Warn(QStringLiteral("注意")); },
                               [](QMessageBox* box) { Key(box, Qt::Key_Return); });
    EXPECT_EQ(seen.title, QStringLiteral("Warning"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("确定")});

    seen = WithRealBox([] { Messages().ShowError(QStringLiteral("File not found.")); },
                       [](QMessageBox* box) { box->buttons().first()->click(); });
    EXPECT_EQ(seen.title, QStringLiteral("Quillmere"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, QStringLiteral("File not found."));
    EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("确定")});
}

TEST(MessagesTest, GuardReportsTheErrorWithAFullStopAndGoesOn) {
    FakeMessages fake;
    SetMessages(&fake);
    bool after = false;
    EXPECT_FALSE(Guard([&] {
        FunSub::RaiseIoError(2);
        after = true;
    }));
    EXPECT_FALSE(after);
    EXPECT_FALSE(Guard([] { throw FunSub::QuillError("'ol' is not a valid integer value"); }));
    EXPECT_FALSE(Guard([] { throw FunSub::QuillError("Stream read error."); }));
    EXPECT_TRUE(Guard([] {}));
    EXPECT_EQ(fake.texts("error"),
              (QStringList{"File not found.", "'ol' is not a valid integer value.",
                           "Stream read error."}));
    SetMessages(nullptr);
}
