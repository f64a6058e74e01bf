#include "ui/About.h"

#include "ui/Main.h"

TForm6* Form6 = nullptr;

TForm6::TForm6() : ChainWindow(Qt::Dialog) {}

void TForm6::FormActivate() {}

void TForm6::FormClose() { ReturnTo(this, Form1); }
