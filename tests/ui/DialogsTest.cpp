#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeWidgetItemIterator>
#include <chrono>
#include <cstdio>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/DrivePicker.h"
#include "core/FunSub.h"
#include "ui/Accept.h"
#include "ui/DirTreeView.h"
#include "ui/Main.h"
#include "ui/SDir.h"
#include "ui/UiTestSupport.h"
#include "ui/WorkSet.h"

namespace fs = std::filesystem;

namespace {

// The path of the picker's first node.
#ifdef _WIN32
const std::string kFirstDisk = "c:\\";
#else
const std::string kFirstDisk = "/";
#endif

const QString kBothUnset = QStringLiteral(
    "警告！您还未指定工作目录和输出目录！\r\r不能进行过滤复制操作，请设置工作目录和输出目录！\r\r");

// A mouse click as the user makes it: press and release on the item's row in the viewport.
void ClickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    tree->scrollToItem(item);
    ClickAt(tree->viewport(), tree->visualItemRect(item).center());
}

QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i) out << node->child(i)->text(0);
    return out;
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text)
            return node->child(i);
    }
    return nullptr;
}

bool HasExpander(const QTreeWidgetItem* node) {
    return node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator || node->childCount() > 0;
}

}  // namespace

class DialogsTest : public UiTest {
protected:
    // A working directory with sources and an output directory, named in work.ini.
    void StartReady() {
        m_work = m_tree.dir("work");
        m_tree.dir("work/alpha/deep");
        m_tree.dir("work/beta");
        m_tree.dir("work/.git/objects");
        m_out = m_tree.dir("out");
        WriteWorkIni(m_work, m_out);
        StartAndShow();
        ASSERT_EQ(m_messages.count("ask"), 0) << "the main window should accept its directories";
    }

    void OpenAccept(const std::string& hint) {
        FunSub::HintText = hint;
        OpenDialog(Form1, FormAccept);
        ASSERT_TRUE(FormAccept->isVisible());
    }

    void OpenPicker(QPushButton* button) {
        button->click();
        ASSERT_TRUE(FormWorkSet->isVisible());
    }

    // Opens the picker's nodes from the first disk, which holds the temporary directories,
    // down to `path` by their expanders, as the user would, and returns the node of `path`
    // itself (opened too).
    QTreeWidgetItem* OpenDownTo(const std::string& path) {
        QTreeWidget* tree = FormWorkSet->TreeView1;
        QTreeWidgetItem* node = tree->topLevelItem(0);
        EXPECT_EQ(TFormWorkSet::PickerNodePath(node), kFirstDisk);
        Open(node);
        std::string at = kFirstDisk;
        for (const auto& part : FsPath(path).relative_path()) {
            at = FunSub::PickerChildPath(at, PathText(part));
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; i < node->childCount() && !next; ++i) {
                if (TFormWorkSet::PickerNodePath(node->child(i)) == at)
                    next = node->child(i);
            }
            if (!next) {
                ADD_FAILURE() << "no node for " << at;
                return nullptr;
            }
            node = next;
            Open(node);
        }
        return node;
    }

    // A node without an expander has nothing to open.
    void Open(QTreeWidgetItem* node) {
        if (!node->isExpanded() && HasExpander(node)) {
            ClickExpander(FormWorkSet->TreeView1, node);
            EXPECT_TRUE(node->isExpanded()) << node->text(0).toStdString();
        }
    }

    // Picks `path` in the open picker by a click on its node and confirms.
    void PickAndConfirm(const std::string& path) {
        QTreeWidgetItem* node = OpenDownTo(path);
        ASSERT_NE(node, nullptr);
        ClickItem(FormWorkSet->TreeView1, node);
        EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(path));
        FormWorkSet->Button1->click();
    }

    // What the main window's "指定源目录" does before the dialog takes over.
    void OpenSourceDialog() {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        OpenDialog(Form1, Form4);
        ASSERT_TRUE(Form4->isVisible());
    }

    QTreeWidgetItem* SourceRoot() { return Form4->TreeView1->topLevelItem(0); }

    // The main window's refresh rebuilds the source side at once and clears SourceChanged.
    // With the output directory gone it stops at its question instead, so that what the
    // source dialog handed over can still be seen.
    void KeepMainWindowFromRebuilding() { fs::remove_all(m_out); }

    std::string m_work;
    std::string m_out;
};

