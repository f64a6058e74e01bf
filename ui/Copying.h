#pragma once

#include "ui/ChainWindow.h"

// The copy progress dialog.
class TForm7 : public ChainWindow {
    Q_OBJECT
public:
    TForm7();
    void FormActivate() override;
    void FormClose() override;
};

extern TForm7* Form7;
