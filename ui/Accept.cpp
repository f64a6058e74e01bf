#include "ui/Accept.h"

#include "ui/Main.h"

TFormAccept* FormAccept = nullptr;

TFormAccept::TFormAccept() : ChainWindow(Qt::Dialog) {}

void TFormAccept::FormActivate() {}

void TFormAccept::FormClose() { ReturnTo(this, Form1); }
