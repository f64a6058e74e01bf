#pragma once

#include "ui/ChainWindow.h"

// The filter settings dialog.
class TForm3 : public ChainWindow {
    Q_OBJECT
public:
    TForm3();
    void FormActivate() override;
    void FormClose() override;
};

extern TForm3* Form3;
