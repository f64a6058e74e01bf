#pragma once

// The pictures every window shares: the four small images of the tree views and the combo
// box, and the program's icon.

#include <QIcon>

// Registers the compiled-in resources (they live in a static library, so nothing pulls
// them in by itself). Safe to call any number of times.
void InitResources();

// The shared 16x16 images by index.
enum ImageIndex { kClosedFolder = 0, kOpenFolder = 1, kDrive = 2, kDriveSelected = 3 };
QIcon ImageList1(int index);

// One icon that shows `image` normally and `selectedImage` while its item is selected,
// as a tree node or a combo item does.
QIcon NodeIcon(int image, int selectedImage);

// The program's icon, 16 to 256 pixels.
QIcon ProgramIcon();
