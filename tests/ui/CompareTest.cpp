#include <QApplication>
#include <QMouseEvent>
#include <QStyleOptionViewItem>
#include <QTest>
#include <filesystem>

#include "core/FunSub.h"
#include "core/Platform.h"
#include "ui/Compare.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/Sets.h"
#include "ui/UiTestSupport.h"

namespace fs = std::filesystem;

namespace {

// A double-click on a row of a list, opening its group first as the user would.
void DoubleClick(QTreeWidget* list, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setExpanded(true);
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    DoubleClickAt(list->viewport(), at);
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& caption) {
    for (int i = 0; parent && i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == caption)
            return parent->child(i);
    }
    return nullptr;
}

QStringList Texts(QTreeWidgetItem* item) {
    QStringList texts;
    for (int c = 0; item && c < item->columnCount(); ++c) texts << item->text(c);
    return texts;
}

QStringList Captions(QTreeWidget* list) {
    QStringList captions;
    for (int i = 0; i < list->topLevelItemCount(); ++i) captions << list->topLevelItem(i)->text(0);
    return captions;
}

QString Sep(const QString& a, const QString& b) {
    return a + QChar::fromLatin1(FunSub::kSeparator) + b;
}

QStringList Ticked(QTreeWidget* list) {
    QStringList ticked;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            ticked << list->topLevelItem(i)->text(0);
    }
    return ticked;
}

}  // namespace

class CompareTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        m_work = m_tree.dir("work");
        m_out = m_tree.dir("out");
        m_tree.file("work/proj/a.c", std::string(100, 'a'));
        m_tree.file("work/proj/b.c", std::string(20, 'b'));
        m_tree.file("work/proj/notes.txt", std::string(30, 'n'));
        m_tree.file("work/proj/x.o", std::string(1000, 'x'));
        m_tree.file("work/proj/sub/c.c", std::string(40, 'c'));
        m_tree.file("work/proj/sub/y.o", std::string(500, 'y'));
        m_source = m_tree.path("work/proj");
        WriteWorkIni(m_work, m_out);
    }

    void StartWithSource() {
        ASSERT_TRUE(Start());
        FunSub::SourceDir = m_source;
        FunSub::SourceChanged = true;
        Form1->ShowAndActivate();
        ASSERT_TRUE(Form1->Button1->isEnabled());
    }

    // "对比源目录" with the target at `index` of the drop-down list on show.
    void Compare(int index) {
        Form1->ComboBoxEx1->setCurrentIndex(index);
        emit Form1->ComboBoxEx1->activated(index);
        ClickAt(Form1->Button6, Form1->Button6->rect().center());
        ASSERT_TRUE(Form8->isVisible());
        ASSERT_FALSE(Form1->isEnabled());
    }

    void WaitForComparison() {
        ASSERT_TRUE(QTest::qWaitFor([] { return !Form8->Reading(); }, 10000));
    }

    std::string m_work;
    std::string m_out;
    std::string m_source;
};

