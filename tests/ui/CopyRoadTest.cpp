#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/Platform.h"
#include "ui/About.h"
#include "ui/Accept.h"
#include "ui/Background.h"
#include "ui/Compare.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/RulesPanel.h"
#include "ui/SDir.h"
#include "ui/Sets.h"
#include "ui/UiTestSupport.h"
#include "ui/WorkSet.h"

namespace fs = std::filesystem;

namespace {

const QString kRunning = QStringLiteral("正在过滤复制 …………");
const QString kDone = QStringLiteral("过滤复制完成 ！");
const QString kCancel = QStringLiteral("放　　弃");
const QString kBack = QStringLiteral("返　　回");
const QString kExcludeHint = QStringLiteral("从中指定要滤除的文件类型：");
const QString kKeepOnlyHint = QStringLiteral("从中指定仅保留的文件类型：");
const QString kNoTicks = QStringLiteral("类型：0  文件数：0  总大小：0");

// Components joined the way the program shows paths.
std::string Rel(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : std::string(1, FunSub::kSeparator)) + p;
    return out;
}

QTreeWidgetItem* Row(QTreeWidget* list, const QString& caption) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == caption)
            return list->topLevelItem(i);
    }
    return nullptr;
}

// A click in the list below its last row.
void ClickBesideRows(QTreeWidget* list) {
    const QPoint below(list->viewport()->width() / 2, list->viewport()->height() - 3);
    ASSERT_EQ(list->itemAt(below), nullptr);
    ClickAt(list->viewport(), below);
}

// Statistics of a source with these types, as if its reading had found them.
void ShowSourceTypes(const std::vector<FunSub::FileType>& types) {
    FunSub::TreeStats stats;
    stats.TypeStats = types;
    for (const FunSub::FileType& t : types) {
        stats.fileTotal += t.FileCount;
        stats.byteTotal += t.TotalSize;
    }
    Form1->ShowSourceStats(stats);
}

}  // namespace

class CopyRoadTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        m_work = m_tree.dir("work");
        m_out = m_tree.dir("out");
        m_tree.file("work/proj/a.txt", "alpha");
        m_tree.file("work/proj/b.TXT", "bravo!");
        m_tree.file("work/proj/c.jpg", "charlie");
        m_tree.file("work/proj/sub/d.jpg", "delta-jpg");
        m_tree.file("work/proj/sub/e", "echo");
        m_tree.file("work/proj/sub/deep/f.txt", "foxtrot");
        m_tree.dir("work/proj/empty");
        m_tree.file("work/proj/.hidden/g.txt", "golf");
        WriteWorkIni(m_work, m_out);
    }

    // The program after the source dialog confirmed work/proj: the main window's next
    // activation builds the source side and names the target.
    void StartWithSource() {
        ASSERT_TRUE(Start());
        FunSub::SourceDir = m_work + FunSub::kSeparator + "proj";
        FunSub::SourceChanged = true;
        Form1->ShowAndActivate();
        ASSERT_TRUE(Form1->Button1->isEnabled()) << "the main window did not build the source";
        ASSERT_EQ(FunSub::TargetName, "proj-01");
    }

    // From the main window's "过滤复制" through the filter dialog to the copy dialog.
    void OpenFilter() {
        Form1->Button1->click();
        ASSERT_TRUE(Form3->isVisible());
        ASSERT_FALSE(Form1->isEnabled());
    }

    void ConfirmFilter() {
        Form3->Button1->click();
        WaitForBackground();  // the check before the copy
        ASSERT_FALSE(Form3->isVisible());
        ASSERT_TRUE(Form7->isVisible());
        ASSERT_FALSE(Form1->isEnabled());
    }

    std::string Target(const std::string& relative = {}) const {
        const std::string root = m_out + FunSub::kSeparator + "proj-01";
        return relative.empty() ? root : root + FunSub::kSeparator + relative;
    }

    std::string m_work;
    std::string m_out;
};

TEST_F(CopyRoadTest, TicksTypesKeepsOnlyThemAndReturnsToTheNewTarget) {
    StartWithSource();
    OpenFilter();
    EXPECT_EQ(Form3->Left(), Form1->Left() + 300);
    EXPECT_EQ(Form3->Top(), Form1->Top());
    EXPECT_EQ(Form3->Label3->text(), QStringLiteral("类型：3 文件数：6 总大小：38"));
    EXPECT_EQ(Form3->Label4->text(), kNoTicks);
    ASSERT_EQ(Form3->ListView1->topLevelItemCount(), Form1->ListView3->topLevelItemCount() - 1);
    for (int i = 0; i < Form3->ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = Form3->ListView1->topLevelItem(i);
        const QTreeWidgetItem* from = Form1->ListView3->topLevelItem(i + 1);
        EXPECT_EQ(row->text(0), from->text(0));
        EXPECT_EQ(row->text(2), from->text(2));
        EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    }

    ClickCheckBox(Form3->ListView1, Row(Form3->ListView1, QStringLiteral(".jpg")));
    EXPECT_EQ(Row(Form3->ListView1, QStringLiteral(".jpg"))->checkState(0), Qt::Checked);
    EXPECT_EQ(Form3->Label4->text(), QStringLiteral("类型：1 文件数：2 总大小：16"));
    Click(Form3->RadioButton2);
    EXPECT_EQ(FunSub::FilterMode, FunSub::FilterKind::KeepOnly);
    EXPECT_EQ(Form3->Label2->text(), kKeepOnlyHint);
    SaveScreenshot(Form3, QStringLiteral("sets"));
    ConfirmFilter();
    EXPECT_EQ(FunSub::SelectedTypes, std::vector<std::string>{".jpg"});

    EXPECT_EQ(Form7->windowTitle(), QStringLiteral("准备过滤复制"));
    EXPECT_EQ(Form7->Label1->text(), QStringLiteral("from: proj"));
    EXPECT_EQ(Form7->Label2->text(), QStringLiteral("to: proj-01"));
    EXPECT_EQ(Form7->ProgressBar1->value(), 0);
    Form7->Button2->click();

    EXPECT_EQ(m_messages.shown.size(), 0u);
    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_EQ(Form7->Button1->text(), kBack);
    EXPECT_TRUE(Form7->Button1->isEnabled());
    EXPECT_FALSE(Form7->Button2->isEnabled());
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_EQ(Form7->ProgressBar1->maximum(), 6);
    EXPECT_EQ(Form7->ProgressBar1->value(), 6);
    // The root is walked first, so the file in sub is the last one copied.
    EXPECT_EQ(Form7->Label1->text(), ToQ("from: " + Rel({"proj", "sub", "d.jpg"})));
    EXPECT_EQ(Form7->Label2->text(), ToQ("to: " + Rel({"proj-01", "sub", "d.jpg"})));
    SaveScreenshot(Form7, QStringLiteral("copying"));

    EXPECT_EQ(ReadFile(Target("c.jpg")), "charlie");
    EXPECT_EQ(ReadFile(Target(Rel({"sub", "d.jpg"}))), "delta-jpg");
    EXPECT_FALSE(fs::exists(Target("a.txt")));
    EXPECT_FALSE(fs::exists(Target(Rel({"sub", "e"}))));
    EXPECT_TRUE(fs::is_directory(Target(Rel({"sub", "deep"}))));
    EXPECT_TRUE(fs::is_directory(Target("empty")));
    EXPECT_FALSE(fs::exists(Target(".hidden")));

    Form7->Button1->click();
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form7->Button2->isEnabled());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_GE(Form1->ComboBoxEx1->findText(QStringLiteral("proj-01")), 0);
    EXPECT_FALSE(Form1->Button1->isEnabled());
}

