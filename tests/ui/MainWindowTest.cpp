#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <QTreeWidgetItemIterator>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/ContinueCopy.h"
#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/Platform.h"
#include "ui/About.h"
#include "ui/Accept.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/SDir.h"
#include "ui/Sets.h"
#include "ui/Startup.h"
#include "ui/UiTestSupport.h"

namespace {

const QString kUnknown = QStringLiteral(" ？？？");

void Click(QTreeWidget* view, QTreeWidgetItem* item) {
    const QPoint at = view->visualItemRect(item).center();
    const QPoint global = view->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QApplication::sendEvent(view->viewport(), &release);
}

// What the user picks in the combo box.
void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

QStringList Row(QTreeWidget* list, int row) {
    QStringList texts;
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (!item)
        return texts;
    for (int c = 0; c < list->columnCount(); ++c) texts << item->text(c);
    return texts;
}

QStringList Lines(QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
}

// The questions all read: warning, blank line, what cannot be done and what to set.
QString Question(const char* problem, const char* remedy) {
    return QStringLiteral("警告！") + QString::fromUtf8(problem) +
           QStringLiteral("\r\r不能进行过滤复制操作，") + QString::fromUtf8(remedy) +
           QStringLiteral("\r\r");
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

class MainWindowTest : public UiTest {
protected:
    // A working directory with the source proj/src and an output directory with one
    // earlier target, and work.ini naming them.
    void MakeDirectories() {
        m_work = m_tree.dir("work");
        m_output = m_tree.dir("out");
        m_tree.file("work/proj/src/a.TXT", "0123456789");
        m_tree.file("work/proj/src/b.txt", "01234567890123456789");
        m_tree.file("work/proj/src/sub/c.c", std::string(1000, 'c'));
        m_tree.file("out/old-01/x.h", "xx");
        WriteWorkIni(m_work, m_output);
    }

    // What the source dialog leaves behind when the user confirms a new source.
    void ChooseSource(const std::string& dir) {
        FunSub::SourceDir = dir;
        FunSub::SourceChanged = true;
    }

    // Start-up clears the hand-over flag, so a source is chosen once the windows exist.
    void StartAndShowWithSource(const std::string& dir) {
        ASSERT_TRUE(Start());
        ChooseSource(dir);
        Form1->ShowAndActivate();
    }

    // A dialog opened and left again, as the About window does it.
    void Reactivate() {
        OpenDialog(Form1, Form6);
        ReturnTo(Form6, Form1);
    }

    std::string m_work;
    std::string m_output;
};

TEST_F(MainWindowTest, EachDirectoryProblemAsksItsQuestionAndYesOpensTheDirectoryDialog) {
    const std::string existing = m_tree.dir("exists");
    m_tree.dir("exists/child");
    const std::string missing = m_tree.path("missing");
    const std::string aFile = m_tree.file("a-file", "x");
    const std::string noSubdirs = m_tree.dir("bare");
    m_tree.dir("bare/.hidden");
    m_tree.file("bare/file", "not a directory");
    const struct {
        std::string work, output;
        QString question;
    } cases[] = {
        {"", "", Question("您还未指定工作目录和输出目录！", "请设置工作目录和输出目录！")},
        {"", missing, Question("工作目录和输出目录均不存在！", "请设置工作目录和输出目录！")},
        {missing, missing, Question("工作目录和输出目录均不存在！", "请设置工作目录和输出目录！")},
        {"", existing, Question("工作目录不存在！", "请设置工作目录！")},
        {existing, "", Question("输出目录不存在！", "请设置输出目录！")},
        {aFile, existing, Question("工作目录不存在！", "请设置工作目录！")},
        {noSubdirs, existing, Question("当前工作目录下无子目录！", "请重新设置工作目录！")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.work + " | " + c.output);
        DestroyWindows();
        FunSub::ResetState();
        m_messages.shown.clear();
        WriteWorkIni(c.work, c.output);
        StartAndShow();
        ASSERT_EQ(m_messages.texts("ask"), QStringList{c.question});
        EXPECT_EQ(Form1->Edit1->text(), Q(c.work));
        EXPECT_EQ(Form1->Edit4->text(), Q(c.output));
        EXPECT_EQ(FunSub::HintText, c.question.toStdString());
        EXPECT_FALSE(Form1->isEnabled());
        EXPECT_TRUE(Form1->isVisible());
        EXPECT_TRUE(FormAccept->isVisible());
        EXPECT_EQ(m_messages.count("error"), 0);
    }
    // Only the question about subdirectories gets as far as the source button.
    EXPECT_FALSE(Form1->Button5->isEnabled());
}

TEST_F(MainWindowTest, NoEndsTheProgramAtOnce) {
    m_tree.dir("bare/.git");
    WriteWorkIni(m_tree.path("bare"), m_tree.path("bare"));
    m_messages.answers = {false};
    StartAndShow();
    EXPECT_EQ(m_messages.shown.size(), 1u);
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_FALSE(FormAccept->isVisible());
    EXPECT_EQ(FunSub::HintText, "");
    EXPECT_EQ(Form1->ComboBoxEx1->count(), 0);  // nothing after the question ran
}

TEST_F(MainWindowTest, QuestionBoxSitsBelowAndRightOfTheWindowCorner) {
    StartAndShow();  // no work.ini: the first question
    Form1->move(40, 30);
    ReturnTo(FormAccept, Form1);
    ASSERT_EQ(m_messages.count("ask"), 2);
    EXPECT_EQ(QPoint(Form1->Left(), Form1->Top()), QPoint(40, 30));
    EXPECT_EQ(m_messages.shown.back().topLeft, QPoint(240, 210));
}

TEST_F(MainWindowTest, TargetSideReturnsToTheFirstTargetOnEveryActivation) {
    MakeDirectories();
    m_tree.dir("out/ABC/inner");
    m_tree.file("out/ABC/inner/deep.txt", "d");
    m_tree.dir("out/Mixed-Case");
    StartAndShow();
    ASSERT_EQ(m_messages.shown.size(), 0u);
    QComboBox* combo = Form1->ComboBoxEx1;
    const auto& subdirs = Form1->OutputSubdirs();
    ASSERT_EQ(combo->count(), 3);
    ASSERT_EQ(subdirs.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::string name = FunSub::LastPathComponent(subdirs[static_cast<std::size_t>(i)]);
        EXPECT_EQ(subdirs[static_cast<std::size_t>(i)], m_tree.path("out/" + name));
        EXPECT_EQ(combo->itemText(i), Q(FunSub::LowerAscii(name)));
        EXPECT_FALSE(combo->itemIcon(i).isNull());
    }
    EXPECT_NE(std::find(subdirs.begin(), subdirs.end(), m_tree.path("out/ABC")), subdirs.end());
    EXPECT_TRUE(combo->findText(QStringLiteral("abc")) >= 0);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(Form1->TargetTree().nodes[0].label, subdirs[0] + "<目录树根>");
    EXPECT_EQ(Form1->TreeView2->topLevelItem(0)->text(0), Q(subdirs[0] + "<目录树根>"));
    EXPECT_TRUE(Form1->TreeView2->topLevelItem(0)->isExpanded());

    // Picking a target shows it with its bare path in the status bar.
    const int abc = combo->findText(QStringLiteral("abc"));
    Choose(combo, abc);
    EXPECT_EQ(Form1->StatusText(), Q(m_tree.path("out/ABC")));
    EXPECT_EQ(Form1->TargetTree().size(), 2);
    EXPECT_EQ(Row(Form1->ListView4, 0), (QStringList{" 合计:1", "1", "1"}));
    EXPECT_EQ(Lines(Form1->ListBox2).mid(2), (QStringList{"    0 级:    1", "    1 级:    1"}));
    ASSERT_EQ(Form1->DirNameList2->topLevelItemCount(), 2);
    EXPECT_EQ(Row(Form1->DirNameList2, 0), (QStringList{" 合计:1", "1", "1", "1"}));
    EXPECT_EQ(Row(Form1->DirNameList2, 1), (QStringList{"inner", "1", "1", "1"}));

    // A target made meanwhile is listed, and the side is back on the first item.
    m_tree.dir("out/new-01");
    Reactivate();
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(subdirs.size(), 4u);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(Form1->TargetTree().nodes[0].label, subdirs[0] + "<目录树根>");
    EXPECT_EQ(FunSub::TreeFileTotal, 0);  // target statistics never touch it
}

TEST_F(MainWindowTest, OutputWithoutSubdirectoriesEmptiesTheTargetSide) {
    MakeDirectories();
    StartAndShow();
    Click(Form1->TreeView2, Form1->TreeView2->topLevelItem(0));
    ASSERT_EQ(Form1->ListView2->topLevelItemCount(), 2);
    std::filesystem::remove_all(m_tree.path("out/old-01"));
    m_tree.dir("out/.hidden-target");
    Reactivate();
    EXPECT_EQ(Form1->ComboBoxEx1->count(), 0);
    EXPECT_EQ(Form1->ComboBoxEx1->currentIndex(), -1);
    EXPECT_EQ(Form1->ComboBoxEx1->currentText(), QStringLiteral("当前输出目录下无子目录 ！"));
    EXPECT_TRUE(Form1->OutputSubdirs().empty());
    EXPECT_EQ(Form1->TreeView2->topLevelItemCount(), 0);
    EXPECT_EQ(Form1->ListView2->topLevelItemCount(), 0);
    EXPECT_EQ(Form1->ListView4->topLevelItemCount(), 0);
    EXPECT_EQ(Form1->ListBox2->count(), 0);
    EXPECT_EQ(Form1->DirNameList2->topLevelItemCount(), 0);
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(MainWindowTest, NewSourceIsBuiltOnceWithItsOwnTargetName) {
    MakeDirectories();
    m_tree.dir("out/src-01");
    StartAndShow();
    EXPECT_EQ(Form1->Edit3->text(), kUnknown);
    EXPECT_EQ(Form1->Edit2->text(), kUnknown);
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_EQ(Form1->TreeView1->topLevelItemCount(), 0);

    ChooseSource(m_tree.path("work/proj/src"));
    Reactivate();
    EXPECT_FALSE(FunSub::SourceChanged);
    EXPECT_EQ(Form1->Edit3->text(), QDir::toNativeSeparators(QStringLiteral("proj/src")));
    EXPECT_EQ(FunSub::TargetName, "src-02");
    EXPECT_EQ(Form1->Edit2->text(), QStringLiteral("src-02"));
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_EQ(FunSub::TreeFileTotal, 3);
    ASSERT_EQ(Form1->SourceTree().size(), 2);
    EXPECT_EQ(Form1->TreeView1->topLevelItem(0)->text(0),
              Q(m_tree.path("work/proj/src") + "<目录树根>"));
    EXPECT_EQ(Form1->TreeView1->topLevelItem(0)->child(0)->text(0), QStringLiteral("sub"));
    ASSERT_EQ(Form1->ListView3->topLevelItemCount(), 3);
    EXPECT_EQ(Row(Form1->ListView3, 0), (QStringList{" 合计:2", "3", "1,030"}));
    EXPECT_EQ(Row(Form1->ListView3, 1), (QStringList{".c", "1", "1,000"}));
    EXPECT_EQ(Row(Form1->ListView3, 2), (QStringList{".txt", "2", "30"}));
    EXPECT_EQ(Lines(Form1->ListBox1), (QStringList{"  目录级    目录数", " ------------------",
                                                   "    0 级:    1", "    1 级:    1"}));

    // Without a new choice the source side stays as it was built.
    m_tree.file("work/proj/src/d.md", "new");
    Reactivate();
    EXPECT_EQ(Row(Form1->ListView3, 0)[0], QStringLiteral(" 合计:2"));
    EXPECT_EQ(FunSub::TargetName, "src-02");

    // Choosing it again builds it again.
    ChooseSource(m_tree.path("work/proj/src"));
    Reactivate();
    EXPECT_EQ(Row(Form1->ListView3, 0)[0], QStringLiteral(" 合计:3"));
    EXPECT_EQ(FunSub::TreeFileTotal, 4);
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(MainWindowTest, SourceOutsideANewWorkingDirectoryShowsItsWholePath) {
    // A new working directory does not clear the source, which then no longer lies below it.
    MakeDirectories();
    m_tree.dir("work/proj/src/sub/deeper/x");
    WriteWorkIni(m_tree.path("work/proj/src/sub/deeper"), m_output);
    StartAndShowWithSource(m_tree.path("work/proj"));
    EXPECT_EQ(Form1->Edit3->text(), Q(m_tree.path("work/proj")));
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(MainWindowTest, TheSourceFieldAndTheCopyDialogNameTheSourceAlike) {
    MakeDirectories();
    auto sourceAsShown = [&](const QString& expected) {
        EXPECT_EQ(Form1->Edit3->text(), expected);
        Form1->Button1->click();
        Form3->Button1->click();
        WaitForBackground();
        ASSERT_TRUE(Form7->isVisible());
        EXPECT_EQ(Form7->Label1->text(), QStringLiteral("from: ") + expected);
        Form7->Button1->click();
    };
    {
        SCOPED_TRACE("the working directory is the root");
        const std::string root = m_work.substr(0, m_work.find(FunSub::kSeparator) + 1);
        WriteWorkIni(root, m_output);
        StartAndShowWithSource(m_work + "/proj/src");
        sourceAsShown(Q(m_work.substr(root.size()) + "/proj/src"));
    }
    {
        SCOPED_TRACE("a hand-edited working directory that ends in a separator");
        DestroyWindows();
        FunSub::ResetState();
        WriteWorkIni(m_work + "/", m_output);
        StartAndShow();
        Form1->Button5->click();
        QTreeWidgetItem* root = Form4->TreeView1->topLevelItem(0);
        ASSERT_EQ(root->childCount(), 1);
        Click(Form4->TreeView1, root->child(0));
        Form4->BitBtn1->click();
        sourceAsShown(QStringLiteral("proj"));
    }
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(MainWindowTest, FailedSourceRebuildKeepsTheCopyDisabledAndTriesAgain) {
    MakeDirectories();
    StartAndShow();
    ChooseSource(m_tree.path("work/proj/src"));
    Reactivate();
    ASSERT_TRUE(Form1->Button1->isEnabled());
    ASSERT_EQ(FunSub::TargetName, "src-01");

    // The source vanishes between the choice and the rebuild.
    m_tree.dir("work/gone");
    ChooseSource(m_tree.path("work/gone"));
    std::filesystem::remove(m_tree.path("work/gone"));
    Reactivate();
    EXPECT_EQ(m_messages.texts("error"), QStringList{"File not found."});
    EXPECT_TRUE(FunSub::SourceChanged);
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_EQ(FunSub::TargetName, "");
    EXPECT_EQ(Form1->Edit2->text(), kUnknown);
    EXPECT_EQ(Form1->Edit3->text(), QStringLiteral("gone"));
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    // The former tree stays until a build succeeds.
    EXPECT_EQ(Form1->TreeView1->topLevelItem(0)->text(0),
              Q(m_tree.path("work/proj/src") + "<目录树根>"));

    // A name that cannot be chosen fails the same way.
    m_tree.dir("work/gone");
    m_tree.dir("out/gone-old");
    Reactivate();
    EXPECT_EQ(m_messages.texts("error").last(),
              QStringLiteral("'ol' is not a valid integer value."));
    EXPECT_TRUE(FunSub::SourceChanged);
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_EQ(FunSub::TargetName, "");

    // Once the obstacle is gone, the next activation completes the rebuild.
    std::filesystem::remove(m_tree.path("out/gone-old"));
    Reactivate();
    EXPECT_FALSE(FunSub::SourceChanged);
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_EQ(FunSub::TargetName, "gone-01");
    EXPECT_EQ(m_messages.count("error"), 2);
}

TEST_F(MainWindowTest, MouseClicksInTheTreesListTheFilesAndShowThePath) {
    MakeDirectories();
    StartAndShowWithSource(m_tree.path("work/proj/src"));
    EXPECT_EQ(Form1->StatusText(), QString());
    QTreeWidget* tree = Form1->TreeView1;
    Click(tree, tree->topLevelItem(0));
    EXPECT_EQ(Form1->StatusText(), Q("当前路径：" + m_tree.path("work/proj/src")));
    ASSERT_EQ(Form1->ListView1->topLevelItemCount(), 3);
    EXPECT_EQ(Row(Form1->ListView1, 0), (QStringList{" 合计:2", "30", ""}));
    EXPECT_EQ(Row(Form1->ListView1, 1).mid(0, 2), (QStringList{"a.TXT", "10"}));
    EXPECT_FALSE(Row(Form1->ListView1, 1)[2].isEmpty());

    // The keyboard moves the selection but lists nothing.
    tree->setFocus();
    PressKey(tree, Qt::Key_Down);
    EXPECT_EQ(tree->currentItem()->text(0), QStringLiteral("sub"));
    EXPECT_EQ(Form1->StatusText(), Q("当前路径：" + m_tree.path("work/proj/src")));
    EXPECT_EQ(Form1->ListView1->topLevelItemCount(), 3);

    Click(tree, tree->topLevelItem(0)->child(0));
    EXPECT_EQ(Form1->StatusText(), Q("当前路径：" + m_tree.path("work/proj/src/sub")));
    EXPECT_EQ(Row(Form1->ListView1, 0), (QStringList{" 合计:1", "1,000", ""}));

    Click(Form1->TreeView2, Form1->TreeView2->topLevelItem(0));
    EXPECT_EQ(Form1->StatusText(), Q("当前路径：" + m_tree.path("out/old-01")));
    EXPECT_EQ(Row(Form1->ListView2, 0), (QStringList{" 合计:1", "2", ""}));

    // A directory deleted since the tree was built lists nothing and reports nothing.
    std::filesystem::remove_all(m_tree.path("work/proj/src/sub"));
    Click(tree, tree->topLevelItem(0)->child(0));
    EXPECT_EQ(Row(Form1->ListView1, 0), (QStringList{" 合计:0", "0", ""}));
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(MainWindowTest, ButtonsOpenTheirDialogsThroughTheChain) {
    MakeDirectories();
    StartAndShowWithSource(m_tree.path("work/proj/src"));

    Form1->BitBtn1->click();
    EXPECT_EQ(FunSub::HintText, "\r请设置工作目录和输出目录！");
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_TRUE(FormAccept->isVisible());
    ReturnTo(FormAccept, Form1);

    Form1->Button3->click();
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_TRUE(Form6->isVisible());
    ReturnTo(Form6, Form1);

    Form1->Button1->click();
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_TRUE(Form3->isVisible());
    ReturnTo(Form3, Form1);

    Form1->Button5->click();
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_TRUE(Form4->isVisible());
    ReturnTo(Form4, Form1);
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();

    m_tree.file("app/guide.htm", "<html></html>");
    Form1->Button2->click();
    EXPECT_EQ(m_messages.texts("open"), QStringList{Q(m_tree.path("app/guide.htm"))});
    EXPECT_TRUE(Form1->isEnabled());

    Form1->Button4->click();
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_EQ(Form1->TreeView1->topLevelItemCount(), 0);
    EXPECT_EQ(Form1->TreeView2->topLevelItemCount(), 0);
    EXPECT_EQ(m_messages.count("error"), 0);
}

TEST_F(MainWindowTest, DeepTreesScrollSidewaysToTheirDeepestLevel) {
    // Thirty levels, 0 to 29, on both sides.
    m_work = m_tree.dir("work");
    m_output = m_tree.dir("out");
    std::string chain;
    for (int level = 1; level < 30; ++level)
        chain += FunSub::kSeparator + ("第" + std::to_string(level) + "级目录");
    m_tree.dir("work/deep" + chain);
    m_tree.dir("out/deep-01" + chain);
    WriteWorkIni(m_work, m_output);
    StartAndShowWithSource(m_tree.path("work/deep"));
    Form1->resize(1000, 700);
    QApplication::processEvents();

    const struct {
        QTreeWidget* tree;
        std::string root;
    } sides[] = {{Form1->TreeView2, m_tree.path("out/deep-01")},
                 {Form1->TreeView1, m_tree.path("work/deep")}};
    for (const auto& side : sides) {
        SCOPED_TRACE(side.root);
        QTreeWidget* tree = side.tree;
        Click(tree, tree->topLevelItem(0));
        PressKey(tree, Qt::Key_Asterisk);  // opens everything below
        for (int level = 1; level < 30; ++level) PressKey(tree, Qt::Key_Down);
        QTreeWidgetItem* deepest = tree->currentItem();
        ASSERT_EQ(deepest->text(0), QStringLiteral("第29级目录"));
        EXPECT_GT(tree->horizontalScrollBar()->value(), 0);
        EXPECT_TRUE(CurrentLabelInView(tree));
        Click(tree, deepest);
        EXPECT_EQ(Form1->StatusText(), Q("当前路径：" + side.root + chain));
    }
    EXPECT_TRUE(SaveScreenshot(Form1, QStringLiteral("deep-tree")));
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(MainWindowTest, CountsAndSizesOfBigTreesReadWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine takes over twenty minutes to make the files; the widths are Qt's alone";
#endif
    MakeDirectories();
    // Six digits of files and a total of seventeen thousand thousand million bytes. The
    // files are hard links to a hundred, which is much quicker than making each.
    std::filesystem::path original;
    for (int i = 0; i < 100000; ++i) {
        const std::string name = "work/big/many/f" + std::to_string(i) + ".dat";
        if (i % 1000 == 0) {
            original = FsPath(m_tree.file(name));
        } else {
            std::filesystem::create_hard_link(original, FsPath(m_tree.path(name)));
        }
    }
    m_tree.sparseFile("work/big/disk.img", 17'000'000'000'000);
    StartAndShowWithSource(m_tree.path("work/big"));
    Click(Form1->TreeView1, Form1->TreeView1->topLevelItem(0));
    EXPECT_EQ(Row(Form1->ListView3, 0), (QStringList{" 合计:2", "100001", "17,000,000,000,000"}));
    EXPECT_EQ(Row(Form1->ListView1, 1)[1], QStringLiteral("17,000,000,000,000"));
    Form1->Button1->click();
    ASSERT_TRUE(Form3->isVisible());

    for (QTreeWidget* list : {Form1->ListView1, Form1->ListView3, Form3->ListView1}) {
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            for (int column = 0; column < list->columnCount(); ++column) {
                const QModelIndex cell = list->model()->index(row, column);
                EXPECT_LE(list->sizeHintForIndex(cell).width(), list->columnWidth(column))
                    << list->topLevelItem(row)->text(column).toStdString();
            }
        }
    }
    // The widths laid down for the lists stay the least they take.
    EXPECT_EQ(Form1->ListView3->columnWidth(0), 80);
    EXPECT_EQ(Form1->ListView1->columnWidth(2), 200);
}

TEST_F(MainWindowTest, HundredThousandRowsKeepTheSummaryOnTop) {
    ASSERT_TRUE(Start());
    FunSub::FileListing listing;
    for (int i = 100000; i > 0; --i) {
        listing.files.push_back({"f" + std::to_string(i) + ".dat", i, 0});
        listing.totalBytes += i;
    }
    FillReportList(Form1->ListView1, FunSub::FileListRows(listing));
    QTreeWidget* list = Form1->ListView1;
    ASSERT_EQ(list->topLevelItemCount(), 100001);
    EXPECT_EQ(Row(list, 0), (QStringList{" 合计:100000", "5,000,050,000", ""}));
    int unordered = 0;
    for (int i = 2; i <= 100000; ++i) {
        unordered += FunSub::CaptionLess(list->topLevelItem(i)->text(0).toStdString(),
                                         list->topLevelItem(i - 1)->text(0).toStdString());
    }
    EXPECT_EQ(unordered, 0);
    EXPECT_FALSE(list->isSortingEnabled());
    // A second fill replaces the rows.
    FillReportList(list, FunSub::FileListRows({}));
    EXPECT_EQ(Row(list, 0), (QStringList{" 合计:0", "0", ""}));
    EXPECT_EQ(list->topLevelItemCount(), 1);
}

TEST_F(MainWindowTest, ArrangementAndScreenshot) {
    MakeDirectories();
    for (const char* f : {"main.cpp", "main.h", "README", "notes.txt", "logo.PNG"}) {
        m_tree.file(std::string("work/proj/src/") + f, std::string(1234, 'x'));
    }
    m_tree.dir("work/proj/src/docs/html");
    m_tree.dir("out/src-01/sub");
    m_tree.dir("out/src-02");
    StartAndShowWithSource(m_tree.path("work/proj/src"));
    Form1->resize(1000, 700);
    Click(Form1->TreeView1, Form1->TreeView1->topLevelItem(0));
    QApplication::processEvents();

    EXPECT_EQ(Form1->PageControl1->currentIndex(), 1);
    EXPECT_EQ(Form1->PageControl2->tabText(Form1->PageControl2->currentIndex()),
              QStringLiteral("类型统计"));
    EXPECT_EQ(Form1->ListView1->headerItem()->text(2), QStringLiteral("文件修改时间"));
    EXPECT_EQ(Form1->ListView1->columnWidth(1), 86);
    EXPECT_EQ(Form1->ListView3->columnWidth(2), 120);
    EXPECT_EQ(Form1->Button3->text(), QStringLiteral("关  于"));
    EXPECT_EQ(Form1->Button4->text(), QStringLiteral("退　出"));
    const QList<int> sides = Form1->Splitter1->sizes();
    EXPECT_LE(std::abs(sides[0] - sides[1]), 4);
    const QList<int> left = Form1->Splitter2->sizes();
    EXPECT_GT(left[0], left[1]);
    EXPECT_TRUE(SaveScreenshot(Form1, QStringLiteral("main-window")));

    // The directories by name, largest first, on a tab of their own on both sides.
    for (QTabWidget* pages : {Form1->PageControl1, Form1->PageControl2})
        EXPECT_EQ(pages->tabText(3), QStringLiteral("目录名统计"));
    Form1->PageControl1->setCurrentIndex(3);
    EXPECT_EQ(Form1->DirNameList1->headerItem()->text(1), QStringLiteral("目录数"));
    EXPECT_EQ(Row(Form1->DirNameList1, 0), (QStringList{" 合计:3", "3", "1", "1,000"}));
    EXPECT_EQ(Row(Form1->DirNameList1, 1), (QStringList{"sub", "1", "1", "1,000"}));
    EXPECT_EQ(Row(Form1->DirNameList1, 2), (QStringList{"docs", "1", "0", "0"}));
    EXPECT_TRUE(SaveScreenshot(Form1, QStringLiteral("main-window-directory-names")));
}

#ifndef _WIN32  // a directory swapped for a link, which Windows would follow
namespace {

// The directory the listing hook swaps for a link to itself moved away, once, as it is read.
std::string g_swapped;
std::atomic<bool> g_swap{false};

void SwapForALink(const std::string& dir) {
    if (dir != g_swapped || !g_swap.exchange(false))
        return;
    std::rename(dir.c_str(), (dir + "-away").c_str());
    (void)!symlink((dir + "-away").c_str(), dir.c_str());
}

}  // namespace

// What a side's reading could not take in is said under its tree: directories that could
// not be read (shown in red; here one swapped for a link while it was read, which is not
// followed) and a target whose copy never finished.
TEST_F(MainWindowTest, UnreadableDirectoriesAndUnfinishedTargetsAreShown) {
    MakeDirectories();
    m_tree.dir("out/old-01/.quillmere-incomplete");
    g_swapped = m_tree.dir("work/proj/src/deep");
    g_swap = true;
    Platform::SetListingHook(SwapForALink);
    StartAndShowWithSource(m_tree.path("work/proj/src"));
    Platform::SetListingHook(nullptr);
    EXPECT_EQ(Form1->Label8->text(), QStringLiteral("1 个目录无法读取，其中的文件没有计入"));
    EXPECT_FALSE(Form1->Label8->isHidden());
    int red = 0;
    for (QTreeWidgetItemIterator it(Form1->TreeView1); *it; ++it)
        red += (*it)->foreground(0).color() == Qt::red;
    EXPECT_EQ(red, 1);
    // A marker without the copy's record: unfinished, and nothing to continue it by.
    EXPECT_EQ(Form1->Label9->text(), QString::fromUtf8(FunSub::kIncompleteTargetText) +
                                         QStringLiteral("\n无法继续复制：") +
                                         QString::fromUtf8(FunSub::kNoRecordText));
    EXPECT_FALSE(Form1->Label9->isHidden());
    EXPECT_TRUE(Form1->Button7->isHidden());
    SaveScreenshot(Form1, "main-window-notices");
}
#endif

// Both sides are read on threads of their own: while a reading is held the window answers a
// click and says in its status bar what it reads; once it is there, it shows what a reading
// in place shows.
TEST_F(MainWindowTest, TheWindowAnswersWhileItReads) {
    MakeDirectories();
    ASSERT_TRUE(Start());
    ChooseSource(m_tree.path("work/proj/src"));
    {
        HeldListings held;
        Form1->ShowAndActivate();
        ASSERT_TRUE(held.Holding());
        EXPECT_TRUE(Form1->StatusBar1->currentMessage().startsWith(QStringLiteral("正在读取 ")))
            << Form1->StatusBar1->currentMessage().toStdString();
        EXPECT_FALSE(Form1->Button1->isEnabled()) << "no copy before the source is read";
        EXPECT_EQ(Form1->TreeView1->topLevelItemCount(), 0);
        Form1->Button3->click();  // "关  于" answers
        EXPECT_TRUE(Form6->isVisible());
        Form6->Button1->click();
        EXPECT_TRUE(Form1->isEnabled());
    }
    EXPECT_EQ(Form1->StatusBar1->currentMessage(), QString());
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_EQ(FunSub::TargetName, "src-01");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(m_tree.path("work/proj/src"), FunSub::RootLabel::ShortenDriveRoot);
    const std::vector<FunSub::ListRow> rows = FunSub::TypeListRows(FunSub::CollectTreeStats(tree));
    ASSERT_EQ(Form1->ListView3->topLevelItemCount(), static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Row(Form1->ListView3, static_cast<int>(i))[0], Q(rows[i].caption));
        EXPECT_EQ(Row(Form1->ListView3, static_cast<int>(i))[1], Q(rows[i].subItems[0]));
    }
    EXPECT_EQ(Form1->SourceTree().size(), tree.size());
    EXPECT_EQ(Form1->TreeView2->topLevelItem(0)->text(0),
              Q(m_tree.path("out/old-01") + "<目录树根>"));
}
