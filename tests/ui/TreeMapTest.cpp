#include <QApplication>
#include <QMouseEvent>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/FunSub.h"
#include "ui/Main.h"
#include "ui/Sets.h"
#include "ui/TreeMapView.h"
#include "ui/UiTestSupport.h"

namespace {

QTreeWidgetItem* Row(QTreeWidget* list, const QString& caption) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == caption)
            return list->topLevelItem(i);
    }
    return nullptr;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The index of the item of `map` that draws `path`: a file, or the frame of a directory.
int ItemOf(TreeMapView* map, const std::string& path) {
    const auto& items = map->Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (map->Describe(static_cast<int>(i)).startsWith(Q(path) + QStringLiteral("　")))
            return static_cast<int>(i);
    }
    return -1;
}

QPoint Centre(const FunSub::MapItem& item) {
    return QPoint(static_cast<int>(item.rect.x + item.rect.w / 2),
                  static_cast<int>(item.rect.y + item.rect.h / 2));
}

// The colour drawn at `at`, as the user sees it.
QColor Drawn(TreeMapView* map, QPoint at) {
    return map->grab().toImage().pixelColor(at);
}

// The names of the files the map draws grey.
QStringList GreyedNames(TreeMapView* map) {
    QStringList names;
    const auto& items = map->Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (map->Greyed(items[i]))
            names << map->Describe(static_cast<int>(i))
                         .section(QStringLiteral("　"), 0, 0)
                         .section(QChar(FunSub::kSeparator), -1);
    }
    names.sort();
    return names;
}

}  // namespace

class TreeMapTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        m_tree.file("work/proj/a.txt", "alpha");
        m_tree.file("work/proj/b.TXT", "bravo!");
        m_tree.file("work/proj/c.jpg", "charlie");
        m_tree.file("work/proj/sub/d.jpg", "delta-jpg");
        m_tree.file("work/proj/sub/e", "echo");
        m_tree.file("out/old-01/x.bin", "xray");
        WriteWorkIni(m_tree.path("work"), m_tree.path("out"));
    }

    void StartWithSource() {
        ASSERT_TRUE(Start());
        FunSub::SourceDir = m_tree.path("work/proj");
        FunSub::SourceChanged = true;
        Form1->ShowAndActivate();
        Form1->resize(1000, 700);
        Form1->PageControl1->setCurrentIndex(4);
        Form1->PageControl2->setCurrentIndex(4);
        QApplication::processEvents();
    }
};

