#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/ChainWindow.h"

// The work and output directories: shown under a hint, changed through the picker, and
// stored in work.ini when confirmed.
class TFormAccept : public ChainWindow {
    Q_OBJECT
public:
    TFormAccept();

    void FormActivate() override;
    void FormClose() override;

    void BitBtn1Click();
    void BitBtn2Click();
    void Button2Click();
    void Button3Click();

    QLabel* Label1 = nullptr;  // the hint
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;  // WorkDir
    QPushButton* BitBtn1 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit2 = nullptr;  // OutputDir
    QPushButton* BitBtn2 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button2 = nullptr;  // confirm
    QPushButton* Button3 = nullptr;  // cancel

private:
    void createWidgets();
    void createLayout();
    void connectSignals();
    void FormCreate();
    void OpenPicker(const char* target);
};

extern TFormAccept* FormAccept;
