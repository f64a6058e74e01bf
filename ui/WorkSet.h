#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <optional>
#include <string>
#include <vector>

#include "core/DrivePicker.h"
#include "ui/ChainWindow.h"

// The drive and directory picker: a tree of the local disks whose levels are read only when
// they are first opened. Confirming sets WorkDir or OutputDir, as PickerTarget says.
class TFormWorkSet : public ChainWindow {
    Q_OBJECT
public:
    TFormWorkSet();

    void FormActivate() override;
    void FormClose() override;

    void TreeView1Click();
    void TreeView1Expanding(QTreeWidgetItem* node);
    void Button1Click();
    void Button2Click();

    // The full path a node stands for, as the file system names it.
    static std::string PickerNodePath(const QTreeWidgetItem* node);

    QTreeWidget* TreeView1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;      // the directory chosen so far
    QPushButton* Button1 = nullptr;  // confirm
    QPushButton* Button2 = nullptr;  // cancel

private:
    void createWidgets();
    void createLayout();
    void connectSignals();
    bool PickingWorkDir() const;
    void ShowChosen(const std::string& path);
    void AddDriveNodes();
    void Leave();

    // The exact bytes of the chosen path; Edit1 only shows them.
    std::string m_chosen;
    // Read on the first activation of the run and kept.
    std::optional<std::vector<FunSub::DriveItem>> m_driveItems;
};

extern TFormWorkSet* FormWorkSet;
