#include <QApplication>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "core/FunSub.h"
#include "ui/About.h"
#include "ui/Accept.h"
#include "ui/Copying.h"
#include "ui/Images.h"
#include "ui/Main.h"
#include "ui/SDir.h"
#include "ui/Sets.h"
#include "ui/Startup.h"
#include "ui/UiTestSupport.h"
#include "ui/WorkSet.h"

using StartupTest = UiTest;

TEST_F(StartupTest, CreatesAllSevenWindowsHiddenAndReadsWorkIniBesideTheProgram) {
    WriteWorkIni("/w ", "/o");
    ASSERT_TRUE(Start());
    for (QWidget* w : std::initializer_list<QWidget*>{Form1, FormWorkSet, Form3, Form4, Form6,
                                                      Form7, FormAccept}) {
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->isVisible());
    }
    EXPECT_EQ(FunSub::AppDir, appDir());
    EXPECT_EQ(FunSub::WorkDir, "/w ");
    EXPECT_EQ(FunSub::OutputDir, "/o");
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Quillmere V1.2 （2003-9-26）  "));
    EXPECT_FALSE(Form1->Button1->isEnabled());
    EXPECT_EQ(m_messages.shown.size(), 0u);
}

TEST_F(StartupTest, MainWindowStartsWithItsFixedTexts) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(FunSub::SourceChanged);
    EXPECT_EQ(Form1->Edit2->text(), QStringLiteral(" ？？？"));
    EXPECT_EQ(Form1->Edit3->text(), QStringLiteral(" ？？？"));
    EXPECT_EQ(Form1->Label4->text(),
              QStringLiteral("浏览对比在当前工作目录下(过滤复制生成)的目标目录："));
    EXPECT_EQ(Form1->Label5->text(), QStringLiteral("将要过滤复制的源目录为当前工作目录下的："));
    EXPECT_EQ(Form1->Label6->text(),
              QStringLiteral("过滤复制生成的目标目录将放在当前输出目录下的："));
    EXPECT_EQ(Form1->BitBtn1->text(), QStringLiteral("改变工作目录\n或输出目录"));
    // The status bar has its one panel, empty until a tree or the combo box is clicked.
    EXPECT_EQ(Form1->StatusText(), QString());
    EXPECT_EQ(Form1->StatusBar1->findChildren<QLabel*>().size(), 1);
    EXPECT_EQ(Form1->ComboBoxEx1->currentIndex(), -1);
    EXPECT_EQ(Form1->ComboBoxEx1->currentText(), QStringLiteral("当前输出目录下无子目录 ！"));
    EXPECT_EQ(Form1->ComboBoxEx1->maxVisibleItems(), 8);
    // No work.ini: both directories empty, and nothing is reported until the first showing.
    EXPECT_EQ(FunSub::WorkDir, "");
    EXPECT_EQ(FunSub::OutputDir, "");
}

TEST(ImagesTest, SharedImagesAndTheProgramIconAreBuiltIn) {
    for (int i : {kClosedFolder, kOpenFolder, kDrive, kDriveSelected}) {
        EXPECT_EQ(ImageList1(i).availableSizes(), QList<QSize>{QSize(16, 16)}) << i;
    }
    const QIcon node = NodeIcon(kClosedFolder, kOpenFolder);
    EXPECT_EQ(node.pixmap(16, QIcon::Selected).toImage(),
              ImageList1(kOpenFolder).pixmap(16).toImage());
    EXPECT_EQ(node.pixmap(16, QIcon::Normal).toImage(),
              ImageList1(kClosedFolder).pixmap(16).toImage());
    const QList<QSize> sizes = ProgramIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(256, 256)));
}

TEST_F(StartupTest, ProgramInTheRootWarnsAndEndsWithoutAnyWindow) {
#ifdef _WIN32
    const std::string root = "C:\\";
#else
    const std::string root = "/";
#endif
    EXPECT_FALSE(CreateWindows(root + "quillmere"));
    EXPECT_EQ(m_messages.texts("warn"), QStringList{QStringLiteral("该软件不能在根目录下运行！")});
    EXPECT_EQ(m_messages.shown.size(), 1u);
    for (QWidget* w : std::initializer_list<QWidget*>{Form1, FormWorkSet, Form3, Form4, Form6,
                                                      Form7, FormAccept}) {
        EXPECT_EQ(w, nullptr);
    }
    EXPECT_EQ(FunSub::AppDir, root);
}

TEST_F(StartupTest, UnreadableWorkIniIsReportedAndStartUpGoesOn) {
#ifdef _WIN32
    GTEST_SKIP() << "no file that opens but cannot be read";
#endif
    // Reading the process's own memory from offset 0 fails with an I/O error, also for root.
    std::ifstream mem("/proc/self/mem");
    if (!mem || mem.get() != EOF)
        GTEST_SKIP() << "no failing file to read";
    std::filesystem::create_symlink("/proc/self/mem", m_tree.path("app/work.ini"));
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_messages.texts("error"), QStringList{"I/O error " + QString::number(EIO) + "."});
    ASSERT_NE(FormAccept, nullptr);
    EXPECT_EQ(FunSub::WorkDir, "");
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("Quillmere V1.2 （2003-9-26）  "));
}
