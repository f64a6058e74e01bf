#pragma once

#include "ui/ChainWindow.h"

// The About window dialog.
class TForm6 : public ChainWindow {
    Q_OBJECT
public:
    TForm6();
    void FormActivate() override;
    void FormClose() override;
};

extern TForm6* Form6;
