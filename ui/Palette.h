#pragma once

// The colours the windows share, as the program has always drawn them.

#include <QColor>

inline const QColor kBlue(0, 0, 255);
inline const QColor kMaroon(128, 0, 0);
inline const QColor kPurple(128, 0, 128);
inline const QColor kTeal(0, 128, 128);
inline const QColor kSkyBlue(166, 202, 240);
inline const QColor kPaleGreen(192, 220, 192);
inline const QColor kCream(255, 251, 240);
inline const QColor kGridLine(160, 176, 160);
