#include "ui/SDir.h"

#include "ui/Main.h"

TForm4* Form4 = nullptr;

TForm4::TForm4() : ChainWindow(Qt::Dialog) {}

void TForm4::FormActivate() {}

void TForm4::FormClose() { ReturnTo(this, Form1); }
