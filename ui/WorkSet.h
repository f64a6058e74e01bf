#pragma once

#include "ui/ChainWindow.h"

// The drive and directory picker dialog.
class TFormWorkSet : public ChainWindow {
    Q_OBJECT
public:
    TFormWorkSet();
    void FormActivate() override;
    void FormClose() override;
};

extern TFormWorkSet* FormWorkSet;