// Beside the types, rules leave out directories by name, names by pattern and large files;
// two lines say what the rules take out and what the copy takes, after every change by mouse
// or keys. A pattern that cannot be used says why and holds "确　定" back; "上次的选择"
// brings the rules back with the types.
TEST_F(CopyRoadTest, RulesLeaveOutByNameAndSayWhatTheyTakeOut) {
    StartWithSource();
    OpenFilter();
    RulesPanel* rules = Form3->Rules;
    const auto effect = [] {
        return Form3->RuleEffect->text() + QLatin1Char('|') + Form3->CopyEffect->text();
    };
    ASSERT_EQ(rules->DirList->topLevelItemCount(), 3);
    EXPECT_EQ(rules->DirList->topLevelItem(0)->text(0), QStringLiteral("sub"));
    EXPECT_EQ(rules->DirList->topLevelItem(0)->text(3), QStringLiteral("20"));
    EXPECT_EQ(effect(), QStringLiteral("规则滤除：0 个目录，0 个文件，0 B|将复制：6 个文件，38 B"));

    ClickCheckBox(rules->DirList, Row(rules->DirList, QStringLiteral("deep")));
    EXPECT_EQ(effect(), QStringLiteral("规则滤除：1 个目录，1 个文件，7 B|将复制：5 个文件，31 B"));
    // A type ticked by keys: the described totals wait for a click, the lines do not.
    Form3->ListView1->setCurrentItem(Row(Form3->ListView1, QStringLiteral(".jpg")));
    PressKey(Form3->ListView1, Qt::Key_Space);
    EXPECT_EQ(Form3->Label4->text(), kNoTicks);
    EXPECT_EQ(effect(), QStringLiteral("规则滤除：1 个目录，1 个文件，7 B|将复制：3 个文件，15 B"));

    QTest::keyClicks(rules->Patterns, QStringLiteral("[a"));
    EXPECT_TRUE(rules->ProblemLabel->isVisible());
    EXPECT_EQ(rules->ProblemLabel->text(), QStringLiteral("名称模式 “[a” 不能使用：未闭合的 ["));
    EXPECT_FALSE(Form3->Button1->isEnabled());
    QTest::keyClicks(rules->Patterns, QStringLiteral("]*; empty/"));
    EXPECT_FALSE(rules->ProblemLabel->isVisible());
    EXPECT_EQ(effect(),
              QStringLiteral("规则滤除：2 个目录，2 个文件，12 B|将复制：2 个文件，10 B"));
    Click(rules->SizeBox);
    rules->SizeField->selectAll();
    QTest::keyClicks(rules->SizeField, QStringLiteral("1 GB"));
    EXPECT_EQ(rules->ProblemLabel->text(), QStringLiteral("“1 GB” 不是以 MB 为单位的大小"));
    EXPECT_FALSE(Form3->Button1->isEnabled());
    rules->SizeField->selectAll();
    QTest::keyClicks(rules->SizeField, QStringLiteral("0.5"));
    EXPECT_TRUE(Form3->Button1->isEnabled());
    SaveScreenshot(Form3, QStringLiteral("sets-rules"));

    ConfirmFilter();
    const FunSub::FilterRules chosen{{"deep"}, {"[a]*", "empty/"}, 524288};
    EXPECT_EQ(FunSub::SelectedRules, chosen);
    EXPECT_TRUE(Form7->Label3->text().endsWith(QStringLiteral("，规则滤除 2 个文件")))
        << Form7->Label3->text().toStdString();
    Form7->Button2->click();
    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_TRUE(fs::is_directory(Target("sub")));
    for (const std::string& gone :
         {Rel({"sub", "deep"}), std::string("empty"), std::string("a.txt"), std::string("c.jpg")})
        EXPECT_FALSE(fs::exists(Target(gone))) << gone;
    EXPECT_EQ(ReadFile(Target("b.TXT")), "bravo!");
    Form7->Button1->click();

    // The comparison groups what the copy left out by the rules it was made with.
    const int listed = Form1->ComboBoxEx1->findText(QStringLiteral("proj-01"));
    ASSERT_GE(listed, 0);
    Form1->ComboBoxEx1->setCurrentIndex(listed);
    emit Form1->ComboBoxEx1->activated(listed);
    Click(Form1->Button6);
    ASSERT_TRUE(QTest::qWaitFor([] { return Form8->isVisible() && !Form8->Reading(); }, 10000));
    EXPECT_EQ(Form8->Label3->text(),
              QStringLiteral("按复制时的过滤滤除 4 个文件和 2 个目录；"
                             "其余与源目录一致：没有缺少、改变或多出的文件"));
    EXPECT_FALSE(Form8->Label4->isVisible());
    QTreeWidgetItem* leftOut = Form8->ListView1->topLevelItem(0);
    ASSERT_NE(leftOut, nullptr);
    QStringList groups;
    for (int i = 0; i < leftOut->childCount(); ++i)
        groups << leftOut->child(i)->text(0) + QLatin1Char(' ') + leftOut->child(i)->text(1);
    EXPECT_EQ(groups, (QStringList{"name:[a]* 1", ".jpg 2", "name:empty/ 0", "dir:deep 1"}));
    leftOut->setExpanded(true);
    SaveScreenshot(Form8, QStringLiteral("compare-rules"));
    Click(Form8->Button1);

    // Shown again, nothing is ticked; the last choice brings the rules back.
    FunSub::SourceDir = m_work + FunSub::kSeparator + "proj";
    FunSub::SourceChanged = true;
    Form1->ShowAndActivate();
    OpenFilter();
    EXPECT_EQ(rules->Rules(), FunSub::FilterRules{});
    Click(Form3->Button3);
    EXPECT_EQ(rules->Rules(), chosen);
    EXPECT_EQ(rules->Patterns->text(), QStringLiteral("[a]*; empty/"));
    EXPECT_EQ(effect(),
              QStringLiteral("规则滤除：2 个目录，2 个文件，12 B|将复制：2 个文件，10 B"));
}