TEST_F(DialogsTest, SettingUpFromAnEmptyWorkIniEndsWithBothDirectoriesSaved) {
    const std::string work = m_tree.dir("Work Dir");
    m_tree.dir("Work Dir/project/src");
    const std::string out = m_tree.dir("output");
    WriteWorkIni("");

    StartAndShow();
    ASSERT_EQ(m_messages.texts("ask"), QStringList{kBothUnset});
    ASSERT_TRUE(FormAccept->isVisible());
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_EQ(FormAccept->windowTitle(), QStringLiteral("请指定工作目录和输出目录 ！"));
    EXPECT_EQ(FormAccept->Label1->text(),
              QStringLiteral("警告！您还未指定工作目录和输出目录！\n\n"
                             "不能进行过滤复制操作，请设置工作目录和输出目录！\n\n"));
    EXPECT_EQ(FormAccept->Edit1->text(), QString());
    EXPECT_EQ(FormAccept->focusWidget(), FormAccept->BitBtn1);
    EXPECT_TRUE(SaveScreenshot(FormAccept, QStringLiteral("accept")));

    OpenPicker(FormAccept->BitBtn1);
    EXPECT_FALSE(FormAccept->isEnabled());
    EXPECT_EQ(FormWorkSet->windowTitle(), QStringLiteral("设置工作目录"));
    EXPECT_EQ(FormWorkSet->Left(), Form1->Left());
    EXPECT_EQ(FormWorkSet->Top(), Form1->Top());
    PickAndConfirm(work);
    EXPECT_EQ(FunSub::WorkDir, work);
    EXPECT_FALSE(FormWorkSet->isVisible());
    EXPECT_EQ(FormWorkSet->TreeView1->topLevelItemCount(), 0);
    ASSERT_TRUE(FormAccept->isVisible());
    EXPECT_TRUE(FormAccept->isEnabled());
    EXPECT_EQ(FormAccept->Edit1->text(), ToQ(work));

    OpenPicker(FormAccept->BitBtn2);
    EXPECT_EQ(FormWorkSet->windowTitle(), QStringLiteral("设置输出目录"));
    EXPECT_EQ(FormWorkSet->Edit1->text(), QString());
    PickAndConfirm(out);
    EXPECT_EQ(FunSub::OutputDir, out);
    EXPECT_EQ(FormAccept->Edit2->text(), ToQ(out));
    EXPECT_EQ(ReadFile(appDir() + "/work.ini"), "") << "only the dialog's confirm writes";

    FormAccept->Button2->click();
    EXPECT_EQ(ReadFile(appDir() + "/work.ini"), work + "\r\n" + out + "\r\n");
    EXPECT_FALSE(FormAccept->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(m_messages.count("ask"), 1) << "the main window is satisfied now";
    EXPECT_EQ(m_messages.count("error"), 0);
}

TEST_F(DialogsTest, ThePickerRefusesADriveRootAndStaysAsItWas) {
    StartReady();
    OpenAccept("\r请设置工作目录和输出目录！");
    for (QPushButton* button : {FormAccept->BitBtn1, FormAccept->BitBtn2}) {
        OpenPicker(button);
        QTreeWidget* tree = FormWorkSet->TreeView1;
        const int drives = tree->topLevelItemCount();
        ASSERT_GE(drives, 1);
        for (int i = 0; i < drives; ++i) {
            EXPECT_EQ(tree->topLevelItem(i)->childIndicatorPolicy(),
                      QTreeWidgetItem::ShowIndicator);
        }
        EXPECT_TRUE(tree->selectedItems().isEmpty());
        ClickItem(tree, tree->topLevelItem(0));
        EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(kFirstDisk));
        FormWorkSet->Button1->click();
        EXPECT_TRUE(FormWorkSet->isVisible());
        EXPECT_EQ(tree->topLevelItemCount(), drives);
        EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(kFirstDisk));
        FormWorkSet->Button2->click();
        EXPECT_FALSE(FormWorkSet->isVisible());
    }
    EXPECT_EQ(m_messages.texts("warn"),
              (QStringList{QStringLiteral("根目录不能设置为工作目录！请重新选择"),
                           QStringLiteral("根目录不能设置为输出目录！请重新选择")}));
    EXPECT_EQ(FunSub::WorkDir, m_work);
    EXPECT_EQ(FunSub::OutputDir, m_out);
}