// Each side's map draws a rectangle per file in its type's colour, as the type list's swatch
// shows it; empty files and links are not drawn. The mouse over a file tells its path, size and
// type; a click lists its directory as a click in the tree does; a double click on a frame
// zooms into its directory and Backspace goes back up; a resize lays out again from what was
// read, with the disk gone.
TEST_F(TreeMapTest, TheMapShowsEachFileAndAClickListsItsDirectory) {
    m_tree.file("work/proj/sub/disk.iso", std::string(4000, 'i'));
    m_tree.file("work/proj/nothing.txt", "");
#ifndef _WIN32
    ASSERT_EQ(symlink("a.txt", m_tree.path("work/proj/link.txt").c_str()), 0);
#endif
    StartWithSource();
    for (QTabWidget* pages : {Form1->PageControl1, Form1->PageControl2})
        EXPECT_EQ(pages->tabText(4), QStringLiteral("图示"));
    TreeMapView* map = Form1->Map1;
    int files = 0;
    for (const FunSub::MapItem& item : map->Items()) files += item.file >= 0;
    EXPECT_EQ(files, 6);
    EXPECT_LT(ItemOf(map, m_tree.path("work/proj/nothing.txt")), 0);
    EXPECT_LT(ItemOf(map, m_tree.path("work/proj/link.txt")), 0);
    EXPECT_GE(ItemOf(Form1->Map2, m_tree.path("out/old-01/x.bin")), 0);

    const std::string iso = m_tree.path("work/proj/sub/disk.iso");
    const int at = ItemOf(map, iso);
    ASSERT_GE(at, 0);
    const QPoint centre = Centre(map->Items()[static_cast<std::size_t>(at)]);
    EXPECT_EQ(Drawn(map, centre).rgb(), TypeColour(".iso").rgb());
    EXPECT_EQ(
        Row(Form1->ListView3, QStringLiteral(".iso"))->data(0, Qt::DecorationRole).value<QColor>(),
        TypeColour(".iso"));
    QMouseEvent move(QEvent::MouseMove, QPointF(centre), map->mapToGlobal(QPointF(centre)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(map, &move);
    EXPECT_EQ(Form1->StatusBar1->currentMessage(), Q(iso) + QStringLiteral("　3.9 KB　类型：.iso"));

    ClickAt(map, centre);
    ASSERT_NE(Form1->TreeView1->currentItem(), nullptr);
    EXPECT_EQ(Form1->TreeView1->currentItem()->text(0), QStringLiteral("sub"));
    EXPECT_EQ(Form1->ListView1->topLevelItem(0)->text(0), QStringLiteral(" 合计:3"));
    EXPECT_EQ(Form1->StatusText(), Q("当前路径：" + m_tree.path("work/proj/sub")));
    EXPECT_EQ(Form1->PageControl1->currentIndex(), 4);

    const int sub = ItemOf(map, m_tree.path("work/proj/sub"));
    ASSERT_GE(sub, 0);
    const FunSub::MapRect frame = map->Items()[static_cast<std::size_t>(sub)].rect;
    DoubleClickAt(map, QPoint(static_cast<int>(frame.x) + 1, static_cast<int>(frame.y) + 1));
    EXPECT_EQ(map->Root(), map->Items().front().node);
    EXPECT_EQ(ItemOf(map, m_tree.path("work/proj/sub")), 0);
    EXPECT_LT(ItemOf(map, m_tree.path("work/proj/a.txt")), 0);
    PressKey(map, Qt::Key_Backspace);
    EXPECT_EQ(map->Root(), 0);
    EXPECT_TRUE(SaveScreenshot(Form1, QStringLiteral("main-window-map")));

    const FunSub::MapRect before = map->Items()[static_cast<std::size_t>(ItemOf(map, iso))].rect;
    std::filesystem::remove_all(m_tree.path("work/proj"));
    Form1->resize(1200, 800);
    QApplication::processEvents();
    ASSERT_GE(ItemOf(map, iso), 0);
    EXPECT_GT(map->Items()[static_cast<std::size_t>(ItemOf(map, iso))].rect.area(), before.area());
}

// While the filter dialog is open, its bar splits the source's bytes into what the copy takes
// and what it leaves out, and the source's map greys what is left out, after every change:
// a tick by the keyboard, the mode. Closing the dialog greys nothing again.
TEST_F(TreeMapTest, TheFilterDialogsBarAndTheSourcesMapFollowEveryTick) {
    StartWithSource();
    Form1->Button1->click();
    ASSERT_TRUE(Form3->isVisible());
    TreeMapView* map = Form1->Map1;
    EXPECT_EQ(Form3->KeptBar->text(), QStringLiteral("将复制 100 %（31 B），滤除 0 %"));
    EXPECT_EQ(GreyedNames(map), QStringList());
    QTreeWidgetItem* jpg = Row(Form3->ListView1, QStringLiteral(".jpg"));
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(jpg->data(0, Qt::DecorationRole).value<QColor>(), TypeColour(".jpg"));

    struct Step {
        const char* what;
        std::function<void()> act;
        QString bar;
        QStringList greyed;
    };
    const Step steps[] = {
        {"a tick with Space",
         [&] {
             Form3->ListView1->setCurrentItem(jpg);
             PressKey(Form3->ListView1, Qt::Key_Space);
         },
         QStringLiteral("将复制 48 %（15 B），滤除 52 %"),
         {"c.jpg", "d.jpg"}},
        {"keep only the ticked",
         [&] { ClickAt(Form3->RadioButton2, Form3->RadioButton2->rect().center()); },
         QStringLiteral("将复制 52 %（16 B），滤除 48 %"),
         {"a.txt", "b.TXT", "e"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(Form3->KeptBar->text(), step.bar);
        EXPECT_EQ(GreyedNames(map), step.greyed);
    }
    const int a = ItemOf(map, m_tree.path("work/proj/a.txt"));
    ASSERT_GE(a, 0);
    EXPECT_EQ(Drawn(map, Centre(map->Items()[static_cast<std::size_t>(a)])).rgb(),
              QColor(214, 214, 214).rgb());
    EXPECT_TRUE(SaveScreenshot(Form3, QStringLiteral("sets-bar")));
    EXPECT_TRUE(SaveScreenshot(Form1, QStringLiteral("main-window-map-greyed")));

    Form3->Button2->click();
    EXPECT_EQ(GreyedNames(map), QStringList());
}