// "按 .gitignore 滤除" leaves out what the tree's ignore files ignore, each in its own
// directory and below, and comes back with the last choice.
TEST_F(CopyRoadTest, TheGitIgnoreBoxLeavesOutWhatGitIgnores) {
    m_tree.file("work/proj/sub/.gitignore", "*.jpg\n");
    StartWithSource();
    OpenFilter();
    Click(Form3->Rules->GitBox);
    EXPECT_EQ(Form3->RuleEffect->text(), QStringLiteral("规则滤除：0 个目录，1 个文件，9 B"));
    EXPECT_EQ(Form3->CopyEffect->text(), QStringLiteral("将复制：6 个文件，35 B"));
    ConfirmFilter();
    EXPECT_TRUE(FunSub::SelectedRules.gitignore);
    Form7->Button2->click();
    EXPECT_TRUE(fs::exists(Target("c.jpg")));
    EXPECT_FALSE(fs::exists(Target(Rel({"sub", "d.jpg"}))));
    EXPECT_TRUE(fs::exists(Target(Rel({"sub", ".gitignore"}))));
    Form7->Button1->click();

    FunSub::SourceChanged = true;
    Form1->ShowAndActivate();
    OpenFilter();
    EXPECT_FALSE(Form3->Rules->GitBox->isChecked());
    Click(Form3->Button3);
    EXPECT_TRUE(Form3->Rules->GitBox->isChecked());
}

TEST_F(CopyRoadTest, CancellingBeforeTheStartCopiesNothingAndOffersTheSameCopyAgain) {
    StartWithSource();
    OpenFilter();
    Form3->Button1->click();
    WaitForBackground();
    Form7->Button1->click();
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_TRUE(Form1->Button1->isEnabled());
    EXPECT_FALSE(fs::exists(Target()));

    // Cancelling the filter, by its button or its close box, keeps the last confirmed types.
    OpenFilter();
    ClickCheckBox(Form3->ListView1, Row(Form3->ListView1, QStringLiteral(".txt")));
    ConfirmFilter();
    Form7->close();
    OpenFilter();
    ClickCheckBox(Form3->ListView1, Row(Form3->ListView1, QStringLiteral(".jpg")));
    Form3->Button2->click();
    EXPECT_TRUE(Form1->isEnabled());
    OpenFilter();
    Form3->close();
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(FunSub::SelectedTypes, std::vector<std::string>{".txt"});

    OpenFilter();
    EXPECT_EQ(Row(Form3->ListView1, QStringLiteral(".txt"))->checkState(0), Qt::Unchecked);
    ConfirmFilter();
    EXPECT_TRUE(FunSub::SelectedTypes.empty());
    EXPECT_EQ(Form7->Label1->text(), QStringLiteral("from: proj"));
    EXPECT_EQ(Form7->Label2->text(), QStringLiteral("to: proj-01"));
    EXPECT_TRUE(Form7->Button2->isEnabled());
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(CopyRoadTest, ACopyInWhichNothingPassesMakesTheDirectoriesAndKeepsTheLabels) {
    StartWithSource();
    OpenFilter();
    Click(Form3->RadioButton2);
    ConfirmFilter();
    Form7->Button2->click();

    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_EQ(Form7->Label1->text(), QStringLiteral("from: proj"));
    EXPECT_EQ(Form7->Label2->text(), QStringLiteral("to: proj-01"));
    EXPECT_EQ(Form7->ProgressBar1->value(), Form7->ProgressBar1->maximum());
    EXPECT_TRUE(fs::is_directory(Target(Rel({"sub", "deep"}))));
    EXPECT_TRUE(fs::is_directory(Target("empty")));
    EXPECT_FALSE(fs::exists(Target("c.jpg")));

    // The close box after a finished copy leaves the start button ready, as "返　　回" does.
    Form7->close();
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form7->Button2->isEnabled());
    EXPECT_TRUE(Form1->isEnabled());
}

