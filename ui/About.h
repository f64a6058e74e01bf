#pragma once

#include <QLabel>
#include <QPushButton>

#include "ui/ChainWindow.h"

// The About window: the program's name and version and two links, the home page and the
// e-mail address, that light up under the pointer.
class TForm6 : public ChainWindow {
    Q_OBJECT
public:
    TForm6();

    void FormClose() override;

    void Label1MouseMove();
    void Label5MouseMove();
    void FormMouseMove();
    void Label1Click();
    void Label5Click();
    void Button1Click();

    QLabel* Image1 = nullptr;  // the program's icon
    QLabel* Label2 = nullptr;  // "Quillmere"
    QLabel* Label6 = nullptr;  // the version
    QLabel* Image2 = nullptr;  // a small decoration under the title
    QLabel* Label3 = nullptr;  // "个人主页："
    QLabel* Label5 = nullptr;  // the home page address
    QLabel* Label4 = nullptr;  // "E-mail："
    QLabel* Label1 = nullptr;  // the e-mail address
    QPushButton* Button1 = nullptr;

    static QString HomePage();
    static QString MailAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void createWidgets();
    void createLayout();
    void connectSignals();
};

extern TForm6* Form6;

// Opens guide.htm (beside the executable, or the installed one) with the user's default
// program; when there is no such file nothing happens.
void OpenInstructions();
