#pragma once

// Creates the seven windows once, in their fixed order. Returns false when the program has
// to end at once (it was started from a drive root); then no window is left.
#include <string>

// `executablePath` is the program's own path (tests pass a path in a temporary directory).
bool CreateWindows(const std::string& executablePath);
// Deletes the windows again (tests start each case from a fresh set).
void DestroyWindows();

// Gives Qt's own texts (the standard buttons of the message boxes, the edit fields' context
// menus) in Chinese like the rest of the program, from Qt's translations directory. Returns
// false when the translation is not installed; those texts then stay English. Call it once
// the application object exists.
bool InstallQtTranslation();
