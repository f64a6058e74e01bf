#pragma once

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DirTree.h"
#include "core/TreeMap.h"
#include "core/TreeScan.h"
#include "core/TreeStats.h"
#include "ui/Background.h"
#include "ui/MainWindowPort.h"
#include "ui/TreeMapView.h"

// The main window: the working and output directories on top, the chosen source on the
// left and one of the targets generated from it on the right, each with its tree, the file
// list of a clicked directory, the type statistics and the directory levels. Every time the
// chain hands control back to it, it checks the two directories again, rebuilds the target
// side from the first target and, when a new source was chosen, the source side.
class TForm1 : public MainWindowPort {
    Q_OBJECT
public:
    // `executablePath` is where the program runs from; it decides where work.ini lies.
    explicit TForm1(const std::string& executablePath);

    // False when start-up found the program in a drive root and it must end at once.
    bool CanRun() const { return m_canRun; }

    void FormActivate() override;
    void FormClose() override;

    void TreeView1Click();
    void TreeView2Click();
    void ComboBoxEx1Click(int index);
    // Sets the hour-glass cursor and opens the source dialog, which restores the cursor
    // when it is activated.
    void Button5Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void BitBtn1Click();
    // "对比源目录": compares the source with the target on show.
    void Button6Click();
    // "继续复制": opens the copy dialog to finish the unfinished copy the target side shows.
    void Button7Click();

    // The subdirectories of WorkDir that can be chosen as sources.
    int CountWorkSubdirs();
    // Fills ComboBoxEx1 and OutputSubdirs with the subdirectories of OutputDir.
    int ListOutputSubdirs();
    // Reads the target tree of `path` and its statistics on a worker, then shows them.
    void ShowTargetTree(const std::string& path);

    // What the dialogs ask of it (MainWindowPort).
    const FunSub::DirTree& SourceTree() const override { return m_sourceTree; }
    const FunSub::TreeStats& SourceStats() const override { return m_sourceStats; }
    const std::vector<std::vector<Platform::Entry>>& SourceFiles() const override {
        return m_sourceFiles;
    }
    void SourceCopied() override;
    void DropTargetName() override;
    void ShowChosenSource(const std::string& path) override;
    std::string ShownTarget() const override;
    void ShowDirectory(Side side, const std::string& root, const std::string& relativeDir) override;
    void ShowFilterOnMap(
        std::function<bool(int node, const Platform::Entry& file)> passes) override;

    // Shows `stats` as the source's statistics, in its type list and its level list.
    void ShowSourceStats(FunSub::TreeStats stats);
    const FunSub::DirTree& TargetTree() const { return m_targetTree; }
    // True while one of the two sides is being read.
    bool Reading() const { return m_sourceReading.Running() || m_targetReading.Running(); }
    // The full path of each ComboBoxEx1 item, at the item's position.
    const std::vector<std::string>& OutputSubdirs() const { return m_outputSubdirs; }
    QString StatusText() const;

    // The tree item's role that holds the index of its node in the tree model.
    static constexpr int kNodeIndexRole = Qt::UserRole;

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;  // WorkDir
    QLabel* Label7 = nullptr;
    QLineEdit* Edit4 = nullptr;  // OutputDir
    QPushButton* BitBtn1 = nullptr;

    QSplitter* Splitter1 = nullptr;
    QWidget* Panel3 = nullptr;  // the source side
    QSplitter* Splitter2 = nullptr;
    QFrame* Panel5 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit3 = nullptr;  // the chosen source, relative to WorkDir
    QPushButton* Button5 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QTreeWidget* ListView1 = nullptr;     // files of the clicked source directory
    QTreeWidget* ListView3 = nullptr;     // the source's type statistics
    QListWidget* ListBox1 = nullptr;      // the source's directory levels
    QTreeWidget* DirNameList1 = nullptr;  // the source's directories by name
    TreeMapView* Map1 = nullptr;          // the source's files drawn by size and type
    QLabel* Label2 = nullptr;
    QLabel* Label8 = nullptr;  // what the source's reading found: unreadable directories
    QTreeWidget* TreeView1 = nullptr;