TEST_F(DialogsTest, ThePickerShowsVisibleDirectoriesSortedAndReadsEachNodeOnce) {
    StartReady();
    const std::string pick = m_tree.dir("pick");
    for (const char* d : {"beta/x", "Alpha", "gamma", "onlyhidden/.svn", ".hidden/x"}) {
        m_tree.dir(std::string("pick/") + d);
    }
    m_tree.file("pick/file.txt");
    OpenAccept("\r请设置工作目录和输出目录！");
    OpenPicker(FormAccept->BitBtn1);
    EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(m_work));

    QTreeWidgetItem* node = OpenDownTo(pick);
    ASSERT_NE(node, nullptr);
    // The first opening chooses the node.
    EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(pick));
    EXPECT_EQ(FormWorkSet->TreeView1->currentItem(), node);
    EXPECT_EQ(ChildTexts(node), (QStringList{"Alpha", "beta", "gamma", "onlyhidden"}));
    EXPECT_TRUE(HasExpander(ChildNamed(node, "beta")));
    EXPECT_FALSE(HasExpander(ChildNamed(node, "gamma")));
    EXPECT_FALSE(HasExpander(ChildNamed(node, "onlyhidden")));

    // Moving the selection with the keyboard does not choose.
    FormWorkSet->TreeView1->setCurrentItem(ChildNamed(node, "gamma"));
    EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(pick));

    m_tree.dir("pick/delta");
    node->setExpanded(false);
    node->setExpanded(true);
    EXPECT_EQ(node->childCount(), 4) << "a node is read once while the picker is open";
    EXPECT_TRUE(SaveScreenshot(FormWorkSet, QStringLiteral("workset")));

    FormWorkSet->close();  // the close box cancels
    EXPECT_FALSE(FormWorkSet->isVisible());
    EXPECT_EQ(FunSub::WorkDir, m_work);
    OpenPicker(FormAccept->BitBtn1);
    EXPECT_EQ(OpenDownTo(pick)->childCount(), 5) << "a new opening reads afresh";
    FormWorkSet->Button2->click();
}

TEST_F(DialogsTest, ANodeThatCannotBeReadReportsTheErrorAndCanBeOpenedAgain) {
    StartReady();
    const std::string pick = m_tree.dir("pick");
    m_tree.dir("pick/doomed/inner");
    OpenAccept("\r请设置工作目录和输出目录！");
    OpenPicker(FormAccept->BitBtn1);
    QTreeWidgetItem* node = OpenDownTo(pick);
    ASSERT_NE(node, nullptr);
    QTreeWidgetItem* doomed = ChildNamed(node, "doomed");
    ASSERT_TRUE(HasExpander(doomed));

    fs::remove_all(m_tree.path("pick/doomed"));
    ClickExpander(FormWorkSet->TreeView1, doomed);
    EXPECT_EQ(m_messages.texts("error"), QStringList{QStringLiteral("File not found.")});
    EXPECT_EQ(doomed->childCount(), 0);
    EXPECT_TRUE(HasExpander(doomed));
    EXPECT_TRUE(FormWorkSet->isVisible());

    // One more click reads it again.
    m_tree.dir("pick/doomed/again");
    ClickExpander(FormWorkSet->TreeView1, doomed);
    EXPECT_EQ(ChildTexts(doomed), QStringList{"again"});
    EXPECT_TRUE(doomed->isExpanded());
    FormWorkSet->Button2->click();
}

