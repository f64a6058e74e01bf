#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <cstdint>

#include "ui/ChainWindow.h"
#include "ui/RulesPanel.h"
#include "ui/TreeMapView.h"

// The filter settings dialog: the source's types with check boxes, the totals of the whole
// source and of the ticked types, and the choice between leaving the ticked types out and
// keeping only them; beside them the rules, which leave out in either mode, and what the
// rules take out and the copy takes.
class TForm3 : public ChainWindow {
    Q_OBJECT
public:
    TForm3();

    void FormActivate() override;
    void FormClose() override;

    void RadioButton1Click();
    void RadioButton2Click();
    void ListView1Click();
    void Button1Click();
    void Button2Click();
    // "上次的选择": the types and the mode last confirmed for this source.
    void Button3Click();

    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RadioButton1 = nullptr;  // leave the ticked types out
    QRadioButton* RadioButton2 = nullptr;  // keep only the ticked types
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;     // the instruction that follows the mode
    QLabel* Label3 = nullptr;     // totals of the whole source
    QLabel* Label4 = nullptr;     // totals of the ticked types
    ShareBar* KeptBar = nullptr;  // the source's bytes: what the copy takes, what is left out
    QTreeWidget* ListView1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;  // go on past what cannot be copied, list it at the end
    QCheckBox* CheckBox2 = nullptr;  // read the copy back and compare it with its source
    QPushButton* Button1 = nullptr;  // "确　定"
    QPushButton* Button2 = nullptr;  // "放　弃"
    QPushButton* Button3 = nullptr;  // "上次的选择"
    RulesPanel* Rules = nullptr;
    QLabel* RuleEffect = nullptr;  // "规则滤除：N 个目录，N 个文件，N B"
    QLabel* CopyEffect = nullptr;  // "将复制：N 个文件，N B", types and rules together

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool EscapeCloses() const override { return true; }
    // However the dialog goes, the main window's map no longer shows what it leaves out.
    void hideEvent(QHideEvent* event) override;

private:
    void createWidgets();
    void createList();
    void createLayout();
    void connectSignals();

    void fillSourceTotals();
    void fillTypeList();
    void applyMode();
    // The keys of the ticked types, as the copy takes them.
    std::vector<std::string> tickedTypes() const;
    // The effect lines for the ticks and rules as they stand; "确　定" waits for usable rules.
    void showEffect();
};

extern TForm3* Form3;
