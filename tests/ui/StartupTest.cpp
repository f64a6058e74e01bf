#include <QApplication>

#include "core/FunSub.h"
#include "ui/About.h"
#include "ui/Accept.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/SDir.h"
#include "ui/Sets.h"
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
}
