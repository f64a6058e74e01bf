#pragma once

#include "ui/ChainWindow.h"

// The work and output directories dialog.
class TFormAccept : public ChainWindow {
    Q_OBJECT
public:
    TFormAccept();
    void FormActivate() override;
    void FormClose() override;
};

extern TFormAccept* FormAccept;