TEST_F(DialogsTest, TheStarKeyOpensEverythingBelowButNoLinkBackOntoThePath) {
    StartReady();
    const std::string pick = m_tree.dir("pick");
    m_tree.dir("pick/a/b/c");
    std::error_code noLinks;
    fs::create_directory_symlink("..", m_tree.path("pick/a/up"), noLinks);
    if (!noLinks)
        fs::create_directory_symlink(".", m_tree.path("pick/a/b/here"), noLinks);
    if (noLinks)
        GTEST_SKIP() << "no directory links here: " << noLinks.message();
    OpenAccept("\r请设置工作目录和输出目录！");
    OpenPicker(FormAccept->BitBtn1);
    QTreeWidgetItem* node = OpenDownTo(pick);
    ASSERT_NE(node, nullptr);
    ClickItem(FormWorkSet->TreeView1, node);
    QTest::keyClick(FormWorkSet->TreeView1, Qt::Key_Asterisk);

    EXPECT_EQ(m_messages.shown.size(), 0u);
    QTreeWidgetItem* a = ChildNamed(node, "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ChildTexts(a), (QStringList{"b", "up"}));
    QTreeWidgetItem* b = ChildNamed(a, "b");
    EXPECT_EQ(ChildTexts(b), (QStringList{"c", "here"}));
    for (QTreeWidgetItem* back : {ChildNamed(a, "up"), ChildNamed(b, "here")}) {
        EXPECT_EQ(back->childCount(), 0) << back->text(0).toStdString();
        EXPECT_FALSE(HasExpander(back)) << back->text(0).toStdString();
    }
    // It can still be chosen.
    ClickItem(FormWorkSet->TreeView1, ChildNamed(a, "up"));
    EXPECT_EQ(FormWorkSet->Edit1->text(), ToQ(pick + "/a/up"));
    FormWorkSet->Button2->click();
}

TEST_F(DialogsTest, DeepDirectoriesAreReachedAndChosenInBothDialogTrees) {
    StartReady();
    // Levels 0 (the working directory) to 26, the last with a long name.
    std::string chain;
    for (int level = 3; level < 26; ++level)
        chain += FunSub::kSeparator + ("level-" + std::to_string(level));
    chain += FunSub::kSeparator + std::string("一个名字很长很长很长很长很长很长很长很长的目录");
    m_tree.dir("work/alpha/deep" + chain);
    auto chooseDeepest = [&](QTreeWidget* tree, QTreeWidgetItem* top, QLineEdit* field,
                             const std::string& expected) {
        ClickItem(tree, top);
        QTest::keyClick(tree, Qt::Key_Asterisk);  // opens everything below
        ClickItem(tree, top);
        for (int level = 3; level <= 26; ++level) QTest::keyClick(tree, Qt::Key_Down);
        QTreeWidgetItem* deepest = tree->currentItem();
        ASSERT_EQ(deepest->childCount(), 0);
        EXPECT_TRUE(CurrentLabelInView(tree));
        // Where the user sees it, not where scrolling would first bring it.
        ClickAt(tree->viewport(), tree->visualItemRect(deepest).center());
        EXPECT_EQ(field->text(), ToQ(expected));
    };

    Form1->Button5->click();
    ASSERT_TRUE(Form4->isVisible());
    chooseDeepest(Form4->TreeView1, ChildNamed(ChildNamed(SourceRoot(), "alpha"), "deep"),
                  Form4->Edit1, m_tree.path("work/alpha/deep") + chain);
    Form4->BitBtn2->click();

    OpenAccept("\r请设置工作目录和输出目录！");
    OpenPicker(FormAccept->BitBtn1);
    QTreeWidgetItem* deep = OpenDownTo(m_tree.path("work/alpha/deep"));
    ASSERT_NE(deep, nullptr);
    chooseDeepest(FormWorkSet->TreeView1, deep, FormWorkSet->Edit1,
                  m_tree.path("work/alpha/deep") + chain);
    FormWorkSet->Button2->click();
    EXPECT_EQ(m_messages.count("error"), 0);
}

TEST_F(DialogsTest, CancellingAfterAPickKeepsItForTheRunButNotInWorkIni) {
    StartReady();
    m_tree.dir("other/sub");
    const std::string before = ReadFile(appDir() + "/work.ini");
    OpenAccept("\r请设置工作目录和输出目录！");
    EXPECT_EQ(FormAccept->Label1->text(), QStringLiteral("\n请设置工作目录和输出目录！"));
    OpenPicker(FormAccept->BitBtn1);
    PickAndConfirm(m_tree.path("other"));
    EXPECT_EQ(FormAccept->Edit1->text(), ToQ(m_tree.path("other")));

    FormAccept->Button3->click();
    EXPECT_FALSE(FormAccept->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(FunSub::WorkDir, m_tree.path("other"));
    EXPECT_EQ(ReadFile(appDir() + "/work.ini"), before);

    // The close box does the same.
    OpenAccept("\r请设置工作目录和输出目录！");
    FormAccept->close();
    EXPECT_FALSE(FormAccept->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(ReadFile(appDir() + "/work.ini"), before);
}

TEST_F(DialogsTest, AWorkIniThatCannotBeWrittenIsReportedAndTheDialogStays) {
    StartReady();
    OpenAccept("\r请设置工作目录和输出目录！");
    fs::remove(appDir() + "/work.ini");
    m_tree.dir("app/work.ini");

    FormAccept->Button2->click();
    ASSERT_EQ(m_messages.count("error"), 1);
    EXPECT_TRUE(m_messages.texts("error").front().endsWith(QLatin1Char('.')));
    EXPECT_TRUE(FormAccept->isVisible());
    EXPECT_FALSE(Form1->isEnabled());

    // Once the obstacle is gone, confirming again works.
    fs::remove(appDir() + "/work.ini");
    FormAccept->Button2->click();
    EXPECT_FALSE(FormAccept->isVisible());
    EXPECT_EQ(ReadFile(appDir() + "/work.ini"), m_work + "\r\n" + m_out + "\r\n");
}

TEST_F(DialogsTest, TheSourceDialogShowsTheWorkTreeAndRefusesItsRoot) {
    StartReady();
    OpenSourceDialog();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Form4->windowTitle(), QStringLiteral("指定源目录"));
    EXPECT_EQ(Form4->Left(), Form1->Left());
    EXPECT_EQ(Form4->Top(), Form1->Top() + 100);
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_EQ(Form4->Edit1->text(), QString());

    QTreeWidgetItem* root = SourceRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Form4->TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(root->text(0), ToQ(m_work) + QStringLiteral("<目录树根>"));
    EXPECT_TRUE(root->isExpanded());
    QStringList children = ChildTexts(root);
    children.sort();
    EXPECT_EQ(children, (QStringList{"alpha", "beta"}));
    EXPECT_FALSE(ChildNamed(root, "alpha")->isExpanded());
    EXPECT_TRUE(Form4->TreeView1->selectedItems().isEmpty());

    ClickItem(Form4->TreeView1, ChildNamed(root, "alpha"));
    EXPECT_TRUE(SaveScreenshot(Form4, QStringLiteral("sdir")));
    ClickItem(Form4->TreeView1, root);
    EXPECT_EQ(Form4->Edit1->text(), ToQ(m_work));
    Form4->BitBtn1->click();
    Form4->BitBtn1->click();
    EXPECT_EQ(m_messages.texts("warn"),
              QStringList(2, QStringLiteral("工作目录根不能选作源目录！请重新选择")));
    EXPECT_TRUE(Form4->isVisible());
    EXPECT_EQ(Form4->Edit1->text(), ToQ(m_work));
    EXPECT_EQ(FunSub::SourceDir, "");

    // The keyboard moves the selection without choosing.
    Form4->TreeView1->setCurrentItem(ChildNamed(root, "beta"));
    EXPECT_EQ(Form4->Edit1->text(), ToQ(m_work));
    Form4->BitBtn2->click();
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_EQ(Form4->TreeView1->topLevelItemCount(), 0);
    EXPECT_TRUE(Form1->isEnabled());
}

TEST_F(DialogsTest, ANewSourceIsHandedToTheMainWindowLetterCaseCounting) {
#ifdef _WIN32
    GTEST_SKIP() << "Src and src are one directory on Windows";
#endif
    StartReady();
    m_tree.dir("work/Src");
    m_tree.dir("work/src");
    FunSub::SourceDir = m_tree.path("work/Src");
    OpenSourceDialog();
    QTreeWidgetItem* alpha = ChildNamed(SourceRoot(), "alpha");
    alpha->setExpanded(true);
    ClickItem(Form4->TreeView1, ChildNamed(alpha, "deep"));
    EXPECT_EQ(Form4->Edit1->text(), ToQ(m_tree.path("work/alpha/deep")));
    ClickItem(Form4->TreeView1, ChildNamed(SourceRoot(), "src"));
    EXPECT_EQ(Form4->Edit1->text(), ToQ(m_tree.path("work/src")));

    KeepMainWindowFromRebuilding();
    Form4->BitBtn1->click();
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_EQ(Form4->TreeView1->topLevelItemCount(), 0);
    EXPECT_EQ(FunSub::SourceDir, m_tree.path("work/src"));
    EXPECT_EQ(Form1->Edit3->text(), ToQ(m_tree.path("work/src")));
    EXPECT_TRUE(FunSub::SourceChanged);
}

TEST_F(DialogsTest, TheSameSourceAnEmptyFieldOrCancellingChangeNothing) {
    StartReady();
    FunSub::SourceDir = m_tree.path("work/alpha");
    Form1->Edit3->setText(QStringLiteral("alpha"));
    auto unchanged = [&] {
        EXPECT_FALSE(Form4->isVisible());
        EXPECT_EQ(Form4->TreeView1->topLevelItemCount(), 0);
        EXPECT_TRUE(Form1->isEnabled());
        EXPECT_EQ(FunSub::SourceDir, m_tree.path("work/alpha"));
        EXPECT_EQ(Form1->Edit3->text(), QStringLiteral("alpha"));
        EXPECT_FALSE(FunSub::SourceChanged);
    };

    OpenSourceDialog();
    ClickItem(Form4->TreeView1, ChildNamed(SourceRoot(), "alpha"));
    Form4->BitBtn1->click();
    unchanged();

    OpenSourceDialog();
    Form4->BitBtn1->click();
    unchanged();

    OpenSourceDialog();
    ClickItem(Form4->TreeView1, ChildNamed(SourceRoot(), "beta"));
    Form4->BitBtn2->click();
    unchanged();

    OpenSourceDialog();
    ClickItem(Form4->TreeView1, ChildNamed(SourceRoot(), "beta"));
    Form4->close();
    unchanged();
    EXPECT_EQ(m_messages.count("warn"), 0);
}

TEST_F(DialogsTest, AWorkDirectoryThatVanishedLeavesTheSourceTreeEmpty) {
    StartReady();
    fs::remove_all(m_work);
    OpenSourceDialog();
    EXPECT_EQ(m_messages.texts("error"), QStringList{QStringLiteral("File not found.")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Form4->TreeView1->topLevelItemCount(), 0);
    Form4->BitBtn2->click();
    EXPECT_FALSE(Form4->isVisible());
}

// Not a check but a measurement, run by hand:
//   QUILLMERE_MEASURE_DIALOGS=1 ui_tests --gtest_filter='*AHundredThousandDirectories'
// Qt's own measure of the widest shown row, which the trees replace with a faster one.
struct MeasuredTree : DirTreeView {
    int QtWidth() const { return QTreeWidget::sizeHintForColumn(0); }
};

TEST(DirTreeViewTest, TheColumnHoldsTheWidestShownLabelWhole) {
    const struct {
        QString label;
        int depth;
        bool shown;
    } rows[] = {
        {QStringLiteral("第29级目录第29级目录"), 3, true},
        {QStringLiteral("AVAVAVAVAVAVAVAVAVAVAVAV"), 1, true},
        {QStringLiteral("WWWWWWWWWWWWWWWWWWWW"), 2, true},
        {QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"), 1,
         true},
        {QStringLiteral("\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"), 2, true},
        {QStringLiteral("a very long name under a closed node, which does not count"), 2, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label.toStdString());
        MeasuredTree tree;
        tree.resize(40, 200);
        auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("root")});
        tree.addTopLevelItem(root);
        // Rows enough to leave most of them estimated only, all equally wide.
        for (int i = 10000; i < 10500; ++i)
            root->addChild(new QTreeWidgetItem(QStringList{QString::number(i)}));
        QTreeWidgetItem* parent = root;
        for (int level = 1; level < row.depth; ++level) {
            parent = new QTreeWidgetItem(parent, QStringList{QStringLiteral("x")});
        }
        new QTreeWidgetItem(parent, QStringList{row.label});
        tree.show();
        tree.expandAll();
        if (!row.shown)
            tree.collapseItem(parent);
        const int width = tree.header()->sectionSize(0);
        EXPECT_GE(width, tree.QtWidth());
        EXPECT_LE(width, tree.QtWidth() + 12);
    }
}

TEST_F(DialogsTest, OpensADirectoryOfAHundredThousandDirectories) {
    if (qEnvironmentVariableIsEmpty("QUILLMERE_MEASURE_DIALOGS"))
        GTEST_SKIP();
    StartReady();
    const std::string big = m_tree.dir("big");
    for (int i = 0; i < 100000; ++i)
        std::filesystem::create_directory(FsPath(big + "/d" + std::to_string(i)));
    for (int i = 0; i < 100000; i += 10)
        std::filesystem::create_directory(FsPath(big + "/d" + std::to_string(i) + "/x"));
#ifndef _WIN32
    ::sync();  // the new directories' write-back would be timed too
#endif
    const auto ms = [](auto start) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
    };
    FunSub::WorkDir = big;
    auto start = std::chrono::steady_clock::now();
    OpenSourceDialog();
    QApplication::processEvents();
    int nodes = 0;
    for (QTreeWidgetItemIterator it(Form4->TreeView1); *it; ++it) ++nodes;
    std::printf("source dialog with %d directories opened in %lld ms\n", nodes, ms(start));
    EXPECT_EQ(nodes, 110001);
    Form4->BitBtn2->click();

    OpenAccept("\r请设置工作目录和输出目录！");
    OpenPicker(FormAccept->BitBtn1);
    QTreeWidgetItem* parent = OpenDownTo(m_tree.root());
    ASSERT_NE(parent, nullptr);
    QTreeWidgetItem* node = ChildNamed(parent, "big");
    start = std::chrono::steady_clock::now();
    Open(node);
    QApplication::processEvents();
    std::printf("picker node with %d directories opened in %lld ms\n", node->childCount(),
                ms(start));
    EXPECT_EQ(node->childCount(), 100000);
    FormWorkSet->Button2->click();
}
