#include "ui/Copying.h"

#include "ui/Main.h"

TForm7* Form7 = nullptr;

TForm7::TForm7() : ChainWindow(Qt::Dialog) {}

void TForm7::FormActivate() {}

void TForm7::FormClose() { ReturnTo(this, Form1); }