// The check foresees the failure without making it a reason not to start (the user may want
// what comes before it), and the line under the bar says that the copy failed once the
// message is gone; the caption and the button stay as they were, and Escape goes back.
TEST_F(CopyRoadTest, AFailureHalfWayIsReportedAndKeepsWhatWasCopied) {
    StartWithSource();
    fs::remove_all(m_tree.path("work/proj/sub/deep"));
    OpenFilter();
    ConfirmFilter();
    EXPECT_TRUE(
        Form7->Label3->text().startsWith(QStringLiteral("有 1 个问题会中止复制；将复制 5 个文件")))
        << Form7->Label3->text().toStdString();
    EXPECT_EQ(Form7->Label3->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_TRUE(Form7->Button2->isEnabled());
    Form7->Button2->click();

    EXPECT_EQ(m_messages.texts("error"), QStringList{QStringLiteral("File not found.")});
    EXPECT_TRUE(Form7->Label4->text().startsWith(
        QStringLiteral("过滤复制失败：已复制 5 / 5 个文件，31 / 31 B")))
        << Form7->Label4->text().toStdString();
    EXPECT_FALSE(Form7->Label4->text().contains(QStringLiteral("约剩")));
    SaveScreenshot(Form7, QStringLiteral("copying-failed"));
    EXPECT_EQ(Form7->windowTitle(), kRunning);
    EXPECT_EQ(Form7->Button1->text(), kCancel);
    EXPECT_TRUE(Form7->isEnabled());
    EXPECT_TRUE(Form7->Button1->isEnabled());
    EXPECT_FALSE(Form7->Button2->isEnabled());
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_EQ(ReadFile(Target("a.txt")), "alpha");
    EXPECT_EQ(ReadFile(Target("c.jpg")), "charlie");

    QTest::keyClick(Form7->Button1, Qt::Key_Escape);
    EXPECT_TRUE(Form7->Button2->isEnabled());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_FALSE(Form1->Button1->isEnabled());
}

TEST_F(CopyRoadTest, AnExistingTargetIsAWarningAndNothingIsWrittenIntoIt) {
    StartWithSource();
    m_tree.dir("out/proj-01");
    OpenFilter();
    ConfirmFilter();
    Form7->Button2->click();

    EXPECT_EQ(m_messages.texts("warn"),
              QStringList{QStringLiteral("目标目录已存在！请重新指定源目录")});
    EXPECT_EQ(m_messages.count("error"), 0);
    EXPECT_TRUE(fs::is_empty(Target()));
    EXPECT_NE(Form7->windowTitle(), kDone);
    EXPECT_FALSE(Form7->Button2->isEnabled());
    EXPECT_TRUE(Form7->Button1->isEnabled());
}

TEST_F(CopyRoadTest, AfterTheTargetWasFoundTakenTheSameSourceGetsAFreshName) {
    StartWithSource();
    m_tree.dir("out/proj-01");  // made meanwhile
    OpenFilter();
    ConfirmFilter();
    Form7->Button2->click();
    ASSERT_EQ(m_messages.texts("warn"),
              QStringList{QStringLiteral("目标目录已存在！请重新指定源目录")});
    Form7->Button1->click();
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_EQ(Form1->Edit2->text(), QStringLiteral(" ？？？")) << "the refused name is gone";

    // As the warning says: the source is chosen again, here the very same one.
    Form1->Button5->click();
    ASSERT_TRUE(Form4->isVisible());
    QTreeWidget* tree = Form4->TreeView1;
    QTreeWidgetItem* proj = tree->topLevelItem(0)->child(0);
    ASSERT_EQ(proj->text(0), QStringLiteral("proj"));
    ClickAt(tree->viewport(), tree->visualItemRect(proj).center());
    Form4->BitBtn1->click();
    EXPECT_EQ(FunSub::TargetName, "proj-02");
    EXPECT_EQ(Form1->Edit2->text(), QStringLiteral("proj-02"));
    EXPECT_TRUE(Form1->Button1->isEnabled());

    OpenFilter();
    ConfirmFilter();
    Form7->Button2->click();
    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_EQ(ReadFile(m_out + FunSub::kSeparator + Rel({"proj-02", "c.jpg"})), "charlie");
    EXPECT_EQ(m_messages.shown.size(), 1u);
}

TEST_F(CopyRoadTest, EnterPressesTheFocusedButtonInEveryWindowAndNothingElse) {
    StartWithSource();
    // The refresh leaves the focus on "指定源目录".
    EXPECT_EQ(Form1->focusWidget(), Form1->Button5);
    PressKey(Form1->Button5, Qt::Key_Enter);
    ASSERT_TRUE(Form4->isVisible());
    // Enter elsewhere presses no button: no button is a hidden default.
    ASSERT_TRUE(TabTo(Form4->TreeView1));
    PressKey(Form4->TreeView1, Qt::Key_Return);
    EXPECT_TRUE(Form4->isVisible());

    // Each button, reached with Tab, and the window that holds the input once it is pressed.
    const std::pair<QPushButton*, QWidget*> road[] = {{Form4->BitBtn2, Form1},
                                                      {Form1->BitBtn1, FormAccept},
                                                      {FormAccept->BitBtn1, FormWorkSet},
                                                      {FormWorkSet->Button2, FormAccept},
                                                      {FormAccept->Button3, Form1},
                                                      {Form1->Button3, Form6},
                                                      {Form6->Button1, Form1},
                                                      {Form1->Button1, Form3},
                                                      {Form3->Button1, Form7},
                                                      {Form7->Button2, Form7},
                                                      {Form7->Button1, Form1}};
    int key = Qt::Key_Return;
    for (const auto& [button, next] : road) {
        ASSERT_TRUE(TabTo(button)) << button->text().toStdString();
        PressKey(button, key);
        WaitForBackground();
        EXPECT_TRUE(next->isVisible() && next->isEnabled()) << button->text().toStdString();
        key = key == Qt::Key_Return ? Qt::Key_Enter : Qt::Key_Return;
    }
    EXPECT_TRUE(fs::is_directory(Target())) << "the copy ran";
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

// The check runs as the dialog opens: what the copy will do, or in red the first problem
// that stops it, which keeps the start button disabled; the list button shows them all.
TEST_F(CopyRoadTest, TheCheckSaysWhatTheCopyWillDoOrWhatStopsIt) {
    StartWithSource();
    OpenFilter();
    ConfirmFilter();
    EXPECT_TRUE(
        Form7->Label3->text().startsWith(QStringLiteral("将复制 6 个文件（38 B），目标磁盘可用 ")))
        << Form7->Label3->text().toStdString();
    EXPECT_TRUE(Form7->Button2->isEnabled());
    EXPECT_FALSE(Form7->Button3->isVisible());
    SaveScreenshot(Form7, QStringLiteral("copying-check"));
    Form7->Button1->click();

    const std::string inside = m_tree.dir("work/proj/sub/out");
    WriteWorkIni(m_work, inside);
    StartWithSource();
    OpenFilter();
    ConfirmFilter();
    EXPECT_EQ(Form7->Label3->text(), QStringLiteral("输出目录位于源目录之内，不能复制"));
    EXPECT_EQ(Form7->Label3->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_FALSE(Form7->Button2->isEnabled());
    SaveScreenshot(Form7, QStringLiteral("copying-blocked"));
    Click(Form7->Button3);
    EXPECT_EQ(
        m_messages.texts("list"),
        QStringList{QStringLiteral("复制前检查|检查发现 1 个问题：|") + Form7->Label3->text()});
    Click(Form7->Button2);
    EXPECT_TRUE(fs::is_empty(inside));
}

// With the filter dialog's check box ticked, what cannot be copied (here a directory removed
// since the tree was read) is passed over, and the copy ends with the list of what it passed
// over, in a list the user can select from, instead of a plain success. Closed with Escape,
// the list gives the keys back to the copy dialog, where Escape goes back to the main window.
TEST_F(CopyRoadTest, KeepGoingListsWhatItPassedOverAtTheEnd) {
    StartWithSource();
    OpenFilter();
    Click(Form3->CheckBox1);
    ConfirmFilter();
    fs::remove_all(m_work + FunSub::kSeparator + Rel({"proj", "sub", "deep"}));

    QString listed;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* list = QApplication::activeModalWidget();
        if (!list)
            return;
        SaveScreenshot(list, QStringLiteral("copying-skipped"));
        auto* text = list->findChild<QPlainTextEdit*>();
        listed = text ? text->toPlainText() : QStringLiteral("no text");
        EXPECT_TRUE(text && text->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        QTest::keyClick(list->focusWidget() ? list->focusWidget() : list, Qt::Key_Escape);
    });
    poll.start(20);
    SetMessages(nullptr);  // the real list, as the user sees it
    Form7->Button2->click();
    SetMessages(&m_messages);

    EXPECT_EQ(listed, ToQ(Rel({"sub", "deep"})) + QStringLiteral("：找不到文件或目录"));
    EXPECT_EQ(Form7->windowTitle(), kDone);
    const QString line = Form7->Label4->text();
    EXPECT_TRUE(line.startsWith(QStringLiteral("5 / 6 个文件，31 / 38 B")) &&
                line.endsWith(QStringLiteral("，1 项未复制")) &&
                !line.contains(QStringLiteral("约剩")))
        << line.toStdString();
    SaveScreenshot(Form7, QStringLiteral("copying-skipped-end"));
    EXPECT_EQ(ReadFile(Target(Rel({"sub", "d.jpg"}))), "delta-jpg");
    EXPECT_TRUE(Form3->CheckBox1->isChecked());  // remembered for the next copy

    // The next key goes where the focus is once the window system has caught up.
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::focusWidget() == Form7->Button1; }, 1000));
    QTest::keyClick(Form7->Button1, Qt::Key_Escape);
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
}

