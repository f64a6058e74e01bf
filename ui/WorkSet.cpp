#include "ui/WorkSet.h"

#include "ui/Main.h"

TFormWorkSet* FormWorkSet = nullptr;

TFormWorkSet::TFormWorkSet() : ChainWindow(Qt::Dialog) {}

void TFormWorkSet::FormActivate() {}

void TFormWorkSet::FormClose() { ReturnTo(this, Form1); }
