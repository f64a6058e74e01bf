#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QWidget>
#include <vector>

#include "core/FilterRules.h"
#include "core/TreeStats.h"

// The filter dialog's rules beside its types: the source's directory names to tick, name
// patterns separated by ";", a size limit, and git's ignore rules. What it shows is what Rules()
// gives; every change, by mouse or by keyboard, is told by `changed`.
class RulesPanel : public QWidget {
    Q_OBJECT
public:
    explicit RulesPanel(QWidget* parent = nullptr);

    // One row per directory name of the source, none ticked; the fields emptied.
    void Fill(const std::vector<FunSub::DirNameStat>& names);
    // Ticks and fills what `rules` holds; a name the source no longer has gets a row of its
    // own, so that it is kept and seen.
    void Show(const FunSub::FilterRules& rules);
    // The rules as they stand; only those that can be used.
    FunSub::FilterRules Rules() const;
    // Why the rules cannot be used as they stand ("名称模式 “[a” 不能使用：未闭合的 ["); empty
    // when they can.
    QString Problem() const;

    QTreeWidget* DirList = nullptr;  // the directory names with check boxes
    QLineEdit* Patterns = nullptr;   // name patterns, separated by ";"
    QCheckBox* SizeBox = nullptr;    // "大于"
    QLineEdit* SizeField = nullptr;  // the limit in MB
    QCheckBox* GitBox = nullptr;     // leave out what git ignores
    QLabel* ProblemLabel = nullptr;  // what cannot be used, in red

signals:
    void changed();

private:
    QTreeWidgetItem* AddRow(const FunSub::DirNameStat& name);
    std::vector<std::string> PatternList() const;
    // The size field in bytes (it counts megabytes); -1 when it holds no size.
    std::int64_t SizeLimit() const;
    void Changed();
};