// "放　　弃" and the close box stop a running copy after the file in progress: whole files
// only, and the target lists in the main window like any other. The line under the bar says
// that it stopped, with the average rate and no time left.
TEST_F(CopyRoadTest, StoppingACopyLeavesWholeFilesAndAListedTarget) {
    // Files enough that four copying threads on a busy machine are still seen running.
    for (int i = 0; i < 5000; ++i)
        m_tree.file("work/proj/many/n" + std::to_string(i) + ".dat", "x");
    StartWithSource();
    OpenFilter();
    ConfirmFilter();
    // A millisecond a file, so that even an idle machine is seen copying.
    FunSub::SetFileCopyHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    struct Unhook {
        ~Unhook() { FunSub::SetFileCopyHook(nullptr); }
    } unhook;

    // Stopped once the copy is well on its way, so that the line has a rate to show.
    bool observed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!Form7->Copying() || !Form7->Label4->text().contains(QStringLiteral("/s")) || observed)
            return;
        observed = true;
        EXPECT_FALSE(Form1->isEnabled());
        EXPECT_FALSE(Form7->Button2->isEnabled());
        // The live line: files and bytes done of the total, the rate, the time left (minutes
        // or hours where the machine is slow, as under an emulator).
        const QRegularExpression live(QStringLiteral(
            "^[0-9,]+ / 5,006 个文件，[0-9.]+ / [0-9.]+ (B|KB)，[0-9.]+ "
            "(B|KB|MB)/s，约剩 ([0-9]+ 秒|[0-9]+ 分 [0-9]+ 秒|[0-9]+ 小时 [0-9]+ 分)$"));
        EXPECT_TRUE(live.match(Form7->Label4->text()).hasMatch())
            << Form7->Label4->text().toStdString();
        QTest::keyClick(Form7, Qt::Key_Escape);  // Escape does not stop it
        EXPECT_TRUE(Form7->Copying());
        Click(Form7->Button1);  // "放　　弃" does
        EXPECT_TRUE(Form7->isVisible());
    });
    poll.start(5);
    Form7->Button2->click();
    poll.stop();

    ASSERT_TRUE(observed) << "the copy ended before it was seen running";
    EXPECT_EQ(Form7->windowTitle(), QStringLiteral("过滤复制已停止"));
    const QString line = Form7->Label4->text();
    EXPECT_TRUE(line.startsWith(QStringLiteral("过滤复制已停止：")) &&
                line.endsWith(QStringLiteral("B/s")))
        << line.toStdString();
    SaveScreenshot(Form7, QStringLiteral("copying-stopped"));
    EXPECT_LT(Form7->ProgressBar1->value(), 5006);
    for (const auto& e : fs::recursive_directory_iterator(Target())) {
        if (e.is_regular_file()) {
            EXPECT_GT(fs::file_size(e.path()), 0u) << e.path();
        }
    }
    EXPECT_TRUE(FunSub::TargetIncomplete(Target())) << "a stopped copy is not a whole one";
    EXPECT_EQ(Form7->Button1->text(), kBack);
    Click(Form7->Button1);
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_EQ(Form1->ComboBoxEx1->itemText(0), QStringLiteral("proj-01"));
    EXPECT_FALSE(Form1->Button1->isEnabled());
}

// Every file below `root` by its relative path, with where it lies on the disk and when it was
// last written: a file written again, in place or replaced, differs in one or the other.
std::map<std::string, std::pair<Platform::FileId, fs::file_time_type>> Files(
    const std::string& root) {
    std::map<std::string, std::pair<Platform::FileId, fs::file_time_type>> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        if (it->path().filename() == ".quillmere-incomplete") {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file())
            continue;
        Platform::FileId id;
        Platform::PathIdentity(it->path().string(), id);
        files[fs::relative(it->path(), root).generic_string()] = {id, it->last_write_time()};
    }
    return files;
}

// A copy stopped through "放　　弃" is finished from the main window: "继续复制" under the target's
// notice opens the copy dialog with the recorded source, and "过滤复制开始" copies what is missing
// and leaves every file that was whole where it was, unwritten. The target then holds what one
// uninterrupted copy makes, the file a user put there meanwhile too, which is listed; the notice
// and the button are gone.
TEST_F(CopyRoadTest, AStoppedCopyIsContinuedFromTheMainWindowKeepingWhatWasWhole) {
    // Files enough, each slowed down, that the copy is still seen running on a busy machine.
    for (int i = 0; i < 800; ++i)
        m_tree.file("work/proj/many/n" + std::to_string(i) + ".dat", std::string(i % 50 + 1, 'n'));
    StartWithSource();
    OpenFilter();
    ConfirmFilter();
    static std::atomic<int> started{0};
    started = 0;
    FunSub::SetFileCopyHook([] {
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    struct Unhook {
        ~Unhook() { FunSub::SetFileCopyHook(nullptr); }
    } unhook;
    // Stopped once some dozens of files are whole, many still to come.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (Form7->Copying() && started > 60)
            Click(Form7->Button1);
    });
    poll.start(5);
    Form7->Button2->click();
    poll.stop();
    FunSub::SetFileCopyHook(nullptr);
    ASSERT_TRUE(FunSub::TargetIncomplete(Target())) << "the copy ended before it was stopped";
    const auto before = Files(Target());
    ASSERT_GT(before.size(), 10u);
    m_tree.file("out/proj-01/mine.txt", "the user's own");

    Click(Form7->Button1);  // "返　　回"
    WaitForBackground();
    ASSERT_TRUE(Form1->isEnabled());
    ASSERT_TRUE(Form1->Button7->isVisible()) << Form1->Label9->text().toStdString();
    EXPECT_EQ(Form1->Button7->text(), QStringLiteral("继续复制"));
    EXPECT_TRUE(Form1->Label9->text().contains(QString::fromUtf8(FunSub::kIncompleteTargetText)));
    SaveScreenshot(Form1->Panel4, QStringLiteral("target-continue"));

    Click(Form1->Button7);
    ASSERT_TRUE(Form7->isVisible());
    EXPECT_FALSE(Form1->isEnabled());
    EXPECT_EQ(Form7->Label1->text(), QStringLiteral("from: proj"));
    EXPECT_EQ(Form7->Label2->text(), ToQ("to: " + Target()));
    ASSERT_TRUE(Form7->Button2->isEnabled()) << Form7->Label3->text().toStdString();
    Form7->Button2->click();
    WaitForBackground();

    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_FALSE(FunSub::TargetIncomplete(Target()));
    EXPECT_TRUE(Form7->Label4->text().contains(QStringLiteral("保留")))
        << Form7->Label4->text().toStdString();
    ASSERT_EQ(m_messages.count("list"), 1);
    EXPECT_TRUE(m_messages.texts("list").front().contains(QStringLiteral("mine.txt")));
    const auto after = Files(Target());
    for (const auto& [path, was] : before) {
        SCOPED_TRACE(path);
        ASSERT_EQ(after.count(path), 1u);
        EXPECT_TRUE(after.at(path) == was) << "written again";
    }
    // What one whole copy makes: every file of the source but the hidden directory's.
    std::map<std::string, std::string> expected{{"mine.txt", "the user's own"}};
    for (const auto& e : fs::recursive_directory_iterator(m_work + "/proj")) {
        const std::string rel = fs::relative(e.path(), m_work + "/proj").generic_string();
        if (e.is_regular_file() && !rel.starts_with(".hidden"))
            expected[rel] = ReadFile(e.path().string());
    }
    std::map<std::string, std::string> held;
    for (const auto& [path, where] : after) held[path] = ReadFile(Target() + "/" + path);
    EXPECT_EQ(held, expected);
    EXPECT_TRUE(fs::is_directory(Target("empty")));

    Click(Form7->Button1);
    WaitForBackground();
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_FALSE(Form1->Button7->isVisible());
}

