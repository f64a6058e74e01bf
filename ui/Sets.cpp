#include "ui/Sets.h"

#include "ui/Main.h"

TForm3* Form3 = nullptr;

TForm3::TForm3() : ChainWindow(Qt::Dialog) {}

void TForm3::FormActivate() {}

void TForm3::FormClose() { ReturnTo(this, Form1); }
