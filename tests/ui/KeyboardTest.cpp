#include <QApplication>
#include <QTabBar>
#include <QTest>
#include <filesystem>

#include "core/FunSub.h"
#include "ui/Accept.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/SDir.h"
#include "ui/Sets.h"
#include "ui/UiTestSupport.h"
#include "ui/WorkSet.h"

namespace {

// A key to the widget that has the focus, once the window system has activated `window`.
void Key(int key, QWidget* window = nullptr) {
    const auto active = [window] { return !window || QApplication::activeWindow() == window; };
    ASSERT_TRUE(QTest::qWaitFor(active, 2000));
    ASSERT_NE(QApplication::focusWidget(), nullptr) << "no widget takes the keys";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
}

}  // namespace

class KeyboardTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        m_tree.file("work/alpha/a.txt", "alpha");
        m_tree.file("work/beta/b.txt", "bravo");
        m_tree.file("work/beta/c.jpg", "charlie");
        m_tree.file("work/beta/sub/d.txt", "delta");
        m_tree.file("out/old-01/x/o.txt", "old");
        WriteWorkIni(m_tree.path("work"), m_tree.path("out"));
        StartAndShow();
    }

    void ChooseBeta() {
        FunSub::SourceDir = m_tree.path("work/beta");
        FunSub::SourceChanged = true;
        Form1->ShowAndActivate();  // as the source dialog hands back
    }

    // Tab goes through `stops` in their order, each showing that it has the focus: it looks
    // different from when Tab has moved on.
    static void ExpectStops(const std::vector<QWidget*>& stops) {
        for (QWidget* stop : stops) {
            const auto active = [stop] { return QApplication::activeWindow() == stop->window(); };
            ASSERT_TRUE(QTest::qWaitFor(active, 2000));
            const QWidget* focused = QApplication::focusWidget();
            ASSERT_EQ(focused, stop) << (focused ? focused->metaObject()->className() : "none")
                                     << " instead of " << stop->metaObject()->className();
            const QImage with = stop->grab().toImage();
            Key(Qt::Key_Tab);
            EXPECT_NE(stop->grab().toImage(), with) << stop->metaObject()->className();
        }
    }
};

// Tab goes down each window, the main window's source side before its target side, and the
// focus always shows, on empty lists and trees too and in the copy dialog from its opening.
TEST_F(KeyboardTest, TabGoesDownEachWindowAndTheFocusShows) {
    const auto tabs = [](QTabWidget* pages) { return pages->findChild<QTabBar*>(); };
    ExpectStops({Form1->Button5, tabs(Form1->PageControl1), Form1->ListView3, Form1->TreeView1,
                 Form1->ComboBoxEx1, Form1->Button6, tabs(Form1->PageControl2), Form1->ListView4,
                 Form1->TreeView2, Form1->Edit2, Form1->Button2, Form1->Button3, Form1->Button4,
                 Form1->Edit1, Form1->Edit4, Form1->BitBtn1, Form1->Edit3, Form1->Button5});

    ChooseBeta();
    Form1->Button1->click();
    ExpectStops({Form3->RadioButton1, Form3->ListView1, Form3->CheckBox1, Form3->CheckBox2,
                 Form3->Button1, Form3->Button2, Form3->Rules->DirList, Form3->Rules->Patterns,
                 Form3->Rules->SizeBox, Form3->Rules->SizeField, Form3->Rules->GitBox,
                 Form3->RadioButton1});
    ASSERT_TRUE(TabTo(Form3->Button1));
    Key(Qt::Key_Return);
    WaitForBackground();  // the check before the copy
    ExpectStops({Form7->Button2, Form7->Button1, Form7->Button2});
}

// Space on the highlighted node of a tree is a click on it; the arrows alone choose nothing.
TEST_F(KeyboardTest, SpaceOnTheHighlightedNodeIsAClick) {
    ChooseBeta();
    const auto status = [] { return Form1->StatusText(); };
    const auto picked = [] { return FormWorkSet->Edit1->text(); };
    const QString at = QStringLiteral("当前路径：");
    // The picker's last disk as the picker lists it: disks mounted meanwhile by other tests
    // do not count.
    const auto lastDisk = [] {
        const QTreeWidget* t = FormWorkSet->TreeView1;
        return ToQ(TFormWorkSet::PickerNodePath(t->topLevelItem(t->topLevelItemCount() - 1)));
    };
    const std::tuple<QTreeWidget*, int, std::function<QString()>, std::function<QString()>>
        trees[] = {
            {Form1->TreeView1, Qt::Key_Down, status,
             [&] { return at + ToQ(m_tree.path("work/beta/sub")); }},
            {Form1->TreeView2, Qt::Key_Down, status,
             [&] { return at + ToQ(m_tree.path("out/old-01/x")); }},
            {FormWorkSet->TreeView1, Qt::Key_End, picked, lastDisk},
        };
    for (const auto& [tree, key, field, after] : trees) {
        if (tree == FormWorkSet->TreeView1) {
            Form1->BitBtn1->click();
            FormAccept->BitBtn1->click();
        }
        tree->setFocus();
        const QString before = field();
        Key(key, tree->window());
        EXPECT_EQ(field(), before);
        Key(Qt::Key_Space);
        EXPECT_EQ(field(), after());
    }
    EXPECT_EQ(Form1->ListView1->topLevelItemCount(), 2) << "the files of beta/sub";
}

// The road of a copy with keys alone: the second source, a type left out, the copy, back.
TEST_F(KeyboardTest, ACopyWithKeysAlone) {
    Key(Qt::Key_Return, Form1);  // "指定源目录" has the focus
    for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Return})
        Key(key, Form4);
    ASSERT_EQ(FunSub::TargetName, "beta-01");
    for (int pass = 0; pass < 2; ++pass) {  // Escape leaves the filter dialog the first time
        ASSERT_TRUE(TabTo(Form1->Button1));
        Key(Qt::Key_Return, Form1);
        Key(pass == 0 ? Qt::Key_Escape : Qt::Key_Tab, Form3);
    }
    while (Form3->ListView1->currentItem()->text(0) != QStringLiteral(".jpg")) Key(Qt::Key_Down);
    for (int key : {Qt::Key_Space, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return})
        Key(key, Form3);
    WaitForBackground();  // the check before the copy
    Key(Qt::Key_Return, Form7);
    Key(Qt::Key_Escape, Form7);
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(ReadFile(m_tree.path("out/beta-01/sub/d.txt")), "delta");
    EXPECT_FALSE(std::filesystem::exists(m_tree.path("out/beta-01/c.jpg")));
    EXPECT_EQ(m_messages.shown.size(), 0u);
}
