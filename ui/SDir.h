#pragma once

#include "ui/ChainWindow.h"

// The source directory dialog.
class TForm4 : public ChainWindow {
    Q_OBJECT
public:
    TForm4();
    void FormActivate() override;
    void FormClose() override;
};

extern TForm4* Form4;