// In the program a copy outlasts the moment the window waits for it: the click that starts
// it returns at once, Escape and the close box leave the window where it is, and the copy's
// end still comes when it ends: how it ended, and "返　　回" to go back. The close box stops
// it on the way.
TEST_F(CopyRoadTest, ACopyThatOutlastsTheMomentStillEndsInTheWindow) {
    // Files enough that the copy still runs when the close box comes, on a busy machine too.
    const struct {
        int moreFiles;
        bool closeBox;
        QString title;
    } rows[] = {{0, false, kDone}, {2000, true, QStringLiteral("过滤复制已停止")}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.closeBox ? "closed meanwhile" : "left to end");
        fs::remove_all(Target());
        for (int i = 0; i < row.moreFiles; ++i)
            m_tree.file("work/proj/many/n" + std::to_string(i) + ".dat", "x");
        StartWithSource();
        OpenFilter();
        ConfirmFilter();
        Background::SetMoment(std::chrono::milliseconds(0));
        if (row.closeBox)  // a millisecond a file: an idle machine too is still copying
            FunSub::SetFileCopyHook(
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        Form7->Button2->click();
        EXPECT_TRUE(Form7->Copying());
        QTest::keyClick(Form7, Qt::Key_Escape);
        if (row.closeBox)
            Form7->close();
        EXPECT_TRUE(Form7->isVisible());
        WaitForBackground();
        FunSub::SetFileCopyHook(nullptr);
        Background::SetMoment(std::chrono::seconds(60));

        EXPECT_FALSE(Form7->Copying());
        EXPECT_EQ(Form7->windowTitle(), row.title);
        EXPECT_EQ(Form7->Button1->text(), kBack);
        EXPECT_EQ(FunSub::TargetIncomplete(Target()), row.closeBox);
        EXPECT_EQ(m_messages.shown.size(), 0u);
        Click(Form7->Button1);
        EXPECT_TRUE(Form1->isEnabled());
    }
}

TEST_F(CopyRoadTest, TheBarStaysFullForFilesAddedSinceTheStatistics) {
    StartWithSource();
    m_tree.file("work/proj/late1.txt", "late");
    m_tree.file("work/proj/sub/late2.txt", "later");
    OpenFilter();
    ConfirmFilter();
    Form7->Button2->click();

    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_EQ(Form7->ProgressBar1->maximum(), 6);
    EXPECT_EQ(Form7->ProgressBar1->value(), 6);
    EXPECT_EQ(ReadFile(Target(Rel({"sub", "late2.txt"}))), "later");
}

TEST_F(CopyRoadTest, ATreeWithoutFilesShowsAnEmptyBarNotABusyOne) {
    m_tree.dir("work/bare/x/y");
    ASSERT_TRUE(Start());
    FunSub::SourceDir = m_work + FunSub::kSeparator + "bare";
    FunSub::SourceChanged = true;
    Form1->ShowAndActivate();
    OpenFilter();
    ConfirmFilter();
    Form7->Button2->click();

    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_EQ(Form7->Label1->text(), QStringLiteral("from: bare"));
    EXPECT_LT(Form7->ProgressBar1->minimum(), Form7->ProgressBar1->maximum());
    EXPECT_EQ(Form7->ProgressBar1->value(), Form7->ProgressBar1->minimum());
    EXPECT_TRUE(fs::is_directory(m_out + FunSub::kSeparator + Rel({"bare-01", "x", "y"})));
}

TEST_F(CopyRoadTest, TheModeSurvivesBetweenShowingsAndEachShowingListsTheCurrentSource) {
    ASSERT_TRUE(Start());
    ShowSourceTypes({{".a", 1, 10}, {".b", 2, 20}});
    OpenDialog(Form1, Form3);
    EXPECT_TRUE(Form3->RadioButton1->isChecked());
    EXPECT_EQ(FunSub::FilterMode, FunSub::FilterKind::Exclude);
    EXPECT_EQ(Form3->Label2->text(), kExcludeHint);
    ClickCheckBox(Form3->ListView1, Row(Form3->ListView1, ".b"));
    Click(Form3->RadioButton2);
    Form3->Button2->click();

    ShowSourceTypes({{".c", 4, 44}});
    FunSub::FilterMode = FunSub::FilterKind::Exclude;
    OpenDialog(Form1, Form3);
    EXPECT_TRUE(Form3->RadioButton2->isChecked());
    EXPECT_EQ(FunSub::FilterMode, FunSub::FilterKind::KeepOnly);
    EXPECT_EQ(Form3->Label2->text(), kKeepOnlyHint);
    EXPECT_EQ(Form3->Label3->text(), QStringLiteral("类型：1 文件数：4 总大小：44"));
    EXPECT_EQ(Form3->Label4->text(), kNoTicks);
    ASSERT_EQ(Form3->ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(Form3->ListView1->topLevelItem(0)->text(0), ".c");
    EXPECT_EQ(Form3->ListView1->topLevelItem(0)->checkState(0), Qt::Unchecked);

    Click(Form3->RadioButton1);
    EXPECT_EQ(FunSub::FilterMode, FunSub::FilterKind::Exclude);
    EXPECT_EQ(Form3->Label2->text(), kExcludeHint);
}

TEST_F(CopyRoadTest, ASourceWithoutFilesConfirmsAnEmptyList) {
    ASSERT_TRUE(Start());
    ShowSourceTypes({});
    FunSub::SelectedTypes = {".old"};
    OpenDialog(Form1, Form3);
    EXPECT_EQ(Form3->Label3->text(), QStringLiteral("类型：0 文件数：0 总大小：0"));
    EXPECT_EQ(Form3->ListView1->topLevelItemCount(), 0);
    ClickBesideRows(Form3->ListView1);
    EXPECT_EQ(Form3->Label4->text(), QStringLiteral("类型：0 文件数：0 总大小：0"));
    Form3->Button1->click();
    WaitForBackground();
    EXPECT_TRUE(FunSub::SelectedTypes.empty());
    EXPECT_TRUE(Form7->isVisible());
}

TEST_F(CopyRoadTest, TickedTotalsAreExactBeyondFourThousandMillionBytes) {
    ASSERT_TRUE(Start());
    ShowSourceTypes({{".iso", 2, 3000000000}, {".img", 1, 4000000000}, {".bad", 3, 0}});
    OpenDialog(Form1, Form3);
    EXPECT_EQ(Form3->Label3->text(), QStringLiteral("类型：3 文件数：6 总大小：7,000,000,000"));
    // In the type list's order: .bad, .img, .iso.

    // Ticks from the keyboard count only at the next mouse click.
    Form3->ListView1->topLevelItem(2)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(Form3->Label4->text(), kNoTicks);
    ClickCheckBox(Form3->ListView1, Form3->ListView1->topLevelItem(1));
    EXPECT_EQ(Form3->Label4->text(), QStringLiteral("类型：2 文件数：3 总大小：7,000,000,000"));

    Form3->ListView1->topLevelItem(0)->setCheckState(0, Qt::Checked);
    ClickBesideRows(Form3->ListView1);
    EXPECT_EQ(Form3->Label4->text(), QStringLiteral("类型：3 文件数：6 总大小：7,000,000,000"));

    for (int i = 0; i < 3; ++i) Form3->ListView1->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    ClickBesideRows(Form3->ListView1);
    EXPECT_EQ(Form3->Label4->text(), QStringLiteral("类型：0 文件数：0 总大小：0"));
}

TEST_F(CopyRoadTest, ACaptionEditedInPlaceIsWhatConfirmationStores) {
    ASSERT_TRUE(Start());
    // A key whose bytes the list cannot show travels beside its caption.
    ShowSourceTypes({{".jpg", 1, 10}, {".r\xff", 2, 20}});
    OpenDialog(Form1, Form3);
    QTreeWidget* list = Form3->ListView1;
    QTreeWidgetItem* jpg = list->topLevelItem(0);

    // The size column cannot be edited.
    list->editItem(jpg, 2);
    EXPECT_EQ(list->viewport()->findChild<QLineEdit*>(), nullptr);

    const QRect caption = list->visualRect(list->indexFromItem(jpg, 0));
    DoubleClickAt(list->viewport(), caption.center() + QPoint(20, 0));
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral(".jpeg"));
    PressKey(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the list takes the edited text once the key is handled
    EXPECT_EQ(jpg->text(0), ".jpeg");

    jpg->setCheckState(0, Qt::Checked);
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    Form3->Button1->click();
    WaitForBackground();
    EXPECT_EQ(FunSub::SelectedTypes, (std::vector<std::string>{".jpeg", ".r\xff"}));
}

TEST(CopyingTextTest, TheFromTextIsTheSourceBelowTheWorkingDirectoryOrElseTheWholePath) {
    const std::string sep(1, FunSub::kSeparator);
    const std::string work = sep + "work";
    EXPECT_EQ(CopyingText::FromText(work + sep + "photos" + sep + "2003", work),
              "from: photos" + sep + "2003");
    EXPECT_EQ(CopyingText::FromText(sep + "elsewhere" + sep + "x", work),
              "from: " + sep + "elsewhere" + sep + "x");
    EXPECT_EQ(CopyingText::FromText(sep + "workshop" + sep + "x", work),
              "from: " + sep + "workshop" + sep + "x");
    EXPECT_EQ(CopyingText::FromText(work + sep + "x", ""), "from: " + work + sep + "x");
}

// The check before the copy reads the whole source; "放　　弃" leaves it at once, with the
// main window taking input again while the check is still held in its reading.
TEST_F(CopyRoadTest, TheCheckIsLeftAtOnce) {
    StartWithSource();
    OpenFilter();
    HeldListings held;
    Form3->Button1->click();
    ASSERT_TRUE(held.Holding());
    EXPECT_EQ(Form7->Label3->text(), QStringLiteral("正在检查 …"));
    EXPECT_FALSE(Form7->Button2->isEnabled());
    Click(Form7->Button1);
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form1->isEnabled());
    EXPECT_TRUE(Form1->Button1->isEnabled()) << "nothing was copied: the copy can be offered again";
    held.Release();
    WaitForBackground();
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_EQ(m_messages.shown.size(), 0u);
    EXPECT_FALSE(fs::exists(Target()));
}