TEST_F(CompareTest, GroupsWithTheirTotalsAndADoubleClickShowsTheFileInItsTree) {
    // A target made by leaving out ".o", since changed on both sides; an older one is listed
    // first.
    m_tree.file("out/aaa-01/z.txt", "z");
    m_tree.file("out/proj-01/a.c", std::string(100, 'a'));
    m_tree.file("out/proj-01/notes.txt", std::string(25, 'n'));
    m_tree.file("out/proj-01/old.log", "12345");
    m_tree.dir("out/proj-01/sub");
    StartWithSource();
    Compare(1);
    EXPECT_EQ(Form8->windowTitle(), QStringLiteral("源目录与目标目录对比"));
    WaitForComparison();
    EXPECT_EQ(Form8->Button1->text(), QStringLiteral("返　　回"));
    EXPECT_EQ(Form8->Label2->text(),
              QStringLiteral("目标目录：") + ToQ(m_tree.path("out/proj-01")));
    EXPECT_EQ(Form8->Label3->text(),
              QStringLiteral("按类型滤除 1 种类型；缺少 2 个文件，改变了 1 个文件，多出 1 个文件"));

    QTreeWidget* list = Form8->ListView1;
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(Texts(list->topLevelItem(0)),
              (QStringList{QStringLiteral("按类型滤除（目标中没有这种类型的文件）"), "2", "1,500",
                           QStringLiteral("1 种类型")}));
    EXPECT_EQ(Texts(list->topLevelItem(1)),
              (QStringList{QStringLiteral("目标中缺少的文件"), "2", "60", ""}));
    EXPECT_EQ(Texts(list->topLevelItem(2)),
              (QStringList{QStringLiteral("复制后改变的文件"), "1", "30", ""}));
    EXPECT_EQ(Texts(list->topLevelItem(3)),
              (QStringList{QStringLiteral("目标中多出的文件和目录"), "1", "5", ""}));
    QTreeWidgetItem* o = Child(list->topLevelItem(0), ".o");
    EXPECT_EQ(Texts(o), (QStringList{".o", "2", "1,500", ""}));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(Texts(o->child(1)), (QStringList{Sep("sub", "y.o"), "", "500", ""}));
    EXPECT_EQ(Texts(list->topLevelItem(2)->child(0)),
              (QStringList{"notes.txt", "", "30",
                           QStringLiteral("大小不同（源 30 字节，目标 25 字节）")}));
    list->expandAll();
    SaveScreenshot(Form8, QStringLiteral("compare"));

    // A file the target holds beyond the source: the target it lies in comes back on show.
    DoubleClick(list, list->topLevelItem(3)->child(0));
    EXPECT_FALSE(Form8->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(Form1->ComboBoxEx1->currentIndex(), 1);
    EXPECT_EQ(Form1->TreeView2->currentItem(), Form1->TreeView2->topLevelItem(0));
    EXPECT_EQ(Form1->PageControl2->currentIndex(), 0);
    EXPECT_EQ(Captions(Form1->ListView2).mid(1), (QStringList{"a.c", "notes.txt", "old.log"}));
    EXPECT_EQ(Form1->StatusText(), QStringLiteral("当前路径：") + ToQ(m_tree.path("out/proj-01")));

    // A file the target lacks, in the source's tree.
    Compare(1);
    WaitForComparison();
    DoubleClick(Form8->ListView1, Child(Form8->ListView1->topLevelItem(1), Sep("sub", "c.c")));
    EXPECT_FALSE(Form8->isVisible());
    ASSERT_NE(Form1->TreeView1->currentItem(), nullptr);
    EXPECT_EQ(Form1->TreeView1->currentItem()->text(0), "sub");
    EXPECT_EQ(Form1->PageControl1->currentIndex(), 0);
    EXPECT_EQ(Captions(Form1->ListView1).mid(1), (QStringList{"c.c", "y.o"}));
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(CompareTest, TheWindowAnswersWhileTheTreesAreReadAndGiveUpLeavesAtOnce) {
    m_tree.dir("work/proj/held");
    m_tree.file("out/proj-01/a.c", std::string(100, 'a'));
    StartWithSource();
    {
        HeldListings held;
        Compare(0);
        ASSERT_TRUE(held.Holding());
        QTest::qWait(150);  // the window paints and counts meanwhile
        EXPECT_TRUE(Form8->Reading());
        EXPECT_TRUE(
            Form8->Label3->text().startsWith(QStringLiteral("正在读取源目录和目标目录：已读取")));
        EXPECT_EQ(Form8->Button1->text(), QStringLiteral("放　　弃"));
        ClickAt(Form8->Button1, Form8->Button1->rect().center());
        EXPECT_FALSE(Form8->isVisible());
        EXPECT_TRUE(Form1->isEnabled());
    }
    QTest::qWait(100);  // what the abandoned reading found is never shown
    EXPECT_EQ(Form8->ListView1->topLevelItemCount(), 0);

    Compare(0);
    WaitForComparison();
    EXPECT_EQ(Form8->ListView1->topLevelItemCount(), 4);
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(CompareTest, LastChoiceBringsBackTheTypesAndModeConfirmedForThisSource) {
    const std::string filters = m_tree.path("app/filters.ini");
    StartWithSource();
    Form1->Button1->click();
    EXPECT_FALSE(Form3->Button3->isEnabled());
    ClickCheckBox(Form3->ListView1, Form3->ListView1->topLevelItem(0));  // .c
    ClickCheckBox(Form3->ListView1, Form3->ListView1->topLevelItem(1));  // .o
    ClickAt(Form3->RadioButton2, Form3->RadioButton2->rect().center());
    Form3->Button1->click();
    ASSERT_TRUE(Form7->isVisible());
    EXPECT_EQ(ReadFile(filters), "keep-only\t" + m_source + "\t.c\t.o\r\n");
    Form7->Button1->click();

    // Each showing still starts with nothing ticked; the button brings the choice back.
    Form1->Button1->click();
    EXPECT_EQ(Ticked(Form3->ListView1), QStringList());
    ClickAt(Form3->RadioButton1, Form3->RadioButton1->rect().center());
    ASSERT_TRUE(Form3->Button3->isEnabled());
    Form3->Button3->click();
    EXPECT_EQ(Ticked(Form3->ListView1), (QStringList{".c", ".o"}));
    EXPECT_TRUE(Form3->RadioButton2->isChecked());
    EXPECT_EQ(FunSub::FilterMode, FunSub::FilterKind::KeepOnly);
    EXPECT_EQ(Form3->Label4->text(), QStringLiteral("类型：2 文件数：5 总大小：1,660"));
    Form3->Button2->click();

    // Types the source no longer has are passed over; a file that cannot serve never stops
    // the dialog, and the next confirmation writes it anew.
    const struct {
        const char* name;
        std::string content;  // "/" makes filters.ini a directory
        bool usable;
        std::string after;  // the file after a confirmation with nothing ticked
    } cases[] = {
        {"a type gone", "exclude\t" + m_source + "\t.gone\t.txt\r\n", true,
         "exclude\t" + m_source + "\r\n"},
        {"malformed", "exclude\t" + m_source + "\t%G1\r\nnonsense\r\n", false,
         "exclude\t" + m_source + "\r\n"},
        {"another source only", "exclude\t/elsewhere\t.c\r\n", false,
         "exclude\t" + m_source + "\r\nexclude\t/elsewhere\t.c\r\n"},
        {"not a file", "/", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(filters);
        if (c.content == "/")
            fs::create_directory(filters);
        else
            m_tree.file("app/filters.ini", c.content);
        Form1->Button1->click();
        ClickAt(Form3->RadioButton1, Form3->RadioButton1->rect().center());
        EXPECT_EQ(Form3->Button3->isEnabled(), c.usable);
        if (c.usable) {
            Form3->Button3->click();
            EXPECT_EQ(Ticked(Form3->ListView1), QStringList{".txt"});
            ClickCheckBox(Form3->ListView1, Form3->ListView1->topLevelItem(2));  // untick .txt
        }
        Form3->Button1->click();
        EXPECT_TRUE(Form7->isVisible());
        EXPECT_EQ(c.content == "/" ? "" : ReadFile(filters), c.after);
        EXPECT_EQ(fs::is_directory(filters), c.content == "/");
        EXPECT_EQ(
            std::distance(fs::directory_iterator(m_tree.path("app")), fs::directory_iterator()),
            2);  // work.ini and filters.ini alone, no temporary file left
        Form7->Button1->click();
    }
    EXPECT_EQ(m_messages.shown.size(), 0u);
}
