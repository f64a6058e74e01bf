#include <QApplication>
#include <QMouseEvent>
#include <filesystem>

#include "core/FunSub.h"
#include "ui/About.h"
#include "ui/Main.h"
#include "ui/UiTestSupport.h"

namespace fs = std::filesystem;

namespace {

const QColor kMaroon(128, 0, 0);
const QColor kBlue(0, 0, 255);

// A move of the pointer with no button held, delivered the way the window system does:
// to the widget under the pointer, and on to its parents while nobody takes it.
void MoveOver(QWidget* widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void MoveOver(QWidget* widget) {
    MoveOver(widget, widget->rect().center());
}

bool Lit(const QLabel* link) {
    return link->font().underline() && link->palette().color(QPalette::WindowText) == kBlue;
}

bool Plain(const QLabel* link) {
    const QFont f = link->font();
    return !f.underline() && !f.bold() && !f.italic() && !f.strikeOut() &&
           link->palette().color(QPalette::WindowText) == kMaroon;
}

// A point of the window's own surface, between its widgets.
QPoint BareSurface(QWidget* window) {
    for (int y = 1; y < window->height(); y += 2) {
        for (int x = 1; x < window->width(); x += 2) {
            if (window->childAt(x, y) == nullptr)
                return {x, y};
        }
    }
    return {-1, -1};
}

}  // namespace

class AboutTest : public UiTest {
protected:
    // A main window content with its directories, so that coming back asks nothing.
    void OpenAbout() {
        m_tree.dir("work/src");
        WriteWorkIni(m_tree.dir("work"), m_tree.dir("out"));
        StartAndShow();
        ASSERT_TRUE(Form1->isEnabled());
        Form1->Button3->click();
        ASSERT_TRUE(Form6->isVisible());
        ASSERT_FALSE(Form1->isEnabled());
    }
};

TEST_F(AboutTest, ShowsNameVersionIconAndTheTwoLinks) {
    OpenAbout();
    EXPECT_EQ(Form6->windowTitle(), QStringLiteral("关于Quillmere"));
    EXPECT_EQ(Form6->Label2->text(), QStringLiteral("Quillmere"));
    EXPECT_EQ(Form6->Label2->font().pixelSize(), 15);
    EXPECT_EQ(Form6->Label6->text(), QStringLiteral("V 1.2"));
    EXPECT_EQ(Form6->Button1->text(), QStringLiteral("确  定"));
    ASSERT_FALSE(Form6->Image1->pixmap().isNull());
    EXPECT_EQ(Form6->Image1->pixmap().size(), QSize(32, 32));
    EXPECT_TRUE(Plain(Form6->Label1));
    EXPECT_TRUE(Plain(Form6->Label5));
    EXPECT_EQ(Form6->Label1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Form6->Label5->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Form6->minimumSize(), Form6->maximumSize());
    SaveScreenshot(Form6, QStringLiteral("about"));
}

TEST_F(AboutTest, APointerOverOneLinkLightsOnlyThatOneUntilItCrossesTheBareSurface) {
    OpenAbout();
    MoveOver(Form6->Label1);
    EXPECT_TRUE(Lit(Form6->Label1));
    EXPECT_TRUE(Plain(Form6->Label5));

    MoveOver(Form6->Label5);
    EXPECT_TRUE(Lit(Form6->Label5));
    EXPECT_TRUE(Lit(Form6->Label1)) << "the other link keeps its look";

    // Another widget is not the window's surface: the highlight stays.
    MoveOver(Form6->Label3);
    MoveOver(Form6->Image2);
    EXPECT_TRUE(Lit(Form6->Label1));
    EXPECT_TRUE(Lit(Form6->Label5));

    // It is still lit when the window is shown again.
    Form6->Button1->click();
    OpenDialog(Form1, Form6);
    EXPECT_TRUE(Lit(Form6->Label1));

    const QPoint bare = BareSurface(Form6);
    ASSERT_NE(bare, QPoint(-1, -1));
    MoveOver(Form6, bare);
    EXPECT_TRUE(Plain(Form6->Label1));
    EXPECT_TRUE(Plain(Form6->Label5));
}

TEST_F(AboutTest, ClickingTheLinksOpensThemAndTheWindowStays) {
    OpenAbout();
    Click(Form6->Label1);
    Click(Form6->Label5);
    EXPECT_EQ(
        m_messages.texts("open"),
        (QStringList{QStringLiteral("mailto:") + Form6->Label1->text(), Form6->Label5->text()}));
    EXPECT_TRUE(Form6->Label5->text().startsWith(QStringLiteral("http://")));
    EXPECT_TRUE(Form6->isVisible());
    EXPECT_FALSE(Form1->isEnabled());
}

TEST_F(AboutTest, TheCloseBoxReturnsToTheMainWindowAsTheButtonDoes) {
    OpenAbout();
    Form6->Button1->click();
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_TRUE(Form1->isEnabled());

    OpenDialog(Form1, Form6);
    Form6->close();
    EXPECT_FALSE(Form6->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_TRUE(Form1->isVisible());
}

TEST_F(AboutTest, InstructionsOpenTheGuideBesideTheProgramOrInstalledAndNothingWithoutIt) {
    ASSERT_TRUE(Start());
    OpenInstructions();
    EXPECT_TRUE(m_messages.shown.empty());

    const std::string guide = m_tree.file("app/guide.htm", "<!DOCTYPE html>");
    OpenInstructions();
    EXPECT_EQ(m_messages.texts("open"), QStringList{ToQ(guide)});

    // The main window's "使用说明" does the same, and stays as it was.
    m_messages.shown.clear();
    fs::remove(guide);
    Form1->Button2->click();
    EXPECT_TRUE(m_messages.shown.empty());
    m_tree.file("app/guide.htm", "<!DOCTYPE html>");
    Form1->Button2->click();
    EXPECT_EQ(m_messages.texts("open"), QStringList{ToQ(guide)});

    // An installed program finds it in ../share/quillmere.
    m_messages.shown.clear();
    fs::remove(guide);
    const std::string installed = m_tree.file("share/quillmere/guide.htm", "<!DOCTYPE html>");
    OpenInstructions();
    EXPECT_EQ(m_messages.texts("open"), QStringList{ToQ(installed)});
}