// Both check boxes of the filter dialog stay as set for the rest of the run: the dialog shows
// them so when it opens again. Verified, the copy ends by saying that every file read back
// matches its source.
TEST_F(CopyRoadTest, TheChecksAreRememberedAndAVerifiedCopySaysItMatches) {
    StartWithSource();
    OpenFilter();
    EXPECT_FALSE(Form3->CheckBox1->isChecked());
    EXPECT_FALSE(Form3->CheckBox2->isChecked());
    EXPECT_EQ(Form3->CheckBox2->text(), QStringLiteral("复制后校验（逐字节比较）"));
    for (QCheckBox* box : {Form3->CheckBox1, Form3->CheckBox2})
        ClickAt(box, QPoint(8, box->height() / 2));  // on the box in front of the text
    ConfirmFilter();
    Click(Form7->Button1);  // back before the copy
    OpenFilter();           // and the dialog opens again
    EXPECT_TRUE(Form3->CheckBox1->isChecked());
    EXPECT_TRUE(Form3->CheckBox2->isChecked());
    ConfirmFilter();
    Form7->Button2->click();

    EXPECT_EQ(Form7->windowTitle(), kDone);
    EXPECT_TRUE(Form7->Label4->text().endsWith(QStringLiteral("；校验通过：6 个文件")))
        << Form7->Label4->text().toStdString();
    EXPECT_EQ(m_messages.shown.size(), 0u);
    SaveScreenshot(Form7, QStringLiteral("copying-verified"));
}