    QWidget* Panel4 = nullptr;  // the target side
    QSplitter* Splitter3 = nullptr;
    QFrame* Panel8 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* ComboBoxEx1 = nullptr;
    QPushButton* Button6 = nullptr;  // "对比源目录"
    QTabWidget* PageControl2 = nullptr;
    QTreeWidget* ListView2 = nullptr;
    QTreeWidget* ListView4 = nullptr;
    QListWidget* ListBox2 = nullptr;
    QTreeWidget* DirNameList2 = nullptr;
    TreeMapView* Map2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label9 = nullptr;  // the same for the target, and a target that never finished
    // "继续复制", under the notice, while the target shown is unfinished and can be continued.
    QPushButton* Button7 = nullptr;
    QTreeWidget* TreeView2 = nullptr;

    QFrame* Panel2 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Edit2 = nullptr;  // TargetName
    QWidget* Panel11 = nullptr;
    QPushButton* Button1 = nullptr;  // "过滤复制"
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

private:
    void createWidgets();
    QWidget* createTopBand();
    QWidget* createSide(Side side);
    QWidget* createBottomBand();
    void createLayout();
    void connectSignals();
    void FormCreate(const std::string& executablePath);

    // Refresh steps: the question for unusable directories (false ends the refresh), the
    // target side and the rebuild of a newly chosen source.
    bool DirectoriesUsable();
    void AskAboutDirectories(const std::string& message);
    void RefreshTargetSide();
    void RebuildSourceSide();

    void ShowClickedDirectory(QTreeWidget* view, const FunSub::DirTree& tree,
                              QTreeWidget* fileList);
    void ListDirFiles(const std::string& dir, QTreeWidget* fileList);
    // Selects the directory of `node` in the tree of `side` and lists its files, as a click on
    // it does, leaving the page on show as it is.
    void SelectNode(Side side, int node);

    // One side's reading: the tree, its statistics and whether it is an unfinished copy.
    struct SideReading {
        std::string path;
        FunSub::ScannedTree scanned;
        FunSub::TreeStats stats;
        FunSub::TreeMapModel map;
        bool incomplete = false;
        // Unfinished, and its record can be read and its source is there.
        bool continuable = false;
        std::string continueRefusal;         // why an unfinished target cannot be continued
        std::atomic<std::int64_t> files{0};  // read so far
    };
    void ReadSide(Background& reader, std::shared_ptr<SideReading>& current,
                  const std::string& path, std::function<void(SideReading&)> show);
    void ShowReading();
    void ShowStats(const FunSub::TreeStats& stats, QTreeWidget* typeList, QListWidget* levelList,
                   QTreeWidget* dirNameList);
    void ShowNotice(QLabel* notice, const SideReading& read);
    // Offers "继续复制" for the target `read` read, or says why it cannot be continued.
    void ShowContinue(const SideReading& read);

    FunSub::DirTree m_sourceTree;
    FunSub::TreeStats m_sourceStats;
    std::vector<std::vector<Platform::Entry>> m_sourceFiles;
    FunSub::TreeMapModel m_sourceMap;
    FunSub::DirTree m_targetTree;
    std::vector<std::vector<Platform::Entry>> m_targetFiles;
    FunSub::TreeMapModel m_targetMap;
    std::vector<std::string> m_outputSubdirs;
    QLabel* m_statusPanel = nullptr;
    QTimer m_readingPump;
    Background m_sourceReading;
    Background m_targetReading;
    std::shared_ptr<SideReading> m_sourceRead;
    std::shared_ptr<SideReading> m_targetRead;
    std::string m_sourceBeingRead;
    bool m_canRun = true;
};

extern TForm1* Form1;

// Replaces the rows of a report list with `rows`, in their order, in one insertion, and
// widens any column that would cut one of their texts.
void FillReportList(QTreeWidget* list, const std::vector<FunSub::ListRow>& rows);