namespace {

// A large file on little disk: `size` bytes with a block of data every `every` bytes, holes
// between them, each block its own letter.
void MakeSpreadFile(const std::string& path, std::int64_t size, std::int64_t every) {
    {
        std::ofstream out(FsPath(path), std::ios::binary);
        for (std::int64_t at = 0; at < size; at += every) {
            const std::string block(64 << 10, static_cast<char>('a' + at / every % 26));
            out.seekp(at);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    fs::resize_file(FsPath(path), static_cast<std::uintmax_t>(size));
}

// `size` bytes of `path` at `at`.
std::string ReadAt(const std::string& path, std::int64_t at, std::size_t size) {
    std::ifstream in(FsPath(path), std::ios::binary);
    in.seekg(at);
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// The sizes of the files this process holds open below `dir`, added up: how far the copy has
// written a large file that has no name yet. -1 where the system does not tell (no /proc; a
// Windows program under Wine sees Wine's own /proc, which names no Windows paths).
std::int64_t OpenFilesBelow(const std::string& dir) {
#ifdef _WIN32
    (void)dir;
    return -1;
#else
    std::error_code ec;
    if (!fs::is_directory("/proc/self/fd", ec))
        return -1;
    const std::string below = fs::canonical(FsPath(dir)).string() + "/";
    std::int64_t bytes = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind(below, 0) == 0 && fs::is_regular_file(fd.path(), ec))
            bytes += static_cast<std::int64_t>(fs::file_size(fd.path(), ec));
    }
    return bytes;
#endif
}

}  // namespace

// "暂　　停" holds a copy between two parts of a large file: within a moment the line says
// "已暂停：" with what is done and neither rate nor time left, the button reads "继　　续", and
// nothing more is written however long it stays so. "继　　续" finishes the file whole;
// "放　　弃" still stops it, after the file in progress as always.
TEST_F(CopyRoadTest, APausedCopyWritesNothingUntilItGoesOnOrIsStopped) {
#ifdef _WIN32
    constexpr std::int64_t kSize = std::int64_t{256} << 20;  // read whole there: less of it
#else
    constexpr std::int64_t kSize = std::int64_t{2} << 30;
#endif
    constexpr std::int64_t kEvery = std::int64_t{16} << 20;
    MakeSpreadFile(m_tree.path("work/proj/big.bin"), kSize, kEvery);
    const QRegularExpression started(
        QStringLiteral("^[0-9,]+ / [0-9,]+ 个文件，0*[1-9][0-9.]* / "));
    const QString kPause = QStringLiteral("暂　　停");
    const QString kResume = QStringLiteral("继　　续");
    const QRegularExpression paused(
        QStringLiteral("^已暂停：[0-9,]+ / [0-9,]+ 个文件，[0-9.]+ / [0-9.]+ (KB|MB|GB)$"));
    // Ten milliseconds a part, so that the file takes a few seconds on any machine.
    FunSub::SetChunkCopyHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
    struct Unhook {
        ~Unhook() {
            FunSub::SetChunkCopyHook(nullptr);
            FunSub::SetFileCopyHook(nullptr);
        }
    } unhook;
    for (const bool goOn : {true, false}) {
        SCOPED_TRACE(goOn ? "continued" : "stopped while paused");
        fs::remove_all(FsPath(Target()));
        // Stopped, files still to come after the large one make it a stopped copy, not a whole
        // one: many, a millisecond each, as the walk hands them out after it.
        if (!goOn) {
            for (int i = 0; i < 2000; ++i)
                m_tree.file("work/proj/many/n" + std::to_string(i) + ".dat", "x");
            FunSub::SetFileCopyHook(
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        }
        StartWithSource();
        OpenFilter();
        ConfirmFilter();
        EXPECT_FALSE(Form7->Button4->isVisible()) << "nothing runs before the start";

        int stage = 0;
        std::chrono::steady_clock::time_point pressed;
        QString line;
        std::int64_t written = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const auto now = std::chrono::steady_clock::now();
            // Once the large file is on its way: the small ones make no tenth of a megabyte.
            if (stage == 0 && started.match(Form7->Label4->text()).hasMatch()) {
                EXPECT_TRUE(Form7->Button4->isVisible());
                EXPECT_EQ(Form7->Button4->text(), kPause);
                Click(Form7->Button4);
                EXPECT_EQ(Form7->Button4->text(), kResume);
                pressed = now;
                stage = 1;
            } else if (stage == 1 && Form7->Label4->text().startsWith(QStringLiteral("已暂停："))) {
                EXPECT_LT(std::chrono::duration<double>(now - pressed).count(), 0.5);
                line = Form7->Label4->text();
                EXPECT_TRUE(paused.match(line).hasMatch()) << line.toStdString();
                written = OpenFilesBelow(Target());
                EXPECT_NE(written, 0) << "paused before the large file was begun";
                pressed = now;
                stage = 2;
            } else if (stage == 2 && now - pressed >= std::chrono::seconds(1)) {
                EXPECT_EQ(Form7->Label4->text(), line) << "the line moved while paused";
                EXPECT_EQ(OpenFilesBelow(Target()), written) << "written while paused";
                EXPECT_LT(written, kSize) << "paused after the file was whole";
                EXPECT_EQ(Form7->Button1->text(), kCancel);
                if (goOn)
                    SaveScreenshot(Form7, QStringLiteral("copy-paused"));
                Click(goOn ? Form7->Button4 : Form7->Button1);
                EXPECT_TRUE(Form7->Copying());
                stage = 3;
            }
        });
        poll.start(5);
        Form7->Button2->click();
        poll.stop();

        ASSERT_EQ(stage, 3) << "the copy ended before it was paused and let go";
        EXPECT_FALSE(Form7->Button4->isVisible());
        EXPECT_EQ(Form7->windowTitle(), goOn ? kDone : QStringLiteral("过滤复制已停止"));
        EXPECT_EQ(FunSub::TargetIncomplete(Target()), !goOn);
        // Whole in both: a stop lets the file in progress end.
        const std::string copy = Target("big.bin");
        ASSERT_EQ(static_cast<std::int64_t>(fs::file_size(FsPath(copy))), kSize);
        for (std::int64_t at = 0; at < kSize; at += kEvery / 2) {
            EXPECT_EQ(ReadAt(copy, at, 64 << 10),
                      ReadAt(m_tree.path("work/proj/big.bin"), at, 64 << 10))
                << "at " << at;
        }
        Click(Form7->Button1);
    }
}

// The check before the copy pauses too: "暂　　停" while it reads, the line says so once it
// rests (not while a directory is still being read), and "继　　续" lets it end as ever.
TEST_F(CopyRoadTest, TheCheckPausesOnceItsReadingRests) {
    StartWithSource();
    OpenFilter();
    HeldListings held;
    Form3->Button1->click();
    ASSERT_TRUE(held.Holding());
    ASSERT_TRUE(Form7->Button4->isVisible());
    Click(Form7->Button4);
    EXPECT_EQ(Form7->Button4->text(), QStringLiteral("继　　续"));
    QTest::qWait(100);
    EXPECT_EQ(Form7->Label3->text(), QStringLiteral("正在检查 …")) << "a directory is still read";
    held.Release();
    const QString paused = QStringLiteral("已暂停：正在检查 …");
    for (int i = 0; i < 500 && Form7->Label3->text() != paused; ++i) QTest::qWait(10);
    EXPECT_EQ(Form7->Label3->text(), paused);
    EXPECT_FALSE(Form7->Button2->isEnabled());
    Click(Form7->Button4);
    WaitForBackground();
    EXPECT_FALSE(Form7->Button4->isVisible());
    EXPECT_TRUE(Form7->Button2->isEnabled());
    EXPECT_TRUE(Form7->Label3->text().startsWith(QStringLiteral("将复制 6 个文件")))
        << Form7->Label3->text().toStdString();
}

// A copy that ran long enough tells how it ended through the desktop when the user is busy
// in another window; not while the dialog is the active window, and not after a short copy.
TEST_F(CopyRoadTest, ALongCopyEndingWhileTheUserIsElsewhereSaysSo) {
    const struct {
        const char* name;
        double after;  // seconds a copy must have run
        bool away;
        bool notified;
    } cases[] = {
        {"away from a copy that ran long enough", 0, true, true},
        {"at the dialog", 0, false, false},
        {"away from a short copy", 10, true, false},
    };
    StartWithSource();
    QWidget elsewhere;  // as far as the dialog can tell, another program's window
    elsewhere.resize(200, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FunSub::SourceDir = m_work + FunSub::kSeparator + "proj";
        FunSub::SourceChanged = true;  // chosen again: a fresh target name
        Form1->ShowAndActivate();
        OpenFilter();
        ConfirmFilter();
        QWidget* active = c.away ? &elsewhere : static_cast<QWidget*>(Form7);
        active->show();
        QApplication::setActiveWindow(active);
        ASSERT_EQ(QApplication::activeWindow(), active);
        TForm7::SetNoticeAfter(c.after);
        m_messages.shown.clear();
        Form7->Button2->click();
        EXPECT_EQ(Form7->windowTitle(), kDone);
        EXPECT_EQ(m_messages.texts(QStringLiteral("notify")),
                  c.notified ? QStringList{Form7->Label4->text()} : QStringList{});
        elsewhere.hide();
        Click(Form7->Button1);
    }
    TForm7::SetNoticeAfter(10);
}
